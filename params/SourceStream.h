#pragma once

#include <string>

// One stream of a source as the prober lists it. `index` is the stream's number in the file,
// which -map takes.
struct SourceStream {
    enum Type { Video, Audio, Subtitle, Other };

    int index = 0;
    Type type = Other;
    std::string codec;
    std::string language; // ISO 639-2 as the file tags it; empty when untagged
    std::string title;
    bool isDefault = false;
    // A cover picture stored as a one-frame video stream.
    bool attachedPicture = false;
    int channels = 0;
    int sampleRate = 0; // Hz; 0 when untold
    // "progressive", "tt", "bb", "tb", "bt"; empty when untold.
    std::string fieldOrder;
    double frameRate = 0; // frames per second; 0 when untold

    // Fields of both parities in one frame, which a progressive output must weave apart.
    bool isInterlaced() const
    {
        return fieldOrder == "tt" || fieldOrder == "bb" || fieldOrder == "tb" || fieldOrder == "bt";
    }
};
