#include "convert/StreamMapping.h"
#include "convert/ContainerRules.h"
#include "convert/SourceRules.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <algorithm>
#include <cctype>

namespace
{

// The file tags the program carries over, with the names the user's messages give them.
const std::vector<std::pair<std::string, std::string>> &carriedTags()
{
    static const std::vector<std::pair<std::string, std::string>> tags = {
        {"title", "标题"},
        {"comment", "注释"},
        {"artist", "作者"},
        {"album", "专辑"},
        {"genre", "类型"},
        {"copyright", "版权"},
        {"date", "日期"},
        {"description", "描述"},
        {"creation_time", "拍摄时间"},
        {"location", "拍摄地点"},
        {"com.apple.quicktime.location.ISO6709", "拍摄地点"},
        {"com.apple.quicktime.make", "设备厂商"},
        {"com.apple.quicktime.model", "设备型号"}};
    return tags;
}

bool isText(const std::string &codec)
{
    static const std::vector<std::string> textCodecs = {"subrip",   "ass",    "ssa",
                                                        "mov_text", "webvtt", "text"};
    return std::find(textCodecs.begin(), textCodecs.end(), codec) != textCodecs.end();
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

// "音轨 2（eng，English）": the track's place among its kind, its language and title.
std::string trackName(const char *kind, int number, const SourceStream &stream)
{
    std::string name = kind + (" " + std::to_string(number));
    std::string details = stream.language;
    if (!stream.title.empty())
        details += (details.empty() ? "" : "，") + stream.title;
    return details.empty() ? name : name + "（" + details + "）";
}

std::string trackList(const char *kind, const std::vector<const SourceStream *> &tracks,
                      const std::vector<SourceStream> &all)
{
    std::string list;
    for (const SourceStream *track : tracks) {
        const int number = int(std::count_if(all.begin(), all.end(), [&](const SourceStream &s) {
            return s.type == track->type && s.index <= track->index;
        }));
        list += (list.empty() ? "" : "、") + trackName(kind, number, *track);
    }
    return list;
}

std::string optionValue(const std::string &key, const std::string &value)
{
    return key + "=" + value;
}

} // namespace

std::optional<StreamMapping> StreamMapping::of(const AVParams &params)
{
    const ContainerRules *rules = ContainerRules::forExtension(outputExtension(params.output));
    if (!params.source || params.source->streams.empty() || !rules)
        return std::nullopt;
    return StreamMapping(params, *rules);
}

StreamMapping::StreamMapping(const AVParams &params, const ContainerRules &rules)
    : m_params(&params), m_rules(&rules),
      m_copyVideo(lookupText(videoEncoders, params.settings.cv) == std::string("copy")),
      m_copyAudio(lookupText(audioEncoders, params.settings.ca) == std::string("copy"))
{
    pickAudio();
    pickSubtitles();
}

// Every track where the container holds several; else the default track, or the first.
void StreamMapping::pickAudio()
{
    for (const SourceStream &stream : m_params->source->streams) {
        if (stream.type == SourceStream::Audio)
            m_audio.push_back(&stream);
    }
    if (m_rules->severalAudioTracks || m_audio.size() < 2)
        return;
    const auto kept = std::find_if(m_audio.begin(), m_audio.end(),
                                   [](const SourceStream *track) { return track->isDefault; });
    const SourceStream *only = kept == m_audio.end() ? m_audio.front() : *kept;
    for (const SourceStream *track : m_audio) {
        if (track != only)
            m_leftAudio.push_back(track);
    }
    m_audio = {only};
}

void StreamMapping::pickSubtitles()
{
    for (const SourceStream &stream : m_params->source->streams) {
        if (stream.type != SourceStream::Subtitle)
            continue;
        const bool text = isText(stream.codec);
        if (m_rules->copiesSubtitle(stream.codec) || (text && !m_rules->subtitleEncoder.empty()))
            m_subtitles.push_back(&stream);
        else if (!text)
            m_pictureSubtitles.push_back(&stream);
        else
            m_unheldSubtitles.push_back(&stream);
    }
}

std::vector<StreamMapping::Option> StreamMapping::streamChoice() const
{
    std::vector<Option> options;
    if (m_params->source->video())
        options.push_back({"-map", "0:" + std::to_string(m_params->source->videoIndex)});
    for (const auto &kind : {m_audio, m_subtitles}) {
        for (const SourceStream *stream : kind)
            options.push_back({"-map", "0:" + std::to_string(stream->index)});
    }
    return options;
}

std::vector<StreamMapping::Option> StreamMapping::carriedOptions() const
{
    std::vector<Option> options;
    if (!m_subtitles.empty() && m_rules->copiedSubtitles.empty())
        options.push_back({"-c:s", m_rules->subtitleEncoder});
    for (size_t i = 0; i < m_subtitles.size() && !m_rules->copiedSubtitles.empty(); ++i)
        options.push_back(
            {"-c:s:" + std::to_string(i), m_rules->copiesSubtitle(m_subtitles[i]->codec)
                                              ? std::string("copy")
                                              : m_rules->subtitleEncoder});
    addTrackTitles(options);
    addFileTags(options);
    if (m_params->source->chapterCount > 0)
        options.push_back({"-map_chapters", m_rules->chapters ? "0" : "-1"});
    options.insert(options.end(), m_rules->muxerOptions.begin(), m_rules->muxerOptions.end());
    const SourceStream *video = m_params->source->video();
    for (const std::vector<std::string> &extra : m_rules->videoCopyOptions) {
        if (m_copyVideo && video && video->codec == extra[0])
            options.push_back({extra[1], extra[2]});
    }
    return options;
}

void StreamMapping::addTrackTitles(std::vector<Option> &options) const
{
    if (m_rules->trackTitleKey.empty())
        return;
    const std::pair<const char *, const std::vector<const SourceStream *> *> kinds[] = {
        {"a", &m_audio}, {"s", &m_subtitles}};
    for (const auto &[kind, tracks] : kinds) {
        for (size_t i = 0; i < tracks->size(); ++i) {
            if (!(*tracks)[i]->title.empty())
                options.push_back({std::string("-metadata:s:") + kind + ":" + std::to_string(i),
                                   optionValue(m_rules->trackTitleKey, (*tracks)[i]->title)});
        }
    }
}

// The file's tags are written one by one rather than copied whole: a copy would leave out the
// recording time, and with MP4's free-form tags it would also carry the source's brand tags.
void StreamMapping::addFileTags(std::vector<Option> &options) const
{
    options.push_back({"-map_metadata:g", "-1"});
    for (const std::string &key : m_rules->metadataKeys) {
        const std::string value = m_params->source->formatTag(key);
        if (!value.empty())
            options.push_back({"-metadata", optionValue(key, value)});
    }
}

std::string StreamMapping::leftOutNote() const
{
    const std::vector<SourceStream> &all = m_params->source->streams;
    const std::string &container = m_rules->name;
    std::string note;
    if (!m_leftAudio.empty())
        note += "未转出的音轨：" + trackList("音轨", m_leftAudio, all) + "（" + container +
                " 格式只能容纳一条音轨）\n";
    if (!m_unheldSubtitles.empty())
        note += "未转出的字幕：" + trackList("字幕", m_unheldSubtitles, all) + "（" + container +
                " 格式不能容纳字幕）\n";
    if (!m_pictureSubtitles.empty())
        note += "未转出的字幕：" + trackList("字幕", m_pictureSubtitles, all) +
                "（图像字幕无法转为文字字幕）\n";
    if (m_params->source->chapterCount > 0 && !m_rules->chapters)
        note += "未保留的章节：" + std::to_string(m_params->source->chapterCount) + " 个（" +
                container + " 格式不能容纳章节）\n";
    return note + tagsNote();
}

std::string StreamMapping::tagsNote() const
{
    std::vector<std::string> names;
    for (const auto &[key, name] : carriedTags()) {
        const bool held = std::find(m_rules->metadataKeys.begin(), m_rules->metadataKeys.end(),
                                    key) != m_rules->metadataKeys.end();
        if (!held && !m_params->source->formatTag(key).empty() &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    std::string list;
    for (const std::string &name : names)
        list += (list.empty() ? "" : "、") + name;
    return list.empty() ? list
                        : "未保留的文件信息：" + list + "（" + m_rules->name + " 格式不能容纳）\n";
}

std::string StreamMapping::copyProblem() const
{
    const SourceStream *video = m_params->source->video();
    const std::string into = "无法直接复制：" + m_rules->name + " 格式不能容纳 ";
    if (m_copyVideo && video && !m_rules->copiesVideo(video->codec))
        return into + upper(video->codec) + " 视频\n";
    for (const SourceStream *track : m_copyAudio ? m_audio : std::vector<const SourceStream *>()) {
        if (!m_rules->copiesAudio(track->codec))
            return into + upper(track->codec) + " 音频\n";
    }
    return std::string();
}
