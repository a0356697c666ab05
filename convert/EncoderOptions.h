#pragma once

#include <string>
#include <utility>
#include <vector>

struct SourceInfo;

// What the newer encoders need beyond the options every encoder shares: AV1's and VP9's speed
// and rate control, VP9's two passes, and the options that keep an HDR picture HDR where the
// encoder and the container can carry it. Encoder names are the transcoder's.
class EncoderOptions final
{
public:
    using Option = std::pair<std::string, std::string>;

    // The options right after -c:v: the speed an encoder was measured at.
    static std::vector<Option> videoTuning(const std::string &encoder);
    // True for an encoder that needs a first pass to encode well at a constant quality.
    static bool needsTwoPasses(const std::string &encoder);
    // The options a pass adds before the output; `logPrefix` names its statistics files. The
    // first pass writes no output file, so they also name its output.
    static std::vector<std::string> passArguments(int pass, const std::string &logPrefix);
    // The statistics file the first pass writes under `logPrefix`.
    static std::string passLogFile(const std::string &logPrefix);

    // True when a PQ or HLG source keeps its 10 bits and its colours: a 10-bit encoder (H.265,
    // AV1, VP9) into a container that holds its signalling (MP4, MKV, WebM), H.265 into MP4 apart.
    static bool keepsHdr(const std::string &encoder, const std::string &outputExt,
                         const SourceInfo &source);
    // The pixel format, colour tags and the mastering metadata the encoder can write, for a
    // source keepsHdr() holds for.
    static std::vector<Option> hdrOptions(const std::string &encoder, const SourceInfo &source);
};
