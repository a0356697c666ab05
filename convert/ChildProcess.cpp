#include "convert/ChildProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

std::atomic<bool> descriptorsAllowed{true};
// Without a process descriptor the child's end is looked for this often.
constexpr int exitPollMs = 50;
constexpr size_t childStackBytes = size_t(64) * 1024;

// Everything the child needs, made before it starts: it must not allocate.
struct ChildSetup {
    const char *program = nullptr;
    char *const *argv = nullptr;
    int input = -1;
    int output = -1;
    int error = -1;
    pid_t parent = 0;
    sigset_t parentMask{};
    volatile int failure = 0; // errno of the step that failed, written by the child
};

// Runs in the child, on a stack of its own in the parent's memory, until the program replaces
// it: system calls only, nothing a sanitizer would instrument.
__attribute__((no_sanitize("address", "undefined"))) int runChild(void *data)
{
    auto *setup = static_cast<ChildSetup *>(data);
    // A handler of the parent's would run here in the parent's memory: signals get their defaults
    // before they are let through again.
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction current = {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN &&
            current.sa_handler != SIG_DFL)
            ::sigaction(signal, &standard, nullptr);
    }
    // The parent may have died before the request took effect.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != setup->parent) {
        setup->failure = ESRCH;
        _exit(127);
    }
    // dup2 clears close-on-exec on the copies.
    if (::dup2(setup->input, STDIN_FILENO) < 0 || ::dup2(setup->output, STDOUT_FILENO) < 0 ||
        ::dup2(setup->error, STDERR_FILENO) < 0) {
        setup->failure = errno;
        _exit(127);
    }
    ::sigprocmask(SIG_SETMASK, &setup->parentMask, nullptr);
    ::execve(setup->program, setup->argv, environ);
    setup->failure = errno;
    _exit(127);
}

// The parent's thread waits while the child shares its memory (CLONE_VFORK) and takes no signal
// meanwhile. The child's pid, or -1.
pid_t spawn(ChildSetup &setup)
{
    void *stack = ::mmap(nullptr, childStackBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED)
        return -1;
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &setup.parentMask);
    setup.parent = ::getpid();
    const pid_t pid = ::clone(runChild, static_cast<char *>(stack) + childStackBytes,
                              CLONE_VM | CLONE_VFORK | SIGCHLD, &setup);
    ::pthread_sigmask(SIG_SETMASK, &setup.parentMask, nullptr);
    ::munmap(stack, childStackBytes);
    if (pid > 0 && setup.failure != 0) {
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

// A copy above the standard streams, so that the child's dup2 onto them is never a no-op that
// keeps close-on-exec.
int copyAbove(int fd)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}

void closeAll(std::initializer_list<int> fds)
{
    for (const int fd : fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

} // namespace

ChildProcess::ChildProcess(QObject *parent) : QObject(parent) {}

ChildProcess::~ChildProcess()
{
    if (running()) {
        blockSignals(true);
        kill();
        waitForFinished(reapWaitMs);
    }
    stopWatching();
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

bool ChildProcess::start(const QString &program, const QStringList &arguments, int outputFd,
                         int errorFd)
{
    if (running())
        return false;
    std::vector<QByteArray> words;
    words.reserve(size_t(arguments.size()) + 1);
    words.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        words.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ChildSetup setup;
    setup.program = words.front().constData();
    setup.argv = argv.data();
    setup.input = nothing < 0 ? -1 : copyAbove(nothing);
    setup.output = copyAbove(outputFd >= 0 ? outputFd : nothing);
    setup.error = copyAbove(errorFd >= 0 ? errorFd : nothing);
    const bool ready = setup.input >= 0 && setup.output >= 0 && setup.error >= 0;
    const pid_t pid = ready ? spawn(setup) : -1;
    closeAll({nothing, setup.input, setup.output, setup.error});
    if (pid <= 0)
        return false;
    m_pid = pid;
    m_exitedNormally = true;
    m_exitCode = 0;
    m_exitSignal = 0;
    watchExit();
    return true;
}

void ChildProcess::kill()
{
    if (running())
        ::kill(m_pid, SIGKILL);
}

bool ChildProcess::waitForFinished(int ms)
{
    const QDeadlineTimer deadline(ms); // negative: forever
    while (running()) {
        const qint64 left = deadline.remainingTime();
        if (m_pidFd >= 0) {
            pollfd ended{m_pidFd, POLLIN, 0};
            ::poll(&ended, 1, left < 0 ? -1 : int(left));
        } else {
            const qint64 slice = left < 0 ? exitPollMs : qMin<qint64>(left, exitPollMs);
            ::usleep(useconds_t(slice) * 1000);
        }
        reap();
        if (deadline.hasExpired())
            break;
    }
    return !running();
}

void ChildProcess::setProcessDescriptorsAllowed(bool allowed)
{
    descriptorsAllowed = allowed;
}

void ChildProcess::timerEvent(QTimerEvent * /*event*/)
{
    reap();
}

// A process descriptor turns readable when the child ends: no signal handler, no wake-up until
// then. Without one (a kernel before 5.3) the end is looked for at intervals.
void ChildProcess::watchExit()
{
    m_pidFd = descriptorsAllowed ? int(::syscall(SYS_pidfd_open, m_pid, 0)) : -1;
    if (m_pidFd < 0) {
        m_pollTimer = startTimer(exitPollMs);
        return;
    }
    m_exitNotifier = new QSocketNotifier(m_pidFd, QSocketNotifier::Read, this);
    connect(m_exitNotifier, &QSocketNotifier::activated, this, [this] { reap(); });
}

void ChildProcess::reap()
{
    if (!running())
        return;
    int status = 0;
    pid_t reaped = 0;
    do
        reaped = ::waitpid(m_pid, &status, WNOHANG);
    while (reaped < 0 && errno == EINTR);
    if (reaped == 0)
        return;
    // Reaped by someone else (SIGCHLD ignored): how it ended is lost.
    m_exitedNormally = reaped == m_pid && WIFEXITED(status);
    m_exitCode = m_exitedNormally ? WEXITSTATUS(status) : 0;
    m_exitSignal = reaped == m_pid && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    m_pid = 0;
    stopWatching();
    emit finished();
}

// The notifier may be what is reporting right now: it goes once control is back in the event
// loop, and stops watching the descriptor before that is closed.
void ChildProcess::stopWatching()
{
    if (m_exitNotifier) {
        m_exitNotifier->setEnabled(false);
        m_exitNotifier->deleteLater();
        m_exitNotifier = nullptr;
    }
    if (m_pidFd >= 0)
        ::close(m_pidFd);
    m_pidFd = -1;
    if (m_pollTimer != 0)
        killTimer(m_pollTimer);
    m_pollTimer = 0;
}
