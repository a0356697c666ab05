#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct AVParams;
struct ContainerRules;
struct SourceStream;

// Which of a source's streams, file tags and chapters go into the output, by the container's
// rules, and what is left out and why. The transcoder's own choice (one picture, one sound) is
// replaced only once the prober has listed the streams one by one.
class StreamMapping final
{
public:
    using Option = std::pair<std::string, std::string>;

    // None while the streams are not listed, or for a container without rules; the profile
    // must outlive the mapping.
    static std::optional<StreamMapping> of(const AVParams &params);

    // The audio tracks in output order.
    const std::vector<const SourceStream *> &audioTracks() const { return m_audio; }
    bool copiesVideo() const { return m_copyVideo; }
    bool copiesAudio() const { return m_copyAudio; }
    // -map of each stream, before every other option.
    std::vector<Option> streamChoice() const;
    // The subtitles' encoder, track titles, file tags, chapters and the muxer's options.
    std::vector<Option> carriedOptions() const;
    // One line for each kind of thing left out, saying why; empty when nothing is.
    std::string leftOutNote() const;
    // Why a stream to copy cannot go into the container, naming its codec and the container;
    // empty when every one can.
    std::string copyProblem() const;

private:
    StreamMapping(const AVParams &params, const ContainerRules &rules);
    void pickAudio();
    void pickSubtitles();
    void addTrackTitles(std::vector<Option> &options) const;
    void addFileTags(std::vector<Option> &options) const;
    std::string tagsNote() const;

    const AVParams *m_params;
    const ContainerRules *m_rules;
    bool m_copyVideo = false;
    bool m_copyAudio = false;
    std::vector<const SourceStream *> m_audio;
    std::vector<const SourceStream *> m_subtitles;
    std::vector<const SourceStream *> m_leftAudio;
    std::vector<const SourceStream *> m_unheldSubtitles;
    std::vector<const SourceStream *> m_pictureSubtitles;
};
