#pragma once

#include "params/SourceStream.h"

#include <string>
#include <utility>
#include <vector>

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
    // The mastering display (chromaticities of green, blue, red and white as x, y fractions;
    // luminance in cd/m²) and the content light levels (cd/m²) an HDR10 picture declares, from
    // its first frame or its stream; 0 when untold.
    double mastering[8] = {};
    double masteringMaxLuminance = 0;
    double masteringMinLuminance = 0;
    int maxContentLight = 0;
    int maxAverageLight = 0;

    bool hasAudio = false;
    int audioChannels = 0;
    int audioSampleRate = 0; // Hz; 0 when untold
    std::string audioCodec;
    std::string channelLayout;

    // The length the file declares, in seconds; below 0 when it declares none.
    double durationSeconds = -1;

    // Every stream in file order, the picked video's number among them (-1 when there is none),
    // the chapters' count and the file's own tags (title, creation_time, ...) as it spells them.
    // An empty list means the streams are not known one by one.
    std::vector<SourceStream> streams;
    int videoIndex = -1;
    int chapterCount = 0;
    std::vector<std::pair<std::string, std::string>> formatTags;

    // The picked video stream, or null.
    const SourceStream *video() const;
    // The value of a file tag, its key compared without case; empty when untagged.
    std::string formatTag(const std::string &key) const;

    // A PQ or HLG picture, which needs tone-mapping to look right in 8-bit SDR.
    bool isHdr() const;
    bool hasMasteringDisplay() const { return masteringMaxLuminance > 0 && mastering[0] > 0; }
};
