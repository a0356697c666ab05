#include "convert/ContainerRules.h"

#include <algorithm>

namespace
{

std::vector<std::string> joined(std::vector<std::string> first,
                                const std::vector<std::string> &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const std::vector<std::string> textTags = {"title", "comment",   "artist",
                                           "genre", "copyright", "date"};
const std::vector<std::string> placeTags = {"location", "com.apple.quicktime.location.ISO6709",
                                            "com.apple.quicktime.make",
                                            "com.apple.quicktime.model"};
const std::vector<std::string> allTags =
    joined(joined(textTags, {"album", "description", "creation_time"}), placeTags);

// The codecs were measured by copying a clip of each into each container and reading it back:
// AVI reads H.264 and HEVC only in Annex B form, and HEVC only under its own tag; FLAC in AVI and
// HEVC in ASF do not decode, and MP4 takes FLAC only as an experiment. The tags were measured by
// writing each and reading it back: ASF has no recording time, AVI only its INFO texts.
const std::vector<ContainerRules> rows = {
    {".mp4", // extension
     "MP4",  // name
     true,   // several audio tracks
     "mov_text",
     true, // chapters
     "handler_name",
     allTags,
     {{"-movflags", "+use_metadata_tags"}},
     {"h264", "hevc", "mpeg4", "mpeg1video", "mpeg2video", "mjpeg", "vp9", "av1"},
     {"aac", "mp3", "mp2", "ac3", "eac3", "dts", "alac", "opus", "vorbis"},
     {},
     {}},
    {".flv", "FLV", false, "", false, "", allTags, {}, {"h264", "flv1"}, {"aac", "mp3"}, {}, {}},
    {".avi",
     "AVI",
     true,
     "",
     false,
     "",
     textTags,
     {},
     {"h264", "hevc", "mpeg4", "msmpeg4v3", "mpeg1video", "mpeg2video", "mjpeg", "h263", "flv1",
      "wmv2", "vp8", "vp9", "av1", "theora", "dvvideo", "ffv1", "prores", "rawvideo"},
     {"aac", "mp3", "mp2", "ac3", "eac3", "dts", "vorbis", "wmav1", "wmav2", "pcm_s16le",
      "pcm_s24le", "pcm_u8", "adpcm_ima_wav"},
     {{"h264", "-bsf:v", "h264_mp4toannexb"},
      {"hevc", "-bsf:v", "hevc_mp4toannexb"},
      {"hevc", "-tag:v", "HEVC"}},
     {}},
    {".wmv",
     "WMV",
     true,
     "",
     true,
     "",
     joined(joined(textTags, {"album"}), placeTags),
     {},
     {"h264", "mpeg4", "msmpeg4v3", "mpeg1video", "mpeg2video", "mjpeg", "h263", "flv1", "wmv2",
      "vp8", "vp9", "av1", "theora", "dvvideo", "ffv1", "rawvideo"},
     {"aac", "mp3", "mp2", "ac3", "eac3", "dts", "flac", "vorbis", "wmav1", "wmav2", "pcm_s16le",
      "pcm_s24le", "pcm_u8", "adpcm_ima_wav"},
     {},
     {}},
    // Matroska holds every codec above as it is, text and picture subtitles too, but not
    // mov_text; its tags are free-form and keep every carried one.
    {".mkv",
     "MKV",
     true,
     "srt",
     true,
     "",
     allTags,
     {},
     {"h264", "hevc", "mpeg4", "msmpeg4v3", "mpeg1video", "mpeg2video", "mjpeg", "h263", "flv1",
      "wmv2", "vp8", "vp9", "av1", "theora", "dvvideo", "ffv1", "prores", "rawvideo"},
     {"aac", "mp3", "mp2", "ac3", "eac3", "dts", "truehd", "flac", "alac", "opus", "vorbis",
      "wmav1", "wmav2", "pcm_s16le", "pcm_s24le", "pcm_u8", "adpcm_ima_wav"},
     {},
     {"subrip", "ass", "ssa", "webvtt", "dvd_subtitle", "hdmv_pgs_subtitle", "dvb_subtitle"}},
    // WebM is Matroska cut down to the open codecs, with WebVTT as its only subtitles.
    {".webm",
     "WebM",
     true,
     "webvtt",
     true,
     "",
     allTags,
     {},
     {"vp8", "vp9", "av1"},
     {"opus", "vorbis"},
     {},
     {"webvtt"}},
};

} // namespace

const ContainerRules *ContainerRules::forExtension(const std::string &extension)
{
    for (const ContainerRules &row : rows) {
        if (row.extension == extension)
            return &row;
    }
    return nullptr;
}

bool ContainerRules::copiesVideo(const std::string &codec) const
{
    return std::find(copiedVideo.begin(), copiedVideo.end(), codec) != copiedVideo.end();
}

bool ContainerRules::copiesSubtitle(const std::string &codec) const
{
    return std::find(copiedSubtitles.begin(), copiedSubtitles.end(), codec) !=
           copiedSubtitles.end();
}

bool ContainerRules::copiesAudio(const std::string &codec) const
{
    return std::find(copiedAudio.begin(), copiedAudio.end(), codec) != copiedAudio.end();
}
