#pragma once

#include "params/SourceInfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class ChildProcess;
class QTimer;

// Result codes of a probe.
enum ProbeResult : int {
    ProbeOk = 0,
    ProbeNotStarted = -301, // the prober is missing or cannot be run
    ProbeCrashed = -302,    // it died from a signal
    ProbeTimedOut = -303,   // it ran past the time limit and was killed
    ProbeUnreadable = -304, // it ended well but its output is no description of streams
    ProbeRefused = -305,    // it ended with an error: the file is missing or no media it knows
    ProbeRunning = -103,    // a probe of this object still runs
};

// Reads the prober's JSON description (-show_streams -show_format -show_chapters, and the first
// frames of -show_frames) into `info`. ProbeOk, or ProbeUnreadable with `info` left as it was.
int parseProbeOutput(const QByteArray &json, SourceInfo &info);

// Learns a source's streams by running the system's prober as a child process, without waiting
// for it: the result comes with finished(). A probe that runs past its time limit is killed.
class SourceProbe final : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultTimeLimitMs = 15000;

    explicit SourceProbe(QObject *parent = nullptr);
    ~SourceProbe() override;

    // The prober's program; a name without a directory is looked up next to the running program,
    // then in PATH. "ffprobe" unless set.
    void setProgram(const QString &program) { m_program = program; }
    // Starts probing `path`. ProbeOk, after which finished() follows exactly once; or
    // ProbeNotStarted / ProbeRunning at once, with no signal.
    int start(const QString &path, int timeLimitMs = defaultTimeLimitMs);
    // Kills a running probe; no signal follows.
    void cancel();

    bool running() const { return m_process != nullptr; }
    // The result of the last probe that ended, ProbeOk while none has.
    int result() const { return m_result; }
    // What the last successful probe found.
    const SourceInfo &info() const { return m_info; }
    // The prober's own last message when it refused the file (UTF-8), empty otherwise.
    const std::string &errorText() const { return m_errorText; }

signals:
    void finished(int result);

private:
    void onFinished();
    void onTimeLimit();
    void finishWith(int result);
    void release();

    QString m_program = QStringLiteral("ffprobe");
    ChildProcess *m_process = nullptr;
    QTimer *m_timeLimit = nullptr;
    int m_output = -1;
    int m_errors = -1;
    SourceInfo m_info;
    std::string m_errorText;
    int m_result = ProbeOk;
};
