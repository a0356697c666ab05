#pragma once

// Addresses opened from the title bar and the chat group number shown there.
namespace AppLinks
{
inline constexpr const char *companyUrl = "https://quellix.example.org/";
inline constexpr const char *chatGroupNumber = "000000000";
inline constexpr const char *chatGroupUrl =
    "https://chat.quellix.example.org/join?idkey="
    "0000000000000000000000000000000000000000000000000000000000000000";
} // namespace AppLinks
