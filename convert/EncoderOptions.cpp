#include "convert/EncoderOptions.h"
#include "params/SourceInfo.h"

#include <cmath>
#include <cstdio>

namespace
{

bool isOneOf(const std::string &text, std::initializer_list<const char *> list)
{
    for (const char *entry : list) {
        if (text == entry)
            return true;
    }
    return false;
}

std::string pair(const char *name, double x, double y, const char *format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, name, x, y);
    return text;
}

// x265 counts chromaticities in 1/50000 and luminance in 1/10000 cd/m².
std::string x265Parameters(const SourceInfo &source)
{
    std::string params = "hdr10-opt=1:repeat-headers=1";
    if (source.colorTransfer != "smpte2084")
        params = "repeat-headers=1";
    if (source.hasMasteringDisplay()) {
        params += ":master-display=";
        const char *names[] = {"G", "B", "R", "WP"};
        for (size_t i = 0; i < 4; ++i)
            params += pair(names[i], std::round(source.mastering[2 * i] * 50000),
                           std::round(source.mastering[2 * i + 1] * 50000), "%s(%.0f,%.0f)");
        params += pair("L", std::round(source.masteringMaxLuminance * 10000),
                       std::round(source.masteringMinLuminance * 10000), "%s(%.0f,%.0f)");
    }
    if (source.maxContentLight > 0)
        params += ":max-cll=" + std::to_string(source.maxContentLight) + "," +
                  std::to_string(source.maxAverageLight);
    return params;
}

// SVT-AV1 takes the same values as plain fractions and cd/m².
std::string svtav1Parameters(const SourceInfo &source)
{
    std::string params;
    if (source.hasMasteringDisplay()) {
        params += ":mastering-display=";
        const char *names[] = {"G", "B", "R", "WP"};
        for (size_t i = 0; i < 4; ++i)
            params += pair(names[i], source.mastering[2 * i], source.mastering[2 * i + 1],
                           "%s(%.4f,%.4f)");
        params +=
            pair("L", source.masteringMaxLuminance, source.masteringMinLuminance, "%s(%.4f,%.4f)");
    }
    if (source.maxContentLight > 0)
        params += ":content-light=" + std::to_string(source.maxContentLight) + "," +
                  std::to_string(source.maxAverageLight);
    return params.empty() ? params : "enable-hdr=1" + params;
}

} // namespace

std::vector<EncoderOptions::Option> EncoderOptions::videoTuning(const std::string &encoder)
{
    // Measured at 720p on two cores: the fastest settings that kept each level's quality.
    if (encoder == "libsvtav1")
        return {{"-preset", "8"}};
    if (encoder == "libvpx-vp9")
        return {{"-deadline", "good"}, {"-cpu-used", "5"}, {"-row-mt", "1"}};
    return {};
}

bool EncoderOptions::needsTwoPasses(const std::string &encoder)
{
    // In one pass libvpx-vp9 makes no alternate reference frames and needs more bytes than
    // H.264 for a worse picture.
    return encoder == "libvpx-vp9";
}

std::vector<std::string> EncoderOptions::passArguments(int pass, const std::string &logPrefix)
{
    if (pass == 1)
        return {"-pass", "1", "-passlogfile", logPrefix, "-an", "-sn", "-f", "null", "-"};
    return {"-pass", "2", "-passlogfile", logPrefix};
}

std::string EncoderOptions::passLogFile(const std::string &logPrefix)
{
    return logPrefix + "-0.log";
}

bool EncoderOptions::keepsHdr(const std::string &encoder, const std::string &outputExt,
                              const SourceInfo &source)
{
    // H.265 into MP4 stays the SDR it has always been, so that what people already convert
    // that way keeps coming out the same.
    if (encoder == "libx265" && outputExt == ".mp4")
        return false;
    return source.isHdr() && isOneOf(encoder, {"libx265", "libsvtav1", "libvpx-vp9"}) &&
           isOneOf(outputExt, {".mp4", ".mkv", ".webm"});
}

std::vector<EncoderOptions::Option> EncoderOptions::hdrOptions(const std::string &encoder,
                                                               const SourceInfo &source)
{
    const std::string &space = source.colorSpace;
    std::vector<Option> options = {
        {"-pix_fmt", "yuv420p10le"},
        {"-color_primaries", source.colorPrimaries == "bt709" ? "bt709" : "bt2020"},
        {"-color_trc", source.colorTransfer},
        {"-colorspace", space == "bt709" || space == "bt2020c" ? space : "bt2020nc"}};
    // VP9 has no place for the mastering display in its stream; the container copies it where
    // the source's container had it.
    if (encoder == "libx265")
        options.push_back({"-x265-params", x265Parameters(source)});
    else if (const std::string params = svtav1Parameters(source);
             encoder == "libsvtav1" && !params.empty())
        options.push_back({"-svtav1-params", params});
    return options;
}
