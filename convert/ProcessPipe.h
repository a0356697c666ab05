#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

class ChildProcess;
class QSocketNotifier;

// Runs one external program as a child whose standard output and standard error flow into one
// pipe, and lets its owner read that pipe when it likes, pause, resume and terminate the child.
class ProcessPipe final : public QObject
{
    Q_OBJECT

public:
    // Results besides 0: an argument is missing; the program could not be found or started; a
    // child runs already; no child runs; the child has ended and all of its output was read;
    // terminate() found nothing running.
    static constexpr int missingArgument = -1;
    static constexpr int startFailed = -102;
    static constexpr int alreadyRunning = -103;
    static constexpr int notRunning = -104;
    static constexpr int outputEnded = 102;
    static constexpr int nothingToTerminate = 104;

    explicit ProcessPipe(QObject *parent = nullptr);
    ~ProcessPipe() override;

    // arguments[0] names the program; a name without a directory is looked up in the running
    // program's own directory first, then in PATH. The arguments reach the child unchanged.
    int start(const std::vector<std::string> &arguments);
    // Stores at most maxBytes bytes of output in buffer. Waits at most waitMs for output to
    // arrive (-1: until the child writes or ends); with 0 it only takes what is already there and
    // may return 0 with bytesRead 0.
    int read(char *buffer, int32_t maxBytes, uint32_t &bytesRead, int waitMs = 0);
    int terminate();
    void closeRead();
    // Stops the child where it is (SIGSTOP) and lets it go on (SIGCONT): 0, or notRunning. A read
    // that waits for output meanwhile waits for the resume; terminate() ends a paused child too.
    int pause();
    int resume();
    bool paused() const { return m_paused; }

    bool running() const { return m_running; }
    // How the last child ended, once read() has returned outputEnded.
    bool lastExitedNormally() const { return m_exitedNormally; }
    int lastExitCode() const { return m_exitCode; }
    int lastSignal() const { return m_signal; }

signals:
    // A child that was not terminated has ended and all of its output is ready to be read, so
    // that the owner need not wait for its next poll to learn it.
    void ended();
    // A child that writes faster than its owner's polls take has more output waiting: it would
    // otherwise stop on a full pipe until the next poll.
    void outputWaiting();

private:
    int signalChild(int signal);
    void waitForOutput(int waitMs);
    void recordExit();
    void release();
    void closeReadEnd();
    void followPace(qint64 count);

    ChildProcess *m_process = nullptr;
    int m_readFd = -1;
    QSocketNotifier *m_waiting = nullptr;
    QElapsedTimer m_paceClock;
    qint64 m_paceBytes = 0;
    bool m_running = false;
    bool m_paused = false;
    bool m_exitedNormally = true;
    int m_exitCode = 0;
    int m_signal = 0;
};
