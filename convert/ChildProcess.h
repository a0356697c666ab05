#pragma once

#include <QObject>
#include <QStringList>

#include <sys/types.h>

class QSocketNotifier;

// A program run as a child that does not outlive the program that started it: the kernel kills
// the child when its parent dies, even when the parent is killed itself. Unlike QProcess it does
// not copy the window's address space to start one (the child shares it until it has started
// the program), and it reads nothing: the child writes into descriptors its owner hands over.
class ChildProcess final : public QObject
{
    Q_OBJECT

public:
    // How long an owner waits for a killed child to be reaped.
    static constexpr int reapWaitMs = 1000;

    explicit ChildProcess(QObject *parent = nullptr);
    // Kills a child that still runs and reaps it.
    ~ChildProcess() override;

    // The program file for `name`: a name without a directory is looked up next to the running
    // program first, then in PATH; empty when there is none.
    static QString findProgram(const QString &name);

    // Starts `program` (a path) with `arguments`. Its standard input reads nothing; its standard
    // output goes to `outputFd` and its standard error to `errorFd` (descriptors of the caller,
    // -1 for nothing). False when it could not be started, or a child runs already.
    bool start(const QString &program, const QStringList &arguments, int outputFd, int errorFd);

    bool running() const { return m_pid > 0; }
    pid_t processId() const { return m_pid; }
    // SIGKILL to a running child; finished() follows when it has been reaped.
    void kill();
    // Until the child has ended and been reaped (finished() is emitted), or `ms` passed: whether
    // no child runs any more.
    bool waitForFinished(int ms);

    // How the last child ended: its exit code, or the signal that killed it.
    bool exitedNormally() const { return m_exitedNormally; }
    int exitCode() const { return m_exitCode; }
    int exitSignal() const { return m_exitSignal; }

    // Tests only: watch for the child's end without a process descriptor, as on a kernel that
    // has none.
    static void setProcessDescriptorsAllowed(bool allowed);

signals:
    void finished();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void watchExit();
    void reap();
    void stopWatching();

    pid_t m_pid = 0;
    int m_pidFd = -1;
    QSocketNotifier *m_exitNotifier = nullptr;
    int m_pollTimer = 0;
    bool m_exitedNormally = true;
    int m_exitCode = 0;
    int m_exitSignal = 0;
};
