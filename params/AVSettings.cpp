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
constexpr std::array<ContainerCodecs, 4> containerDefaults = {{{2, 0}, {2, 0}, {2, 1}, {4, 2}}};

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
    settings.cv = containerDefaults[vc].cv;
    settings.ca = containerDefaults[vc].ca;
}

void setVideoQuality(AVSettings &settings, int32_t level)
{
    settings.vql = level;
    if (!inRange(videoPresets, level))
        return;
    settings.bv = videoPresets[level].bv;
    settings.crf = videoPresets[level].crf;
    settings.fps = videoPresets[level].fps;
}

void setAudioQuality(AVSettings &settings, int32_t level)
{
    settings.aql = level;
    if (!inRange(audioPresets, level))
        return;
    settings.ba = audioPresets[level].ba;
    settings.ar = audioPresets[level].ar;
}

int32_t presetFrameRate(int32_t level)
{
    return inRange(videoPresets, level) ? videoPresets[level].fps : -1;
}
