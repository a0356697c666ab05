#pragma once

#include "convert/OutputParser.h"
#include "convert/OutputTail.h"

#include <QtGlobal>

#include <optional>
#include <string>

// What one run of the transcoder has said, read chunk by chunk: its progress and speed, the
// errors it reported, the damage it skipped, and from that and how it ended, the verdict in the
// user's words. It needs no process, so that captured output can be replayed through it.
class TranscoderReport final
{
public:
    // How the transcoder ended, and what it left.
    struct Exit {
        bool normal = true;
        int code = 0;
        int signal = 0;
        qint64 outputBytes = 0;
    };

    // Forgets the last run. The run's paths are hidden in what it says, so that a file name is
    // never taken for the transcoder's words; `declaredSeconds` is the source's length as it
    // declares it, below 0 when unknown.
    void newRun(const std::string &inputPath, const std::string &outputPath,
                double declaredSeconds);
    // Takes one NUL-terminated chunk of output (which it may change): the progress to show, when
    // the chunk told a new one.
    std::optional<int> take(char *chunk);
    // The output has ended: a last line without its line break counts.
    void finish();
    // Frees what it holds for reading; the verdict stays.
    void release();

    // Why the run failed, each message ending in "\n"; empty when it is Done. The exit status
    // comes first: the transcoder exits with 0 after skipping damaged packets of a playable input.
    std::string failure(const Exit &exit) const;
    // What a run that is Done still has to say (damaged data skipped), and what it warns of (a
    // source that ended before its declared length); empty otherwise.
    std::string note() const;
    std::string warning() const;

    // The recognised error messages so far.
    const std::string &errorText() const { return m_facts.errorText; }
    // The position is told but the duration is not, so no share of it can be.
    bool isBusy() const { return m_facts.timeSec > 0 && m_facts.durationSec <= 0; }
    // The frames encoded so far, as the last progress line counted them.
    long frames() const { return m_frames; }
    // The transcoder's speed as a multiple of real time, 0 while unknown.
    double speed() const { return m_speed; }
    // Seconds still needed at that speed, or at `speed`; -1 while the duration or the speed is
    // unknown.
    int remainingSeconds() const { return remainingSeconds(m_speed); }
    int remainingSeconds(double speed) const;

private:
    void takeDeclaredDuration();
    void inspectLine(const std::string &line);
    void hidePaths(char *text) const;
    std::string exitFailureText(const Exit &exit) const;
    std::string writeFailureText() const;

    std::string m_inputPath;
    std::string m_outputPath;
    double m_declaredSeconds = -1;
    OutputFacts m_facts;
    OutputTail m_tail;
    std::string m_writeFailureLine; // the first report that writing the output failed
    std::string m_decodeErrorLine;  // the first damaged packet of the input
    // The position of the last progress line, in seconds with their fraction; -1 while none came.
    double m_lastTimeSeconds = -1;
    double m_speed = 0;
    long m_frames = 0;
};
