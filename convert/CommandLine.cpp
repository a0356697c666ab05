// The transcoder command line of a profile. The text form quotes the two paths for display and for
// platforms that take one command line; the list form is what the process runner passes on, so no
// character of a path is ever split or interpreted.
#include "convert/SourceRules.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"

namespace
{

bool usesQualityFactor(int32_t cv)
{
    return cv == 2 || cv == 3;
}

using Option = std::pair<std::string, std::string>;

// Whatever the source, an encoded picture is 4:2:0 in 8 bits with an even width and height, which
// every encoder offered takes and every player plays; odd sizes are rounded down by one pixel. A
// PQ or HLG picture is tone-mapped first, since cut to 8 bits it looks flat and washed out, and
// is tagged BT.709 where the format can carry it.
// HEVC gets the tag that Apple's players need in MP4, and the one that names it at all in AVI.
void addPlayableVideoOptions(std::vector<Option> &options,
                             const std::optional<std::string> &encoder, const AVParams &params)
{
    if (encoder == std::string("copy"))
        return;
    const std::string toneMap = params.source ? toneMapFilter(*params.source) : std::string();
    const std::string evenSize = "scale=trunc(iw/2)*2:trunc(ih/2)*2";
    options.push_back({"-vf", toneMap.empty() ? evenSize : toneMap + "," + evenSize});
    options.push_back({"-pix_fmt", "yuv420p"});
    if (!toneMap.empty()) {
        options.push_back({"-color_primaries", "bt709"});
        options.push_back({"-color_trc", "bt709"});
        options.push_back({"-colorspace", "bt709"});
    }
    if (encoder != std::string("libx265"))
        return;
    const std::string ext = outputExtension(params.output);
    if (ext == ".mp4")
        options.push_back({"-tag:v", "hvc1"});
    else if (ext == ".avi")
        options.push_back({"-tag:v", "HEVC"});
}

// The sample rate and channel count. Without a source the user's rate goes as it is; with one,
// a rate the encoder refuses, the user's or the source's, becomes the nearest it takes, and
// channels it cannot take are mixed down.
void addAudioOptions(std::vector<Option> &options, const AVParams &params,
                     const std::optional<std::string> &encoder)
{
    const AVSettings &s = params.settings;
    const std::string ext = outputExtension(params.output);
    const std::string used = encoder.value_or(defaultAudioEncoder(ext));
    if (!params.source || used == "copy") {
        if (s.ar != -1)
            options.push_back({"-ar", std::to_string(s.ar)});
        return;
    }
    const SourceInfo &source = *params.source;
    if (s.ar != -1)
        options.push_back({"-ar", std::to_string(nearestSampleRate(used, ext, s.ar))});
    else if (source.hasAudio && source.audioSampleRate > 0 &&
             !takesSampleRate(used, ext, source.audioSampleRate))
        options.push_back(
            {"-ar", std::to_string(nearestSampleRate(used, ext, source.audioSampleRate))});
    if (const int channels = source.hasAudio ? channelsFor(used, source.audioChannels) : 0)
        options.push_back({"-ac", std::to_string(channels)});
}

// The options between the input and the output, in command-line order. An empty flag marks the
// video rate slot when it holds nothing: the text form still keeps its separating space there.
std::vector<Option> encodingOptions(const AVParams &params)
{
    const AVSettings &s = params.settings;
    std::vector<Option> options;
    if (const auto size = lookupText(resolutions, s.r))
        options.push_back({"-s", *size});

    if (usesQualityFactor(s.cv) && s.crf != -1)
        options.push_back({"-crf", std::to_string(s.crf)});
    else if (s.bv != -1)
        options.push_back({"-b:v", std::to_string(s.bv) + "k"});
    else
        options.push_back({});

    if (s.fps != -1)
        options.push_back({"-r", std::to_string(s.fps)});
    const std::optional<std::string> videoEncoder = lookupText(videoEncoders, s.cv);
    if (videoEncoder)
        options.push_back({"-c:v", *videoEncoder});
    addPlayableVideoOptions(options, videoEncoder, params);
    const std::optional<std::string> audioEncoder = lookupText(audioEncoders, s.ca);
    addAudioOptions(options, params, audioEncoder);
    if (s.ba != -1)
        options.push_back({"-b:a", std::to_string(s.ba) + "k"});
    if (audioEncoder)
        options.push_back({"-c:a", *audioEncoder});
    return options;
}

} // namespace

std::string AVParams::buildCommandLine() const
{
    std::string line = exe + " " + opts + " -i \"" + input + "\" ";
    for (const auto &[flag, value] : encodingOptions(*this)) {
        if (!flag.empty())
            line.append(flag).append(" ").append(value);
        line += " ";
    }
    line += "\"" + output + "\"";
    return line;
}

std::vector<std::string> AVParams::commandArguments() const
{
    std::vector<std::string> args = {exe, opts, "-i", input};
    for (const auto &[flag, value] : encodingOptions(*this)) {
        if (flag.empty())
            continue;
        args.push_back(flag);
        args.push_back(value);
    }
    args.push_back(output);
    return args;
}
