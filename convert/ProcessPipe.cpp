#include "convert/ProcessPipe.h"
#include "convert/ChildProcess.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <csignal>

ProcessPipe::ProcessPipe(QObject *parent) : QObject(parent) {}

ProcessPipe::~ProcessPipe()
{
    // Nobody would read the transcoder any more: it must not keep writing.
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(ChildProcess::reapWaitMs);
    }
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
    auto *child = new ChildProcess(this);
    child->setProcessChannelMode(QProcess::MergedChannels);
    child->setStandardInputFile(QProcess::nullDevice());
    child->setProgram(program);
    child->setArguments(args);
    connect(child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &ProcessPipe::ended);
    child->start(QIODevice::ReadOnly);
    if (!child->waitForStarted()) {
        delete child;
        return startFailed;
    }

    m_process = child;
    m_running = true;
    m_paused = false;
    m_exitedNormally = true;
    m_exitCode = 0;
    m_signal = 0;
    return 0;
}

int ProcessPipe::read(char *buffer, int32_t maxBytes, uint32_t &bytesRead, int waitMs)
{
    if (!m_running)
        return notRunning;
    if (!buffer || maxBytes < 1)
        return missingArgument;
    bytesRead = 0;
    if (waitMs != 0)
        waitForOutput(waitMs);
    if (m_process->bytesAvailable() > 0) {
        const qint64 count = m_process->read(buffer, maxBytes);
        if (count > 0) {
            bytesRead = static_cast<uint32_t>(count);
            return 0;
        }
    }
    if (m_process->state() != QProcess::NotRunning)
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
        m_process->closeReadChannel(QProcess::StandardOutput);
}

// A child that has ended takes its buffers and pipe with it; the object itself goes once control
// is back in the event loop, since the end may be reported from inside its own signal.
void ProcessPipe::release()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
}

int ProcessPipe::signalChild(int signal)
{
    // Never pid 0, which would be the whole process group.
    const qint64 pid = m_process->processId();
    if (pid <= 0 || m_process->state() == QProcess::NotRunning)
        return notRunning;
    return ::kill(pid_t(pid), signal) == 0 ? 0 : notRunning;
}

void ProcessPipe::waitForOutput(int waitMs)
{
    const QDeadlineTimer deadline(waitMs); // negative: forever
    while (m_process->bytesAvailable() == 0 && m_process->state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
}

void ProcessPipe::recordExit()
{
    // For a child killed by a signal the exit code holds the signal number.
    m_exitedNormally = m_process->exitStatus() == QProcess::NormalExit;
    m_exitCode = m_exitedNormally ? m_process->exitCode() : 0;
    m_signal = m_exitedNormally ? 0 : m_process->exitCode();
}
