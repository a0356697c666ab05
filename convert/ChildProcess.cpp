#include "convert/ChildProcess.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

ChildProcess::ChildProcess(QObject *parent) : QProcess(parent), m_parentPid(getpid()) {}

// Runs in the child between fork and exec: only async-signal-safe calls here.
void ChildProcess::setupChildProcess()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the request took effect.
    if (getppid() != m_parentPid)
        _exit(127);
}
