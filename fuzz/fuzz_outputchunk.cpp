// Feeds transcoder output to the chunk analysis the way the job reads it: at most 8191 bytes,
// followed by a NUL, one chunk or two chunks in a row.
#include "convert/OutputParser.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr std::size_t maxChunk = 8191;

struct ExpectedError {
    const char *pattern;
    const char *message;
};

constexpr ExpectedError expectedErrors[] = {
    {"No such file or directory", "文件或文件夹不存在！\n"},
    {"Invalid data found when processing input", "未识别的输入文件格式！\n"},
    {"Error opening filters", "过滤器内部错误！\n"},
    {"frame decoding failed:", "帧解码错误-Error\n"},
};

// A buffer exactly as long as the chunk and its terminator, so that any read past the NUL is
// caught by AddressSanitizer.
std::vector<char> makeChunk(const uint8_t *data, std::size_t size)
{
    std::vector<char> chunk(data, data + std::min(size, maxChunk));
    chunk.push_back('\0');
    return chunk;
}

// The messages one chunk appends: those of the patterns it holds, in table order.
std::string expectedMessages(const char *chunk)
{
    std::string messages;
    for (const ExpectedError &error : expectedErrors) {
        if (std::strstr(chunk, error.pattern))
            messages += error.message;
    }
    return messages;
}

void checkOneChunk(const char *chunk, const OutputFacts &before)
{
    OutputFacts facts = before;
    const std::optional<int> progress = analyseOutputChunk(chunk, facts);

    fuzzCheck(facts.errorText == before.errorText + expectedMessages(chunk),
              "the chunk's error messages are appended in table order");
    fuzzCheck(!before.outputSeen || facts.outputSeen, "outputSeen is never taken back");
    if (std::strstr(chunk, "kb/s:"))
        fuzzCheck(facts.outputSeen, "a rate summary marks output as seen");
    if (!std::strstr(chunk, "Duration:"))
        fuzzCheck(facts.durationSec == before.durationSec, "no duration leaves the old one");
    if (!std::strstr(chunk, "time=")) {
        fuzzCheck(!progress && facts.timeSec == before.timeSec, "no position, no progress");
        return;
    }
    if (!progress) {
        fuzzCheck(facts.timeSec <= 0 || facts.durationSec <= 0, "progress when both are known");
        return;
    }
    fuzzCheck(facts.outputSeen, "progress marks output as seen");
    fuzzCheck(*progress >= 1, "progress is at least 1");
    if (facts.timeSec <= facts.durationSec) {
        const int64_t percent = int64_t(facts.timeSec) * 100 / facts.durationSec;
        fuzzCheck(*progress == std::max<int64_t>(1, percent), "progress is time * 100 / duration");
    } else {
        // Never back inside the bar's range below 100, however far past the duration.
        fuzzCheck(*progress >= 100, "a position past the duration gives at least 100");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const std::vector<char> whole = makeChunk(data, size);
    checkOneChunk(whole.data(), OutputFacts());

    // The same bytes read in two ticks: the second chunk starts from what the first one left.
    const std::size_t cut = size / 2;
    const std::vector<char> first = makeChunk(data, cut);
    const std::vector<char> second = makeChunk(data + cut, size - cut);
    OutputFacts facts;
    analyseOutputChunk(first.data(), facts);
    checkOneChunk(second.data(), facts);

    OutputFacts untouched = facts;
    fuzzCheck(!analyseOutputChunk(nullptr, untouched), "a null chunk gives no progress");
    fuzzCheck(untouched.errorText == facts.errorText && untouched.outputSeen == facts.outputSeen &&
                  untouched.timeSec == facts.timeSec && untouched.durationSec == facts.durationSec,
              "a null chunk records nothing");
    return 0;
}
