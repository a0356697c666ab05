// Reads arbitrary text as an HH:MM:SS clock and compares the result with the reading rule: three
// numbers taken the way atoi takes them, at the fixed positions 0, 3 and 6, and a total that stays
// at the 32-bit limits instead of wrapping.
#include "convert/OutputParser.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace
{

int64_t held(int64_t value)
{
    return std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max());
}

bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A number read the way atoi reads it, held to the 32-bit range (atoi itself is undefined there).
int64_t atoiValue(const char *text)
{
    while (isBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = std::min<int64_t>(value * 10 + (*text - '0'), int64_t(1) << 40);
    return held(negative ? -value : value);
}

void checkAgainstRule(const char *text)
{
    const int32_t seconds = clockToSeconds(text);
    if (std::strlen(text) < 8) {
        fuzzCheck(seconds == -1, "a text shorter than a clock reads as -1");
        return;
    }
    const int64_t expected =
        atoiValue(text) * 3600 + atoiValue(text + 3) * 60 + atoiValue(text + 6);
    fuzzCheck(seconds == held(expected), "hours * 3600 + minutes * 60 + seconds, held to 32 bits");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    // Exactly as long as the text and its NUL, so that a read past the end is caught.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    checkAgainstRule(text.data());
    return 0;
}
