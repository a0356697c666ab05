#pragma once

#include <string>

struct AVSettings;
struct SourceInfo;

// What an encoder takes, and the options that make a source fit it. Encoder names are the
// transcoder's; "copy" passes a stream through and no rule touches it.

// The path's last extension with its dot, in lower case; empty when it has none.
std::string outputExtension(const std::string &path);
// The audio encoder the transcoder uses when none is named: the output container's own.
std::string defaultAudioEncoder(const std::string &outputExt);
// The channel count to ask for with -ac, or 0 when the source's count can stay: two for the
// encoders that take at most two, at most eight for AAC, eight for Opus above eight (below, its
// layout is fixed by channelLayoutFor()), mono stays mono. Asking for the count
// also gives the standard layout of that count, which AAC can signal and 5.1(side) it cannot.
int channelsFor(const std::string &encoder, int sourceChannels);
// The layout a count of channels must be given for the encoder, where the count's default one
// is refused or the source's may be (libopus: 2.1, 4.0 and 5.1(side)); empty when none is needed.
std::string channelLayoutFor(const std::string &encoder, int channels);
// True when the encoder, in the container of `outputExt`, writes audio at `rate` Hz.
bool takesSampleRate(const std::string &encoder, const std::string &outputExt, int rate);
// The rate nearest to `rate` that the encoder takes in that container (the higher of two equally
// near); `rate` itself when it is taken or the encoder is not known.
int nearestSampleRate(const std::string &encoder, const std::string &outputExt, int rate);
// The filters that turn a PQ or HLG picture into SDR BT.709, ending in 8-bit 4:2:0; empty for
// any other source.
std::string toneMapFilter(const SourceInfo &source);
// The filter that weaves an interlaced picture into progressive frames, one frame for each frame
// in; empty for a progressive source or one whose field order is untold.
std::string deinterlaceFilter(const SourceInfo &source);
// True when the settings' frame rate is their quality level's and above the source's own: a
// level's rate is a ceiling, and repeating frames to reach it only adds judder and bytes. A rate
// picked by hand stays.
bool keepsSourceFrameRate(const AVSettings &settings, const SourceInfo &source);
