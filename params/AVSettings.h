#pragma once

#include <cstdint>

// The user's choice for one file. Indices are keys of the parameter tables; -1 leaves the option
// off the command line so that the transcoder decides.
struct AVSettings {
    int32_t vc = -1;  // container
    int32_t cv = -1;  // video codec
    int32_t ca = -1;  // audio codec
    int32_t r = -1;   // frame size
    int32_t bv = -1;  // video bit rate, kbit/s
    int32_t crf = -1; // constant rate factor (H.264 and H.265 only)
    int32_t fps = -1; // frame rate
    int32_t ba = -1;  // audio bit rate, kbit/s
    int32_t ar = -1;  // sample rate, Hz
    int32_t vql = -1; // video quality level last applied
    int32_t aql = -1; // audio quality level last applied

    bool operator==(const AVSettings &other) const;
    bool operator!=(const AVSettings &other) const { return !(*this == other); }
};

enum QualityLevel : int32_t {
    QualityLow = 0,
    QualityMedium = 1,
    QualityHigh = 2,
    QualityDefault = 3
};

AVSettings makeAVSettings(int32_t vc, int32_t vql, int32_t aql);
void setContainer(AVSettings &settings, int32_t vc);
void setVideoQuality(AVSettings &settings, int32_t level);
void setAudioQuality(AVSettings &settings, int32_t level);
// The frame rate a video quality level sets, or -1 when the level sets none.
int32_t presetFrameRate(int32_t level);
