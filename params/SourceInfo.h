#pragma once

#include <string>

// What the prober tells about an input file before it is converted: the streams the transcoder
// will pick by itself (the largest picture, the audio with most channels) and the declared length.
struct SourceInfo {
    bool hasVideo = false;
    int width = 0;
    int height = 0;
    // Degrees the picture is turned for display (0, 90, 180 or 270), as the prober reports it.
    int rotation = 0;
    std::string videoCodec;
    std::string pixelFormat;
    // The prober's names: "smpte2084" (PQ), "arib-std-b67" (HLG), "bt709", ...; empty when untold.
    std::string colorTransfer;
    std::string colorPrimaries;
    std::string colorSpace;

    bool hasAudio = false;
    int audioChannels = 0;
    int audioSampleRate = 0; // Hz; 0 when untold
    std::string audioCodec;
    std::string channelLayout;

    // The length the file declares, in seconds; below 0 when it declares none.
    double durationSeconds = -1;

    // A PQ or HLG picture, which needs tone-mapping to look right in 8-bit SDR.
    bool isHdr() const;
};
