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
    int32_t crf = -1; // constant rate factor (H.264, H.265, AV1 and VP9 only)
    int32_t fps = -1; // frame rate
    int32_t ba = -1;  // audio bit rate, kbit/s (Opus: for every two channels)
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

// Keys of the codecs some rules name.
enum CodecKey : int32_t {
    VideoH264 = 2,
    VideoH265 = 3,
    VideoCopy = 6,
    VideoAv1 = 7,
    VideoVp9 = 8,
    AudioCopy = 3,
    AudioOpus = 4
};

AVSettings makeAVSettings(int32_t vc, int32_t vql, int32_t aql);
void setContainer(AVSettings &settings, int32_t vc);
// Also moves a level's rate factor to the new codec's scale.
void setVideoCodec(AVSettings &settings, int32_t cv);
// The rate factor a video quality level sets for a codec, or -1 when the level sets none.
int32_t levelCrf(int32_t cv, int32_t level);
// Also moves a level's audio bit rate to the new codec's.
void setAudioCodec(AVSettings &settings, int32_t ca);
// The audio bit rate a level sets for a codec (Opus: for two channels), or -1 when it sets none.
int32_t levelAudioBitRate(int32_t ca, int32_t level);
void setVideoQuality(AVSettings &settings, int32_t level);
void setAudioQuality(AVSettings &settings, int32_t level);
// The frame rate a video quality level sets, or -1 when the level sets none.
int32_t presetFrameRate(int32_t level);
