// Reads arbitrary bytes as the prober's description of a source, then builds the transcoder
// command line from what was read for each container's defaults: what a file's streams say must
// never put anything but the known filters, rates and channel counts on the line.
#include "convert/EncoderOptions.h"
#include "convert/SourceProbe.h"
#include "convert/SourceRules.h"
#include "fuzz/FuzzCheck.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace
{

void checkInfo(const SourceInfo &info)
{
    fuzzCheck(info.rotation == 0 || info.rotation == 90 || info.rotation == 180 ||
                  info.rotation == 270,
              "rotation is a quarter turn");
    fuzzCheck(info.durationSeconds == -1 ||
                  (info.durationSeconds > 0 && std::isfinite(info.durationSeconds)),
              "a declared length is positive and finite, or none");
    fuzzCheck(info.hasVideo || (info.width == 0 && info.height == 0 && info.colorTransfer.empty()),
              "no picture, no picture facts");
    fuzzCheck(info.hasAudio || (info.audioChannels == 0 && info.audioSampleRate == 0),
              "no sound, no sound facts");
}

std::string valueOf(const std::vector<std::string> &args, const std::string &flag)
{
    for (std::size_t i = 4; i + 1 < args.size(); i += 2) {
        if (args[i] == flag)
            return args[i + 1];
    }
    return std::string();
}

// The values of a flag and of its per-stream forms ("-ac", "-ac:a:1").
std::vector<std::string> valuesOf(const std::vector<std::string> &args, const std::string &flag)
{
    std::vector<std::string> values;
    for (std::size_t i = 4; i + 1 < args.size(); i += 2) {
        if (args[i] == flag || args[i].rfind(flag + ":", 0) == 0)
            values.push_back(args[i + 1]);
    }
    return values;
}

int mostChannels(const SourceInfo &info)
{
    int most = info.audioChannels;
    for (const SourceStream &stream : info.streams)
        most = stream.type == SourceStream::Audio ? std::max(most, stream.channels) : most;
    return most;
}

bool isListedPicture(const SourceInfo &info, const std::string &map)
{
    const SourceStream *video = info.video();
    return video && !video->attachedPicture && map == "0:" + std::to_string(video->index);
}

void checkMaps(const SourceInfo &info, const std::vector<std::string> &args)
{
    for (const std::string &map : valuesOf(args, "-map")) {
        bool listed = isListedPicture(info, map);
        for (const SourceStream &stream : info.streams)
            listed |=
                stream.type != SourceStream::Video && map == "0:" + std::to_string(stream.index);
        fuzzCheck(listed, "only listed streams are mapped, never a cover picture");
    }
}

void checkLine(const SourceInfo &info, int vc)
{
    AVParams params;
    params.init(makeAVSettings(vc, QualityMedium, QualityDefault));
    params.input = "/in/a.mkv";
    params.output = "/out/a" + containerExts.at(vc);
    params.source = info;
    const std::vector<std::string> args = params.commandArguments();

    const std::string filter = valueOf(args, "-vf");
    const std::string deinterlace = deinterlaceFilter(info);
    const std::string first = deinterlace.empty() ? std::string() : deinterlace + ",";
    const std::string evenSize = "scale=trunc(iw/2)*2:trunc(ih/2)*2";
    const std::string videoEncoder = lookupText(videoEncoders, params.settings.cv).value_or("");
    if (info.isHdr() && EncoderOptions::keepsHdr(videoEncoder, containerExts.at(vc), info))
        fuzzCheck(filter == first + evenSize && valueOf(args, "-color_trc") == info.colorTransfer &&
                      valueOf(args, "-pix_fmt") == "yuv420p10le",
                  "an HDR picture the output can carry keeps its 10 bits and its transfer");
    else if (info.isHdr())
        fuzzCheck(filter == first + toneMapFilter(info) + "," + evenSize &&
                      valueOf(args, "-color_trc") == "bt709",
                  "an HDR picture is tone-mapped and tagged");
    else
        fuzzCheck(filter == first + evenSize && valueOf(args, "-color_trc").empty(),
                  "any other picture only gets even sizes, woven first when interlaced");

    const std::string encoder = lookupText(audioEncoders, params.settings.ca).value();
    for (const std::string &rate : valuesOf(args, "-ar"))
        fuzzCheck(takesSampleRate(encoder, containerExts.at(vc), std::stoi(rate)),
                  "a sample rate on the line is one the encoder takes");
    const int most = mostChannels(info);
    for (const std::string &channels : valuesOf(args, "-ac"))
        fuzzCheck(most > 2 && std::stoi(channels) >= 2 && std::stoi(channels) <= 8 &&
                      std::stoi(channels) < most + 1,
                  "channels are only ever fewer, and two to eight");
    checkMaps(info, args);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    initParamTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), int(size));
    SourceInfo info;
    info.width = 12345;
    const int result = parseProbeOutput(json, info);
    fuzzCheck(result == ProbeOk || result == ProbeUnreadable, "a known result");
    if (result != ProbeOk) {
        fuzzCheck(info.width == 12345, "an unreadable description changes nothing");
        return 0;
    }
    checkInfo(info);
    for (int vc = 0; vc < int(containerExts.size()); ++vc)
        checkLine(info, vc);
    return 0;
}
