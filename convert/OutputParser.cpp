#include "convert/OutputParser.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace
{

struct KnownError {
    const char *pattern;
    const char *message;
};

// Searched in this order; every match appends its message.
constexpr KnownError knownErrors[] = {
    {"No such file or directory", "文件或文件夹不存在！"},
    {"Invalid data found when processing input", "未识别的输入文件格式！"},
    {"Error opening filters", "过滤器内部错误！"},
    {"frame decoding failed:", "帧解码错误-Error"},
};

// Reads the clock that starts `offset` bytes after the first match of `pattern`.
int parseClockAfter(const char *chunk, const char *pattern, size_t offset, int32_t &seconds)
{
    if (!chunk)
        return -1;
    const char *match = std::strstr(chunk, pattern);
    if (!match)
        return 103;
    // The character skipped after "Duration:" may be the chunk's terminating NUL: the clock is
    // then empty, and nothing past the terminator is read.
    seconds = std::strlen(match) < offset ? -1 : clockToSeconds(match + offset);
    return 0;
}

// Holds a value to the 32-bit range: a clock too large for it must not wrap into a plausible one.
int32_t held(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Reads a number the way atoi does, without its undefined behaviour on overflow.
int32_t readNumber(const char *text)
{
    return held(std::strtoll(text, nullptr, 10));
}

} // namespace

int containsText(const char *chunk, const char *pattern)
{
    if (!chunk)
        return -1;
    return std::strstr(chunk, pattern) ? 0 : 103;
}

int detectRateSummary(const char *chunk, bool &flag)
{
    const int result = containsText(chunk, "kb/s:");
    if (result == 0)
        flag = true;
    return result;
}

int parseDuration(const char *chunk, int32_t &seconds)
{
    return parseClockAfter(chunk, "Duration:", 10, seconds);
}

int parseTime(const char *chunk, int32_t &seconds)
{
    return parseClockAfter(chunk, "time=", 5, seconds);
}

int32_t clockToSeconds(const char *text)
{
    if (!text || std::strlen(text) < 8)
        return -1;
    return held(int64_t(readNumber(text)) * 3600 + int64_t(readNumber(text + 3)) * 60 +
                readNumber(text + 6));
}

std::optional<int> analyseOutputChunk(const char *chunk, OutputFacts &facts)
{
    for (const KnownError &error : knownErrors) {
        if (containsText(chunk, error.pattern) == 0)
            facts.errorText += std::string(error.message) + "\n";
    }
    detectRateSummary(chunk, facts.outputSeen);
    parseDuration(chunk, facts.durationSec);
    if (parseTime(chunk, facts.timeSec) != 0)
        return std::nullopt;
    if (facts.timeSec <= 0 || facts.durationSec <= 0)
        return std::nullopt;
    facts.outputSeen = true;
    // Saturated rather than wrapped: a position far past the duration must stay above 100, where
    // the progress bar refuses it, instead of coming back into the bar's range.
    const int64_t percent = int64_t(facts.timeSec) * 100 / facts.durationSec;
    return static_cast<int>(std::clamp<int64_t>(percent, 1, std::numeric_limits<int>::max()));
}

bool isWriteFailure(const char *line)
{
    static const char *const starts[] = {"Error writing trailer of ", "Error closing file ",
                                         "av_interleaved_write_frame(): "};
    return line && std::any_of(std::begin(starts), std::end(starts), [line](const char *start) {
               return std::strncmp(line, start, std::strlen(start)) == 0;
           });
}

bool isDecodeError(const char *line)
{
    if (!line)
        return false;
    if (std::strstr(line, "Error while decoding stream") ||
        std::strstr(line, "corrupt decoded frame"))
        return true;
    return std::any_of(
        std::begin(knownErrors), std::end(knownErrors),
        [line](const KnownError &error) { return std::strstr(line, error.pattern); });
}

void hideText(char *chunk, const std::string &text)
{
    if (!chunk || text.empty())
        return;
    for (char *at = std::strstr(chunk, text.c_str()); at;
         at = std::strstr(at + text.size(), text.c_str()))
        std::memset(at, '*', text.size());
}
