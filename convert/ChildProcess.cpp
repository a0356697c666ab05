#include "convert/ChildProcess.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace
{

void dieWithParent(pid_t parentPid)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the request took effect.
    if (getppid() != parentPid)
        _exit(127);
}

} // namespace

ChildProcess::ChildProcess(QObject *parent) : QProcess(parent), m_parentPid(getpid())
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    setChildProcessModifier([this] { prepareChild(); });
#endif
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void ChildProcess::setupChildProcess()
{
    prepareChild();
}
#endif

// Runs in the child between fork and exec, after QProcess has set up the channels: only
// async-signal-safe calls here. dup2 clears close-on-exec on the copies.
void ChildProcess::prepareChild() const
{
    dieWithParent(m_parentPid);
    if (m_outputFd < 0)
        return;
    if (::dup2(m_outputFd, STDOUT_FILENO) < 0 || ::dup2(m_outputFd, STDERR_FILENO) < 0)
        _exit(127);
}

QString ChildProcess::findProgram(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    if (QCoreApplication::instance()) {
        QString local =
            QStandardPaths::findExecutable(name, {QCoreApplication::applicationDirPath()});
        if (!local.isEmpty())
            return local;
    }
    return QStandardPaths::findExecutable(name);
}
