// Builds the transcoder command line from random settings and paths. The input is a settings
// record: eleven little-endian 32-bit fields in AVSettings order, then the input path, a NUL and
// the output path; optionally a second NUL and the probed source: its channels and sample rate as
// two more such fields and one byte for its colour transfer (1 PQ, 2 HLG, else SDR).
#include "convert/EncoderOptions.h"
#include "convert/SourceRules.h"
#include "fuzz/FuzzCheck.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace
{

// The fields in record order, which is also AVSettings' order.
constexpr int32_t AVSettings::*recordFields[] = {
    &AVSettings::vc, &AVSettings::cv,  &AVSettings::ca,  &AVSettings::r,
    &AVSettings::bv, &AVSettings::crf, &AVSettings::fps, &AVSettings::ba,
    &AVSettings::ar, &AVSettings::vql, &AVSettings::aql};
constexpr std::size_t recordSize = std::size(recordFields) * sizeof(int32_t);

int32_t readField(const uint8_t *data)
{
    return int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                   uint32_t(data[3]) << 24);
}

AVSettings readSettings(const uint8_t *data)
{
    AVSettings settings;
    for (const auto field : recordFields) {
        settings.*field = readField(data);
        data += sizeof(int32_t);
    }
    return settings;
}

constexpr std::size_t sourceSize = 2 * sizeof(int32_t) + 1;

SourceInfo readSource(const uint8_t *data)
{
    SourceInfo source;
    source.hasVideo = true;
    source.audioChannels = readField(data);
    source.audioSampleRate = readField(data + sizeof(int32_t));
    source.hasAudio = source.audioChannels > 0;
    const uint8_t transfer = data[2 * sizeof(int32_t)];
    source.colorTransfer = transfer == 1 ? "smpte2084" : transfer == 2 ? "arib-std-b67" : "bt709";
    return source;
}

// The options between input and output, in the order the line gives them.
const std::vector<std::string> optionOrder = {
    "-s",         "-crf",        "-b:v",         "-r",
    "-c:v",       "-preset",     "-deadline",    "-cpu-used",
    "-row-mt",    "-vf",         "-pix_fmt",     "-color_primaries",
    "-color_trc", "-colorspace", "-x265-params", "-svtav1-params",
    "-tag:v",     "-ar",         "-ac:a",        "-filter:a",
    "-ac",        "-b:a",        "-c:a"};

bool isRateFlag(const std::string &flag)
{
    return flag == "-crf" || flag == "-b:v";
}

// The text form rebuilt from the list: the rate slot after the frame size always takes one
// space, also when it is empty.
std::string lineFromArguments(const std::vector<std::string> &args)
{
    std::string line = args[0] + " " + args[1] + " -i \"" + args[3] + "\" ";
    bool rateSlotDone = false;
    for (std::size_t i = 4; i + 1 < args.size(); i += 2) {
        const std::string &flag = args[i];
        if (flag != "-s" && !rateSlotDone) {
            rateSlotDone = true;
            if (!isRateFlag(flag))
                line += " ";
        }
        line += flag + " " + args[i + 1] + " ";
    }
    if (!rateSlotDone)
        line += " ";
    return line + "\"" + args.back() + "\"";
}

std::string valueOf(const std::vector<std::string> &args, const std::string &flag);

void checkOptions(const std::vector<std::string> &args)
{
    std::size_t lastPosition = 0;
    std::set<std::string> seen;
    for (std::size_t i = 4; i + 1 < args.size(); i += 2) {
        std::size_t position = 0;
        while (position < optionOrder.size() && optionOrder[position] != args[i])
            ++position;
        fuzzCheck(position < optionOrder.size(), "every option is a known one");
        fuzzCheck(seen.insert(args[i]).second && position >= lastPosition, "options keep order");
        lastPosition = position;
        fuzzCheck(!args[i + 1].empty(), "every option has a value");
    }
    // VP9's constant quality comes with its bit-rate ceiling off.
    fuzzCheck(!(seen.count("-crf") && seen.count("-b:v")) ||
                  (valueOf(args, "-c:v") == "libvpx-vp9" && valueOf(args, "-b:v") == "0"),
              "one video rate at most");
}

std::string valueOf(const std::vector<std::string> &args, const std::string &flag)
{
    for (std::size_t i = 4; i + 1 < args.size(); i += 2) {
        if (args[i] == flag)
            return args[i + 1];
    }
    return std::string();
}

// An encoded picture is always made playable; a copied one is left alone, and only HEVC is tagged.
// A known HDR source keeps its 10 bits where the encoder and the container can carry them, and is
// otherwise tone-mapped and tagged BT.709.
void checkPlayableVideo(const std::vector<std::string> &args, const AVParams &params)
{
    const std::string encoder = valueOf(args, "-c:v");
    const bool copied = encoder == "copy";
    const bool hdr = !copied && params.source && params.source->isHdr();
    const bool kept =
        hdr && !encoder.empty() &&
        EncoderOptions::keepsHdr(encoder, outputExtension(params.output), *params.source);
    const bool toneMapped = hdr && !kept;
    fuzzCheck(valueOf(args, "-vf").empty() == copied,
              "every encoded picture is scaled to even sizes");
    fuzzCheck((valueOf(args, "-vf").rfind("zscale=", 0) == 0) == toneMapped,
              "exactly an HDR picture that is not kept is tone-mapped");
    fuzzCheck((valueOf(args, "-color_trc") == "bt709") == toneMapped,
              "exactly a tone-mapped picture is tagged");
    fuzzCheck(!kept || valueOf(args, "-color_trc") == params.source->colorTransfer,
              "a kept HDR picture keeps its transfer");
    fuzzCheck(valueOf(args, "-pix_fmt") == (copied ? ""
                                            : kept ? "yuv420p10le"
                                                   : "yuv420p"),
              "every encoded picture is 4:2:0, in 10 bits only where HDR is kept");
    fuzzCheck(valueOf(args, "-tag:v").empty() || encoder == "libx265", "only HEVC is tagged");
}

// Without a source the user's rate goes as it is and nothing is mixed down; with one, every rate
// on the line is one the encoder takes, and channels only ever become fewer.
void checkAudio(const std::vector<std::string> &args, const AVParams &params)
{
    const std::string rate = valueOf(args, "-ar");
    const std::string channels = valueOf(args, "-ac");
    const std::string ext = outputExtension(params.output);
    const std::string encoder =
        lookupText(audioEncoders, params.settings.ca).value_or(defaultAudioEncoder(ext));
    if (encoder == "libopus") {
        fuzzCheck(rate == "48000" && channels.empty(), "Opus always gets 48 kHz");
        return;
    }
    if (!params.source || encoder == "copy") {
        fuzzCheck(rate == (params.settings.ar == -1 ? "" : std::to_string(params.settings.ar)),
                  "the user's rate goes as it is");
        fuzzCheck(channels.empty(), "no channel count without a source");
        return;
    }
    fuzzCheck(rate.empty() || takesSampleRate(encoder, ext, std::stoi(rate)),
              "a rate on the line is one the encoder takes");
    fuzzCheck(channels.empty() || (std::stoi(channels) >= 2 && std::stoi(channels) <= 8 &&
                                   std::stoi(channels) <= params.source->audioChannels),
              "channels never become more, two to eight");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    initParamTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < recordSize)
        return 0;
    const char *paths = reinterpret_cast<const char *>(data + recordSize);
    const std::size_t pathBytes = size - recordSize;
    const std::size_t inputLength = strnlen(paths, pathBytes);

    AVParams params;
    params.init(readSettings(data));
    params.input.assign(paths, inputLength);
    if (inputLength < pathBytes) {
        const char *output = paths + inputLength + 1;
        const std::size_t outputBytes = pathBytes - inputLength - 1;
        const std::size_t outputLength = strnlen(output, outputBytes);
        params.output.assign(output, outputLength);
        if (outputBytes - outputLength > sourceSize)
            params.source =
                readSource(reinterpret_cast<const uint8_t *>(output + outputLength + 1));
    }

    const std::vector<std::string> args = params.commandArguments();
    fuzzCheck(args.size() >= 5 && args.size() % 2 == 1, "fixed tokens, option pairs, output");
    fuzzCheck(args[0] == params.exe && args[1] == params.opts && args[2] == "-i",
              "the line starts with the program, its option and -i");
    fuzzCheck(args[3] == params.input, "the input path is one whole argument");
    fuzzCheck(args.back() == params.output, "the output path is the last whole argument");
    checkOptions(args);
    checkPlayableVideo(args, params);
    checkAudio(args, params);
    fuzzCheck(params.buildCommandLine() == lineFromArguments(args),
              "the text form holds the same tokens");
    return 0;
}
