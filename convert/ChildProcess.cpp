#include "convert/ChildProcess.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace
{

// Runs in the child between fork and exec: only async-signal-safe calls here.
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
    const pid_t parentPid = m_parentPid;
    setChildProcessModifier([parentPid] { dieWithParent(parentPid); });
#endif
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void ChildProcess::setupChildProcess()
{
    dieWithParent(m_parentPid);
}
#endif

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
