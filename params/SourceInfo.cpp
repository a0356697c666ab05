#include "params/SourceInfo.h"

bool SourceInfo::isHdr() const
{
    return hasVideo && (colorTransfer == "smpte2084" || colorTransfer == "arib-std-b67");
}
