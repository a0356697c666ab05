// The transcoder command line of a profile. The text form quotes the two paths for display and for
// platforms that take one command line; the list form is what the process runner passes on, so no
// character of a path is ever split or interpreted.
#include "convert/EncoderOptions.h"
#include "convert/SourceRules.h"
#include "convert/StreamMapping.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"

namespace
{

bool usesQualityFactor(int32_t cv)
{
    return cv == VideoH264 || cv == VideoH265 || cv == VideoAv1 || cv == VideoVp9;
}

using Option = StreamMapping::Option;

// Whatever the source, an encoded picture is 4:2:0 in 8 bits with an even width and height, which
// every encoder offered takes and every player plays; odd sizes are rounded down by one pixel. A
// PQ or HLG picture is tone-mapped first, since cut to 8 bits it looks flat and washed out, and
// is tagged BT.709 where the format can carry it. An interlaced picture is made progressive before
// anything else, as every later filter and the encoder take it for progressive.
// A 10-bit encoder into a container that signals HDR keeps it instead, in 10 bits.
// HEVC gets the tag that Apple's players need in MP4, and the one that names it at all in AVI.
void addPlayableVideoOptions(std::vector<Option> &options,
                             const std::optional<std::string> &encoder, const AVParams &params)
{
    if (encoder == std::string("copy"))
        return;
    const std::string ext = outputExtension(params.output);
    const bool keepsHdr =
        params.source && encoder && EncoderOptions::keepsHdr(*encoder, ext, *params.source);
    const std::string toneMap =
        params.source && !keepsHdr ? toneMapFilter(*params.source) : std::string();
    const std::string deinterlace =
        params.source ? deinterlaceFilter(*params.source) : std::string();
    std::string filters = deinterlace.empty() ? std::string() : deinterlace + ",";
    filters += toneMap.empty() ? std::string() : toneMap + ",";
    options.push_back({"-vf", filters + "scale=trunc(iw/2)*2:trunc(ih/2)*2"});
    if (keepsHdr) {
        const std::vector<Option> hdr = EncoderOptions::hdrOptions(*encoder, *params.source);
        options.insert(options.end(), hdr.begin(), hdr.end());
    } else {
        options.push_back({"-pix_fmt", "yuv420p"});
    }
    if (!toneMap.empty()) {
        options.push_back({"-color_primaries", "bt709"});
        options.push_back({"-color_trc", "bt709"});
        options.push_back({"-colorspace", "bt709"});
    }
    if (encoder != std::string("libx265"))
        return;
    if (ext == ".mp4")
        options.push_back({"-tag:v", "hvc1"});
    else if (ext == ".avi")
        options.push_back({"-tag:v", "HEVC"});
}

// Each track's rate where the encoder refuses it, and its channels where the encoder cannot take
// them all; -ar:a:1 and -ac:a:1 name the second audio stream of the output.
void addTrackAudioOptions(std::vector<Option> &options, const StreamMapping &mapping,
                          const std::string &encoder, const std::string &ext, bool rateChosen)
{
    const std::vector<const SourceStream *> &tracks = mapping.audioTracks();
    for (size_t i = 0; i < tracks.size(); ++i) {
        const std::string output = ":a:" + std::to_string(i);
        const int rate = tracks[i]->sampleRate;
        if (!rateChosen && rate > 0 && !takesSampleRate(encoder, ext, rate))
            options.push_back(
                {"-ar" + output, std::to_string(nearestSampleRate(encoder, ext, rate))});
        if (const int channels = channelsFor(encoder, tracks[i]->channels))
            options.push_back({"-ac" + output, std::to_string(channels)});
    }
}

// Opus takes 48 kHz alone, refuses some layouts, and its bit rate is for two channels: each track
// gets its share.
void addOpusTrack(std::vector<Option> &options, const std::string &output, int channels,
                  int32_t stereoRate)
{
    const int mixed = channelsFor("libopus", channels);
    if (mixed > 0)
        options.push_back({"-ac" + output, std::to_string(mixed)});
    const std::string layout = channelLayoutFor("libopus", channels);
    if (!layout.empty())
        options.push_back({"-filter" + output, "aformat=channel_layouts=" + layout});
    const int kept = mixed > 0 ? mixed : channels > 0 ? channels : 2;
    if (stereoRate != -1)
        options.push_back({"-b" + output, std::to_string(int64_t(stereoRate) * kept / 2) + "k"});
}

void addOpusOptions(std::vector<Option> &options, const AVParams &params,
                    const std::optional<StreamMapping> &mapping)
{
    options.push_back({"-ar", "48000"});
    const int32_t rate = params.settings.ba;
    if (mapping) {
        const std::vector<const SourceStream *> &tracks = mapping->audioTracks();
        for (size_t i = 0; i < tracks.size(); ++i)
            addOpusTrack(options, ":a:" + std::to_string(i), tracks[i]->channels, rate);
    } else {
        const SourceInfo *source = params.source ? &*params.source : nullptr;
        addOpusTrack(options, ":a", source && source->hasAudio ? source->audioChannels : 0, rate);
    }
}

// The sample rate and channel count. Without a source the user's rate goes as it is; with one,
// a rate the encoder refuses, the user's or the source's, becomes the nearest it takes, and
// channels it cannot take are mixed down. A copy of listed streams gets neither.
void addAudioOptions(std::vector<Option> &options, const AVParams &params,
                     const std::optional<std::string> &encoder,
                     const std::optional<StreamMapping> &mapping)
{
    const AVSettings &s = params.settings;
    const std::string ext = outputExtension(params.output);
    const std::string used = encoder.value_or(defaultAudioEncoder(ext));
    if (mapping && mapping->copiesAudio())
        return;
    if (used == "libopus") {
        addOpusOptions(options, params, mapping);
        return;
    }
    if (!params.source || used == "copy") {
        if (s.ar != -1)
            options.push_back({"-ar", std::to_string(s.ar)});
        return;
    }
    const SourceInfo &source = *params.source;
    if (s.ar != -1)
        options.push_back({"-ar", std::to_string(nearestSampleRate(used, ext, s.ar))});
    if (mapping)
        addTrackAudioOptions(options, *mapping, used, ext, s.ar != -1);
    else if (s.ar == -1 && source.hasAudio && source.audioSampleRate > 0 &&
             !takesSampleRate(used, ext, source.audioSampleRate))
        options.push_back(
            {"-ar", std::to_string(nearestSampleRate(used, ext, source.audioSampleRate))});
    if (const int channels =
            !mapping && source.hasAudio ? channelsFor(used, source.audioChannels) : 0)
        options.push_back({"-ac", std::to_string(channels)});
}

// Size, quality and frame rate of an encoded picture; a level's rate stays below the source's.
void addVideoQuality(std::vector<Option> &options, const AVParams &params)
{
    const AVSettings &s = params.settings;
    if (const auto size = lookupText(resolutions, s.r))
        options.push_back({"-s", *size});

    if (usesQualityFactor(s.cv) && s.crf != -1) {
        options.push_back({"-crf", std::to_string(s.crf)});
        // VP9's constant quality needs its bit rate ceiling off.
        if (s.cv == VideoVp9)
            options.push_back({"-b:v", "0"});
    } else if (s.bv != -1)
        options.push_back({"-b:v", std::to_string(s.bv) + "k"});
    else
        options.push_back({});

    if (s.fps != -1 && !(params.source && keepsSourceFrameRate(s, *params.source)))
        options.push_back({"-r", std::to_string(s.fps)});
}

// The options between the input and the output, in command-line order. An empty flag marks the
// video rate slot when it holds nothing: the text form still keeps its separating space there.
// Once the source's streams are listed they are picked one by one, and a copy is a plain remux.
// A first pass encodes the picture alone.
std::vector<Option> encodingOptions(const AVParams &params, bool firstPass = false)
{
    const AVSettings &s = params.settings;
    const std::optional<StreamMapping> mapping = StreamMapping::of(params);
    std::vector<Option> options = mapping ? mapping->streamChoice() : std::vector<Option>();
    if (firstPass && !options.empty())
        options.resize(params.source->video() ? 1 : 0);
    if (!mapping || !mapping->copiesVideo())
        addVideoQuality(options, params);
    const std::optional<std::string> videoEncoder = lookupText(videoEncoders, s.cv);
    if (videoEncoder)
        options.push_back({"-c:v", *videoEncoder});
    for (const Option &option : EncoderOptions::videoTuning(videoEncoder.value_or("")))
        options.push_back(option);
    addPlayableVideoOptions(options, videoEncoder, params);
    if (firstPass)
        return options;
    const std::optional<std::string> audioEncoder = lookupText(audioEncoders, s.ca);
    addAudioOptions(options, params, audioEncoder, mapping);
    const bool opus =
        audioEncoder.value_or(defaultAudioEncoder(outputExtension(params.output))) == "libopus";
    if (s.ba != -1 && !opus && !(mapping && mapping->copiesAudio()))
        options.push_back({"-b:a", std::to_string(s.ba) + "k"});
    if (audioEncoder)
        options.push_back({"-c:a", *audioEncoder});
    if (mapping) {
        const std::vector<Option> carried = mapping->carriedOptions();
        options.insert(options.end(), carried.begin(), carried.end());
    }
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

int AVParams::passCount() const
{
    const std::optional<std::string> encoder = lookupText(videoEncoders, settings.cv);
    const bool hasVideo = !source || source->hasVideo;
    return hasVideo && encoder && EncoderOptions::needsTwoPasses(*encoder) ? 2 : 1;
}

std::vector<std::string> AVParams::passArguments(int pass, const std::string &logPrefix) const
{
    if (passCount() == 1)
        return commandArguments();
    std::vector<std::string> args = {exe, opts, "-i", input};
    for (const auto &[flag, value] : encodingOptions(*this, pass == 1)) {
        if (flag.empty())
            continue;
        args.push_back(flag);
        args.push_back(value);
    }
    const std::vector<std::string> passArgs = EncoderOptions::passArguments(pass, logPrefix);
    args.insert(args.end(), passArgs.begin(), passArgs.end());
    if (pass != 1)
        args.push_back(output);
    return args;
}

std::string AVParams::hdrNote() const
{
    const std::optional<std::string> encoder = lookupText(videoEncoders, settings.cv);
    if (!source || !source->isHdr() || encoder == std::string("copy"))
        return std::string();
    return EncoderOptions::keepsHdr(encoder.value_or(""), outputExtension(output), *source)
               ? "HDR 保留"
               : "HDR 转为 SDR";
}

std::string AVParams::sourceNote() const
{
    const std::optional<StreamMapping> mapping = StreamMapping::of(*this);
    return mapping ? mapping->leftOutNote() : std::string();
}

double AVParams::outputFrameRate() const
{
    const SourceStream *video = source ? source->video() : nullptr;
    if (!video)
        return 0;
    const bool copied = lookupText(videoEncoders, settings.cv) == std::string("copy");
    if (copied || settings.fps == -1 || keepsSourceFrameRate(settings, *source))
        return video->frameRate;
    return settings.fps;
}

std::string AVParams::copyProblem() const
{
    const std::optional<StreamMapping> mapping = StreamMapping::of(*this);
    return mapping ? mapping->copyProblem() : std::string();
}
