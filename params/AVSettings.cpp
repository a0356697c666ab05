#include "params/AVSettings.h"

#include <array>
#include <cstddef>

namespace
{

struct ContainerCodecs {
    int32_t cv;
    int32_t ca;
};
// The codecs named in each container's display text.
constexpr std::array<ContainerCodecs, 6> containerDefaults = {
    {{2, 0}, {2, 0}, {2, 1}, {4, 2}, {2, 0}, {VideoAv1, AudioOpus}}};

struct VideoPreset {
    int32_t bv;
    int32_t crf;
    int32_t fps;
};
constexpr std::array<VideoPreset, 4> videoPresets = {
    {{256, 32, 12}, {512, 24, 18}, {1024, 18, 30}, {-1, -1, -1}}};

struct AudioPreset {
    int32_t ba;
    int32_t ar;
};
constexpr std::array<AudioPreset, 4> audioPresets = {
    {{32, 24000}, {128, 44100}, {256, 48000}, {-1, -1}}};

// AV1's and VP9's factors run to 63: these give each level about the size and look of H.264's.
constexpr std::array<int32_t, 3> av1Crf = {50, 39, 20};
constexpr std::array<int32_t, 3> vp9Crf = {46, 32, 18};

// Opus's rates are for two channels; each track gets its share by its channels.
constexpr std::array<int32_t, 3> opusLevelRates = {48, 96, 160};

template <typename Array> bool inRange(const Array &array, int32_t index)
{
    return index >= 0 && static_cast<std::size_t>(index) < array.size();
}

} // namespace

bool AVSettings::operator==(const AVSettings &o) const
{
    return vc == o.vc && cv == o.cv && ca == o.ca && r == o.r && bv == o.bv && crf == o.crf &&
           fps == o.fps && ba == o.ba && ar == o.ar && vql == o.vql && aql == o.aql;
}

AVSettings makeAVSettings(int32_t vc, int32_t vql, int32_t aql)
{
    AVSettings settings;
    settings.r = -1;
    setContainer(settings, vc);
    setVideoQuality(settings, vql);
    setAudioQuality(settings, aql);
    return settings;
}

void setContainer(AVSettings &settings, int32_t vc)
{
    settings.vc = vc;
    if (!inRange(containerDefaults, vc))
        return;
    setVideoCodec(settings, containerDefaults[vc].cv);
    setAudioCodec(settings, containerDefaults[vc].ca);
}

void setAudioCodec(AVSettings &settings, int32_t ca)
{
    if (settings.ba != -1 && settings.ba == levelAudioBitRate(settings.ca, settings.aql))
        settings.ba = levelAudioBitRate(ca, settings.aql);
    settings.ca = ca;
}

int32_t levelAudioBitRate(int32_t ca, int32_t level)
{
    if (!inRange(audioPresets, level) || audioPresets[level].ba == -1)
        return -1;
    return ca == AudioOpus ? opusLevelRates[level] : audioPresets[level].ba;
}

void setVideoCodec(AVSettings &settings, int32_t cv)
{
    // A factor the user picked by hand stays; the level's own follows the codec's scale.
    if (settings.crf != -1 && settings.crf == levelCrf(settings.cv, settings.vql))
        settings.crf = levelCrf(cv, settings.vql);
    settings.cv = cv;
}

int32_t levelCrf(int32_t cv, int32_t level)
{
    if (!inRange(videoPresets, level) || videoPresets[level].crf == -1)
        return -1;
    if (cv == VideoAv1)
        return av1Crf[level];
    if (cv == VideoVp9)
        return vp9Crf[level];
    return videoPresets[level].crf;
}

void setVideoQuality(AVSettings &settings, int32_t level)
{
    settings.vql = level;
    if (!inRange(videoPresets, level))
        return;
    settings.bv = videoPresets[level].bv;
    settings.crf = levelCrf(settings.cv, level);
    settings.fps = videoPresets[level].fps;
}

void setAudioQuality(AVSettings &settings, int32_t level)
{
    settings.aql = level;
    if (!inRange(audioPresets, level))
        return;
    settings.ba = levelAudioBitRate(settings.ca, level);
    settings.ar = audioPresets[level].ar;
}

int32_t presetFrameRate(int32_t level)
{
    return inRange(videoPresets, level) ? videoPresets[level].fps : -1;
}
