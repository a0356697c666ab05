#include "convert/ProcessPipe.h"
#include "convert/ChildProcess.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{

// How often a wait for output looks whether the child has ended.
constexpr int exitCheckMs = 50;
// A child that writes this much within this time fills a pipe between two of its owner's polls:
// it is then read as it writes.
constexpr qint64 chattyBytes = qint64(32) * 1024;
constexpr qint64 paceWindowMs = 250;
constexpr int chattyPipeBytes = 1024 * 1024;

// A descriptor of at least 3, so that the child's dup2 onto its standard output is never a no-op
// that keeps close-on-exec.
int aboveStandardStreams(int fd)
{
    if (fd > STDERR_FILENO)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

// Both ends close on exec; the child gets its copy of the write end by dup2. Only the read end
// never blocks: the child must not lose output to a full pipe.
bool openPipe(int &readFd, int &writeFd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readFd = aboveStandardStreams(fds[0]);
    writeFd = aboveStandardStreams(fds[1]);
    if (readFd < 0 || writeFd < 0 || ::fcntl(readFd, F_SETFL, O_NONBLOCK) != 0) {
        if (readFd >= 0)
            ::close(readFd);
        if (writeFd >= 0)
            ::close(writeFd);
        readFd = writeFd = -1;
        return false;
    }
    return true;
}

} // namespace

ProcessPipe::ProcessPipe(QObject *parent) : QObject(parent) {}

ProcessPipe::~ProcessPipe()
{
    // Nobody would read the transcoder any more: it must not keep writing.
    if (m_process && m_process->running()) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(ChildProcess::reapWaitMs);
    }
    closeReadEnd();
}

int ProcessPipe::start(const std::vector<std::string> &arguments)
{
    if (m_running)
        return alreadyRunning;
    if (arguments.empty() || arguments.front().empty())
        return missingArgument;
    const QString program = ChildProcess::findProgram(QString::fromStdString(arguments.front()));
    if (program.isEmpty())
        return startFailed;

    QStringList args;
    for (auto it = arguments.begin() + 1; it != arguments.end(); ++it)
        args << QString::fromStdString(*it);

    release();
    int writeFd = -1;
    if (!openPipe(m_readFd, writeFd))
        return startFailed;
    auto *child = new ChildProcess(this);
    connect(child, &ChildProcess::finished, this, &ProcessPipe::ended);
    const bool started = child->start(program, args, writeFd, writeFd);
    // Only the child writes: the end of its output is the end of the pipe.
    ::close(writeFd);
    if (!started) {
        delete child;
        release();
        return startFailed;
    }

    m_waiting = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    m_waiting->setEnabled(false);
    connect(m_waiting, &QSocketNotifier::activated, this, &ProcessPipe::outputWaiting);
    m_paceClock.start();
    m_paceBytes = 0;
    m_process = child;
    m_running = true;
    m_paused = false;
    m_exitedNormally = true;
    m_exitCode = 0;
    m_signal = 0;
    return 0;
}

// The owner reads at its own pace (a notifier would wake the event loop for every line the child
// writes), or as the child writes while it is chatty (followPace).
int ProcessPipe::read(char *buffer, int32_t maxBytes, uint32_t &bytesRead, int waitMs)
{
    if (!m_running)
        return notRunning;
    if (!buffer || maxBytes < 1)
        return missingArgument;
    bytesRead = 0;
    if (waitMs != 0)
        waitForOutput(waitMs);
    ssize_t count = 0;
    do
        count = ::read(m_readFd, buffer, size_t(maxBytes));
    while (count < 0 && errno == EINTR);
    if (count > 0) {
        bytesRead = static_cast<uint32_t>(count);
        followPace(count);
        return 0;
    }
    // A closed pipe stays readable: watching it would only spin.
    if (count == 0 && m_waiting)
        m_waiting->setEnabled(false);
    // Nothing there: once the child has been reaped, everything it wrote has been read.
    if (m_process->running())
        return 0;
    recordExit();
    m_running = false;
    m_paused = false;
    release();
    return outputEnded;
}

int ProcessPipe::terminate()
{
    if (!m_running)
        return nothingToTerminate;
    m_running = false;
    m_paused = false;
    // A terminated child has not ended by itself: nobody is told. SIGKILL ends a stopped child
    // too.
    m_process->disconnect(this);
    m_process->kill();
    // Reaped before returning, so that a partial output can be removed and a new run started.
    m_process->waitForFinished(ChildProcess::reapWaitMs);
    release();
    return 0;
}

int ProcessPipe::pause()
{
    if (!m_running)
        return notRunning;
    if (m_paused)
        return 0;
    const int result = signalChild(SIGSTOP);
    m_paused = result == 0;
    return result;
}

int ProcessPipe::resume()
{
    if (!m_running)
        return notRunning;
    if (!m_paused)
        return 0;
    const int result = signalChild(SIGCONT);
    m_paused = result != 0;
    return result;
}

void ProcessPipe::closeRead()
{
    if (m_running)
        closeReadEnd();
}

// A child that has ended takes its buffers and pipe with it; the object itself goes once control
// is back in the event loop, since the end may be reported from inside its own signal.
void ProcessPipe::release()
{
    closeReadEnd();
    if (!m_process)
        return;
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
}

// Read at the owner's pace while the child is quiet, as it writes while it is chatty.
void ProcessPipe::followPace(qint64 count)
{
    m_paceBytes += count;
    if (m_paceBytes >= chattyBytes && !m_waiting->isEnabled()) {
        m_waiting->setEnabled(true);
        // Room to go on writing while the event loop is busy elsewhere; the system may refuse.
        ::fcntl(m_readFd, F_SETPIPE_SZ, chattyPipeBytes);
    }
    if (m_paceClock.elapsed() < paceWindowMs)
        return;
    m_waiting->setEnabled(m_paceBytes >= chattyBytes);
    m_paceBytes = 0;
    m_paceClock.start();
}

// The notifier may be what is reporting right now: it goes once control is back in the event
// loop, and stops watching the descriptor before that is closed.
void ProcessPipe::closeReadEnd()
{
    if (m_waiting) {
        m_waiting->setEnabled(false);
        m_waiting->deleteLater();
        m_waiting = nullptr;
    }
    if (m_readFd >= 0)
        ::close(m_readFd);
    m_readFd = -1;
}

int ProcessPipe::signalChild(int signal)
{
    // Never pid 0, which would be the whole process group.
    const qint64 pid = m_process->processId();
    if (pid <= 0 || !m_process->running())
        return notRunning;
    return ::kill(pid_t(pid), signal) == 0 ? 0 : notRunning;
}

// Until there is output, the pipe is closed or the child has ended. The child's end is looked
// for between slices: a process it started may hold the pipe open after it.
void ProcessPipe::waitForOutput(int waitMs)
{
    const QDeadlineTimer deadline(waitMs); // negative: forever
    while (m_readFd >= 0 && m_process->running()) {
        pollfd ready{m_readFd, POLLIN, 0};
        const qint64 left = deadline.remainingTime();
        const int slice = left < 0 ? exitCheckMs : int(qMin<qint64>(left, exitCheckMs));
        const int polled = ::poll(&ready, 1, slice);
        if ((polled > 0 && (ready.revents & POLLIN)) || deadline.hasExpired())
            return;
        // A closed pipe without data: the child is ending, it has to be reaped.
        m_process->waitForFinished(polled > 0 ? slice : 0);
    }
}

void ProcessPipe::recordExit()
{
    m_exitedNormally = m_process->exitedNormally();
    m_exitCode = m_process->exitCode();
    m_signal = m_process->exitSignal();
}
