#include "params/ParamTables.h"

ParamTable containerTexts;
ParamTable containerExts;
ParamTable videoCodecTexts;
ParamTable videoEncoders;
ParamTable audioCodecTexts;
ParamTable audioEncoders;
ParamTable resolutions;
ParamTable inputExts;
ParamTable qualityTexts;

std::string outputDir;

const char *const defaultEntryText = "默认";

const std::vector<int> crfValues = {18, 24, 32, 40};
const std::vector<int> videoBitRates = {256, 384, 512, 768, 1024, 1200, 1600, 2048, 2400};
const std::vector<int> frameRates = {12, 15, 18, 24, 30};
const std::vector<int> audioBitRates = {24, 32, 64, 96, 128, 192, 224, 256};
const std::vector<int> sampleRates = {22050, 24000, 44100, 48000};

namespace
{

const std::vector<ContainerCodecs> containerCodecs = {
    {{0, 1, 2, 3, 6}, {0, 3}},          // .mp4
    {{0, 2, 5}, {0, 1}},                // .flv
    {{0, 1, 2, 3, 4, 5, 6}, {1, 2, 3}}, // .avi
    {{4}, {2}},                         // .wmv
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
    fillIfEmpty(containerTexts, {".mp4 (默认 H.264-AAC)", ".flv (默认 H.264-AAC)",
                                 ".avi (默认 H.264-MP3)", ".wmv (默认 WMV2-WMAv2)"});
    fillIfEmpty(containerExts, {".mp4", ".flv", ".avi", ".wmv"});
    fillIfEmpty(videoCodecTexts,
                {"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)", "HEVC(H265)", "WMV2", "FLV1", "Copy"});
    fillIfEmpty(videoEncoders, {"mpeg4", "libxvid", "libx264", "libx265", "wmv2", "flv", "copy"});
    fillIfEmpty(audioCodecTexts, {"AAC", "MP3", "WMAv2", "Copy"});
    fillIfEmpty(audioEncoders, {"aac", "mp3", "wmav2", "copy"});
    fillIfEmpty(resolutions, {"1920x1080", "1280x720", "720x480", "480x320"});
    fillIfEmpty(inputExts, {".mp4", ".mkv", ".flv", ".avi", ".wmv", ".mpg", ".mov", ".rmvb"});
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

void setOutputDir(const std::string &dir)
{
    outputDir = dir;
}

const ContainerCodecs *offeredCodecs(int vc)
{
    if (vc < 0 || static_cast<size_t>(vc) >= containerCodecs.size())
        return nullptr;
    return &containerCodecs[static_cast<size_t>(vc)];
}
