#include "convert/SourceRules.h"
#include "params/AVSettings.h"
#include "params/SourceInfo.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

namespace
{

// The rates each encoder lists; WMAv2 takes any rate up to 48 kHz. FLV can only signal 11, 22 and
// 44 kHz, and stores 48 kHz MP3 as 44.
const std::vector<int> aacRates = {7350,  8000,  11025, 12000, 16000, 22050, 24000,
                                   32000, 44100, 48000, 64000, 88200, 96000};
const std::vector<int> mp3Rates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
const std::vector<int> flvMp3Rates = {11025, 22050, 44100, 48000};
// libopus also takes 8 to 24 kHz, but 44.1 and 22.05 kHz it refuses; 48 kHz is Opus's own.
const std::vector<int> opusRates = {48000};
constexpr int wmaMaxRate = 48000;

const std::vector<int> *listedRates(const std::string &encoder, const std::string &outputExt)
{
    if (encoder == "aac")
        return &aacRates;
    if (encoder == "mp3" || encoder == "libmp3lame")
        return outputExt == ".flv" ? &flvMp3Rates : &mp3Rates;
    if (encoder == "libopus")
        return &opusRates;
    return nullptr;
}

bool isStereoAtMost(const std::string &encoder)
{
    return encoder == "mp3" || encoder == "libmp3lame" || encoder == "wmav2";
}

// zscale's names for what the prober may report; a PQ or HLG source is BT.2020 unless it says
// otherwise.
std::string primariesOf(const SourceInfo &source)
{
    return source.colorPrimaries == "bt709" ? "bt709" : "bt2020";
}

std::string matrixOf(const SourceInfo &source)
{
    const std::string &space = source.colorSpace;
    return space == "bt709" || space == "bt2020c" ? space : "bt2020nc";
}

} // namespace

std::string outputExtension(const std::string &path)
{
    const size_t dot = path.find_last_of("./");
    std::string ext = dot == std::string::npos || path[dot] != '.' ? "" : path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

std::string defaultAudioEncoder(const std::string &outputExt)
{
    if (outputExt == ".mp4")
        return "aac";
    if (outputExt == ".flv" || outputExt == ".avi")
        return "mp3";
    if (outputExt == ".wmv")
        return "wmav2";
    if (outputExt == ".mkv")
        return "libvorbis";
    if (outputExt == ".webm")
        return "libopus";
    return std::string();
}

int channelsFor(const std::string &encoder, int sourceChannels)
{
    constexpr int aacMaxChannels = 8;
    if (sourceChannels <= 2)
        return 0;
    if (isStereoAtMost(encoder))
        return 2;
    if (encoder == "aac")
        return std::min(sourceChannels, aacMaxChannels);
    // Up to eight Opus keeps with the layouts channelLayoutFor() gives; more it mixes down to 7.1.
    if (encoder == "libopus")
        return sourceChannels > aacMaxChannels ? aacMaxChannels : 0;
    return 0;
}

std::string channelLayoutFor(const std::string &encoder, int channels)
{
    if (encoder != "libopus")
        return std::string();
    switch (channels) {
    case 3:
        return "3.0";
    case 4:
        return "quad";
    case 6:
        return "5.1";
    default:
        return std::string();
    }
}

bool takesSampleRate(const std::string &encoder, const std::string &outputExt, int rate)
{
    if (encoder == "wmav2")
        return rate > 0 && rate <= wmaMaxRate;
    const std::vector<int> *rates = listedRates(encoder, outputExt);
    return !rates || std::find(rates->begin(), rates->end(), rate) != rates->end();
}

int nearestSampleRate(const std::string &encoder, const std::string &outputExt, int rate)
{
    if (takesSampleRate(encoder, outputExt, rate))
        return rate;
    if (encoder == "wmav2")
        return rate > wmaMaxRate ? wmaMaxRate : 8000;
    const std::vector<int> &rates = *listedRates(encoder, outputExt);
    int nearest = rates.front();
    for (const int candidate : rates) {
        const long distance = std::labs(long(candidate) - rate);
        if (distance <= std::labs(long(nearest) - rate))
            nearest = candidate;
    }
    return nearest;
}

std::string toneMapFilter(const SourceInfo &source)
{
    if (!source.isHdr())
        return std::string();
    const std::string primaries = primariesOf(source);
    // To linear light in the source's own colours, tone-mapped in BT.709, then BT.709 again.
    return "zscale=tin=" + source.colorTransfer + ":pin=" + primaries + ":min=" + matrixOf(source) +
           ":t=linear:npl=100:p=" + primaries +
           ",format=gbrpf32le,zscale=p=bt709,tonemap=hable:desat=0,"
           "zscale=t=bt709:m=bt709:r=tv,format=yuv420p";
}

std::string deinterlaceFilter(const SourceInfo &source)
{
    const SourceStream *video = source.video();
    return video && video->isInterlaced() ? "bwdif=mode=send_frame" : std::string();
}

bool keepsSourceFrameRate(const AVSettings &settings, const SourceInfo &source)
{
    const SourceStream *video = source.video();
    return video && video->frameRate > 0 && settings.fps != -1 &&
           settings.fps == presetFrameRate(settings.vql) && video->frameRate < settings.fps;
}
