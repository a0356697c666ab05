#include "params/SourceInfo.h"

#include <strings.h>

bool SourceInfo::isHdr() const
{
    return hasVideo && (colorTransfer == "smpte2084" || colorTransfer == "arib-std-b67");
}

const SourceStream *SourceInfo::video() const
{
    for (const SourceStream &stream : streams) {
        if (stream.index == videoIndex && stream.type == SourceStream::Video &&
            !stream.attachedPicture)
            return &stream;
    }
    return nullptr;
}

std::string SourceInfo::formatTag(const std::string &key) const
{
    for (const auto &[name, value] : formatTags) {
        if (::strcasecmp(name.c_str(), key.c_str()) == 0)
            return value;
    }
    return std::string();
}
