#pragma once

#include "params/AVSettings.h"
#include "params/SourceInfo.h"

#include <optional>
#include <string>
#include <vector>

// Program name of the transcoder, looked up without a directory.
#ifdef _WIN32
inline constexpr const char *transcoderProgram = "ffmpeg.exe";
#else
inline constexpr const char *transcoderProgram = "ffmpeg";
#endif

// One job's complete profile: everything the transcoder's command line is built from.
struct AVParams {
    std::string exe;
    std::string opts;
    std::string input;
    std::string output;
    AVSettings settings;
    // What the prober found in the input. While it is unknown the line is built from the settings
    // alone; once known, the audio is made to fit its encoder and an HDR picture is tone-mapped.
    std::optional<SourceInfo> source;

    // Also forgets the source: a new input is probed anew.
    void init(const AVSettings &newSettings);

    // The transcoder command line as one text (paths between double quotes, unescaped).
    std::string buildCommandLine() const;
    // The same tokens as a list, without the quotes, for starting the transcoder without a shell.
    std::vector<std::string> commandArguments() const;
    // The transcoder's runs for this profile: 2 when the video encoder needs a first pass.
    int passCount() const;
    // The arguments of run `pass` (1 or 2), whose statistics go under `logPrefix`; those of
    // commandArguments() for a profile of one pass.
    std::vector<std::string> passArguments(int pass, const std::string &logPrefix) const;
    // What becomes of a PQ or HLG source's picture: "HDR 保留" or "HDR 转为 SDR"; empty for
    // another source, a copied picture or while the source is unknown.
    std::string hdrNote() const;
    // Once the source's streams are listed: what the output leaves out of it and why, one line
    // each; empty while the source is unknown.
    std::string sourceNote() const;
    // The frame rate the output gets once the source's streams are listed; 0 while unknown.
    double outputFrameRate() const;
    // Why a stream to copy cannot go into the output's container; empty when every one can.
    std::string copyProblem() const;
};
