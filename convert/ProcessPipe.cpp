#include "convert/ProcessPipe.h"
#include "convert/ChildProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QStringList>

namespace
{

constexpr int reapWaitMs = 1000;

// A name without a directory is looked up next to the running program first, then in PATH.
QString findProgram(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    if (QCoreApplication::instance()) {
        const QString local =
            QStandardPaths::findExecutable(name, {QCoreApplication::applicationDirPath()});
        if (!local.isEmpty())
            return local;
    }
    return QStandardPaths::findExecutable(name);
}

} // namespace

ProcessPipe::ProcessPipe() = default;

ProcessPipe::~ProcessPipe()
{
    // Nobody would read the transcoder any more: it must not keep writing.
    stopNotifying();
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(reapWaitMs);
    }
}

int ProcessPipe::start(const std::vector<std::string> &arguments)
{
    if (m_running)
        return -103;
    if (arguments.empty() || arguments.front().empty())
        return -1;
    const QString program = findProgram(QString::fromStdString(arguments.front()));
    if (program.isEmpty())
        return -102;

    QStringList args;
    for (auto it = arguments.begin() + 1; it != arguments.end(); ++it)
        args << QString::fromStdString(*it);

    auto child = std::make_unique<ChildProcess>();
    child->setProcessChannelMode(QProcess::MergedChannels);
    child->setStandardInputFile(QProcess::nullDevice());
    child->setProgram(program);
    child->setArguments(args);
    if (endNotifier)
        QObject::connect(child.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                         endNotifier);
    child->start(QIODevice::ReadOnly);
    if (!child->waitForStarted())
        return -102;

    process = std::move(child);
    m_running = true;
    m_exitedNormally = true;
    m_exitCode = 0;
    m_signal = 0;
    return 0;
}

int ProcessPipe::read(char *buffer, int32_t maxBytes, uint32_t &bytesRead, int waitMs)
{
    if (!m_running)
        return -104;
    if (!buffer || maxBytes < 1)
        return -1;
    bytesRead = 0;
    if (waitMs != 0)
        waitForOutput(waitMs);
    if (process->bytesAvailable() > 0) {
        const qint64 count = process->read(buffer, maxBytes);
        if (count > 0) {
            bytesRead = static_cast<uint32_t>(count);
            return 0;
        }
    }
    if (process->state() != QProcess::NotRunning)
        return 0;
    recordExit();
    m_running = false;
    return 102;
}

int ProcessPipe::terminate()
{
    if (!m_running)
        return 102;
    m_running = false;
    stopNotifying();
    process->kill();
    // Reaped before returning, so that a partial output can be removed and a new run started.
    process->waitForFinished(reapWaitMs);
    return 0;
}

void ProcessPipe::closeRead()
{
    if (m_running)
        process->closeReadChannel(QProcess::StandardOutput);
}

// A child that is terminated or abandoned has not ended by itself: nobody is told.
void ProcessPipe::stopNotifying()
{
    if (process)
        QObject::disconnect(process.get(), nullptr, nullptr, nullptr);
}

void ProcessPipe::waitForOutput(int waitMs)
{
    const QDeadlineTimer deadline(waitMs); // negative: forever
    while (process->bytesAvailable() == 0 && process->state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
}

void ProcessPipe::recordExit()
{
    // For a child killed by a signal the exit code holds the signal number.
    m_exitedNormally = process->exitStatus() == QProcess::NormalExit;
    m_exitCode = m_exitedNormally ? process->exitCode() : 0;
    m_signal = m_exitedNormally ? 0 : process->exitCode();
}
