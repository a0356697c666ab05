#include "params/ParamTables.h"
#include "params/AVSettings.h"

#include <algorithm>

ParamTable containerTexts;
ParamTable containerExts;
ParamTable videoCodecTexts;
ParamTable videoEncoders;
ParamTable audioCodecTexts;
ParamTable audioEncoders;
ParamTable resolutions;
ParamTable inputExts;
ParamTable qualityTexts;

const char *const defaultEntryText = "默认";

const std::vector<int> crfValues = {18, 24, 32, 40};
const std::vector<int> av1CrfValues = {20, 39, 50, 58};
const std::vector<int> vp9CrfValues = {18, 32, 46, 55};
const std::vector<int> videoBitRates = {256, 384, 512, 768, 1024, 1200, 1600, 2048, 2400};
const std::vector<int> frameRates = {12, 15, 18, 24, 30};
const std::vector<int> audioBitRates = {24, 32, 64, 96, 128, 192, 224, 256};
const std::vector<int> opusBitRates = {24, 32, 48, 64, 96, 128, 160, 192, 256};
const std::vector<int> sampleRates = {22050, 24000, 44100, 48000};

namespace
{

const std::vector<ContainerCodecs> containerCodecs = {
    {{0, 1, 2, 3, 7, 6}, {0, 4, 3}},                // .mp4
    {{0, 2, 5}, {0, 1}},                            // .flv
    {{0, 1, 2, 3, 4, 5, 6}, {1, 2, 3}},             // .avi
    {{4}, {2}},                                     // .wmv
    {{0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 1, 2, 3, 4}}, // .mkv
    {{7, 8, 6}, {4, 3}},                            // .webm
};

// Every accepted input extension with the media type the desktop's shared MIME database gives it.
// .m2v has no glob there; MPEG video is what its content is recognised as.
struct InputType {
    const char *ext;
    const char *mimeType;
};
const InputType inputTypes[] = {
    {".mp4", "video/mp4"},
    {".mkv", "video/x-matroska"},
    {".flv", "video/x-flv"},
    {".avi", "video/x-msvideo"},
    {".wmv", "video/x-ms-wmv"},
    {".mpg", "video/mpeg"},
    {".mov", "video/quicktime"},
    {".rmvb", "application/vnd.rn-realmedia"},
    {".m4v", "video/mp4"},
    {".3gp", "video/3gpp"},
    {".3g2", "video/3gpp2"},
    {".webm", "video/webm"},
    {".ts", "video/mp2t"},
    {".mts", "video/mp2t"},
    {".m2ts", "video/mp2t"},
    {".vob", "video/mpeg"},
    {".mpeg", "video/mpeg"},
    {".mpe", "video/mpeg"},
    {".m2v", "video/mpeg"},
    {".ogv", "video/ogg"},
    {".asf", "application/vnd.ms-asf"},
    {".f4v", "video/mp4"},
    {".rm", "application/vnd.rn-realmedia"},
    {".divx", "video/x-msvideo"},
    {".dv", "video/dv"},
    {".mxf", "application/mxf"},
};

void fillIfEmpty(ParamTable &table, std::initializer_list<const char *> texts)
{
    if (!table.empty())
        return;
    int key = 0;
    for (const char *text : texts)
        table.emplace(key++, text);
}

} // namespace

void initParamTables()
{
    fillIfEmpty(containerTexts,
                {".mp4 (默认 H.264-AAC)", ".flv (默认 H.264-AAC)", ".avi (默认 H.264-MP3)",
                 ".wmv (默认 WMV2-WMAv2)", ".mkv (默认 H.264-AAC)", ".webm (默认 AV1-Opus)"});
    fillIfEmpty(containerExts, {".mp4", ".flv", ".avi", ".wmv", ".mkv", ".webm"});
    // New entries go at the end: the keys are what settings files and saved lists store.
    fillIfEmpty(videoCodecTexts, {"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)", "HEVC(H265)", "WMV2",
                                  "FLV1", "Copy", "AV1", "VP9"});
    fillIfEmpty(videoEncoders, {"mpeg4", "libxvid", "libx264", "libx265", "wmv2", "flv", "copy",
                                "libsvtav1", "libvpx-vp9"});
    fillIfEmpty(audioCodecTexts, {"AAC", "MP3", "WMAv2", "Copy", "Opus"});
    fillIfEmpty(audioEncoders, {"aac", "mp3", "wmav2", "copy", "libopus"});
    fillIfEmpty(resolutions, {"1920x1080", "1280x720", "720x480", "480x320"});
    if (inputExts.empty()) {
        int key = 0;
        for (const InputType &type : inputTypes)
            inputExts.emplace(key++, type.ext);
    }
    fillIfEmpty(qualityTexts, {"低质量", "中质量", "高质量", "默认"});
}

std::optional<std::string> lookupText(const ParamTable &table, int key)
{
    const auto it = table.find(key);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

std::optional<int> findKey(const ParamTable &table, const std::string &text)
{
    for (const auto &[key, entry] : table) {
        if (entry == text)
            return key;
    }
    return std::nullopt;
}

const ContainerCodecs *offeredCodecs(int vc)
{
    if (vc < 0 || static_cast<size_t>(vc) >= containerCodecs.size())
        return nullptr;
    return &containerCodecs[static_cast<size_t>(vc)];
}

const std::vector<int> &crfChoices(int cv)
{
    if (cv == VideoAv1)
        return av1CrfValues;
    if (cv == VideoVp9)
        return vp9CrfValues;
    return crfValues;
}

const std::vector<int> &audioBitRateChoices(int ca)
{
    return ca == AudioOpus ? opusBitRates : audioBitRates;
}

bool isInputExtension(const std::string &dotSuffix)
{
    std::string lower = dotSuffix;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return findKey(inputExts, lower).has_value();
}

std::string inputFileFilter()
{
    std::string all;
    std::string each;
    for (const auto &[key, ext] : inputExts) {
        const std::string pattern = "*" + ext;
        std::string name = ext.substr(1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; });
        if (!all.empty())
            all += ' ';
        all += pattern;
        each.append(name).append(" (").append(pattern).append(");;");
    }
    return "All Formats (" + all + ");;" + each + "All Files (*.*)";
}

std::vector<std::string> inputMimeTypes()
{
    std::vector<std::string> types;
    for (const InputType &type : inputTypes) {
        if (std::find(types.begin(), types.end(), type.mimeType) == types.end())
            types.emplace_back(type.mimeType);
    }
    return types;
}

std::string desktopMimeTypeLine()
{
    std::string line = "MimeType=";
    for (const std::string &type : inputMimeTypes())
        line += type + ";";
    return line;
}
