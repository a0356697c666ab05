#pragma once

#include <string>
#include <vector>

struct AVParams;

// The transcoder runs of one conversion: one, or for a two-pass encoder a first pass that writes
// its statistics beside the temporary output and a second that encodes from them. The progress
// of both is one scale, the first pass its first half.
class PassRun final
{
public:
    // Starts over at the first pass of `params`, the statistics named after `tempPath`.
    void prepare(const AVParams &params, const std::string &tempPath);
    int pass() const { return m_pass; }
    bool hasNext() const { return m_pass < m_count; }
    void next() { ++m_pass; }
    std::vector<std::string> arguments(const AVParams &params) const;
    // The file whose size tells that the current pass wrote something: the statistics in a first
    // pass, else the output.
    std::string writtenFile(const std::string &outputPath) const;
    // A pass's progress (0 to 100) on the scale of the whole conversion. A first pass writes no
    // output and tells no position: its share is counted in the frames it has encoded.
    int overall(int passProgress, long frames) const;
    // Removes the statistics, once the conversion has ended in any way.
    void clear();
    // The statistics a first pass writes beside the temporary output `tempPath`.
    static std::string logFileOf(const std::string &tempPath);

private:
    int m_count = 1;
    int m_pass = 1;
    std::string m_logPrefix;
    double m_expectedFrames = 0;
};
