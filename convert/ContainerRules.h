#pragma once

#include <string>
#include <utility>
#include <vector>

// What one output container holds of a source, one row per container: a new container joins by
// a row in ContainerRules.cpp. Codec names are the prober's.
struct ContainerRules {
    std::string extension; // ".mp4"
    std::string name;      // as the user's messages name it
    // Every audio track, or only one (the default track, else the first).
    bool severalAudioTracks = false;
    // The encoder text subtitles become; empty when the container takes none.
    std::string subtitleEncoder;
    bool chapters = false;
    // The stream tag a track's title must go under, when the container does not keep "title".
    std::string trackTitleKey;
    // The file tags it keeps, in the prober's spelling.
    std::vector<std::string> metadataKeys;
    // Options the muxer needs to write those tags.
    std::vector<std::pair<std::string, std::string>> muxerOptions;
    // The codecs it takes as a stream copy, as ffmpeg 5.1 writes them and reads them back whole.
    std::vector<std::string> copiedVideo;
    std::vector<std::string> copiedAudio;
    // What a copied video codec needs in this container: {codec, flag, value}.
    std::vector<std::vector<std::string>> videoCopyOptions;
    // The subtitle codecs it keeps as they are, pictures among them; other text subtitles
    // become subtitleEncoder's.
    std::vector<std::string> copiedSubtitles;

    // The row of an extension (".mp4", lower case), or null for a container without one.
    static const ContainerRules *forExtension(const std::string &extension);
    bool copiesVideo(const std::string &codec) const;
    bool copiesAudio(const std::string &codec) const;
    bool copiesSubtitle(const std::string &codec) const;
};
