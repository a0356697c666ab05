#pragma once

#include "params/AVSettings.h"

#include <string>
#include <vector>

// Program name of the transcoder, looked up without a directory.
#ifdef _WIN32
inline constexpr const char *transcoderProgram = "ffmpeg.exe";
#else
inline constexpr const char *transcoderProgram = "ffmpeg";
#endif

// One job's complete profile: everything the transcoder's command line is built from.
struct AVParams {
    std::string exe;
    std::string opts;
    std::string input;
    std::string output;
    AVSettings settings;

    void init(const AVSettings &newSettings);

    // The transcoder command line as one text (paths between double quotes, unescaped).
    std::string buildCommandLine() const;
    // The same tokens as a list, without the quotes, for starting the transcoder without a shell.
    std::vector<std::string> commandArguments() const;
};
