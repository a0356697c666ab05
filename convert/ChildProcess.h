#pragma once

#include <QProcess>

#include <sys/types.h>

// A process that does not outlive the program that started it: the kernel kills the child when
// its parent dies, even when the parent is killed itself.
class ChildProcess final : public QProcess
{
    Q_OBJECT

public:
    // How long an owner waits for a killed child to be reaped.
    static constexpr int reapWaitMs = 1000;

    explicit ChildProcess(QObject *parent = nullptr);

    // The program file for `name`: a name without a directory is looked up next to the running
    // program first, then in PATH; empty when there is none.
    static QString findProgram(const QString &name);

    // The child writes its standard output and standard error into `fd` (a descriptor of the
    // parent's, at least 3) instead of the channels QProcess sets up; -1 keeps those.
    void setOutputDescriptor(int fd) { m_outputFd = fd; }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif

private:
    void prepareChild() const;

    pid_t m_parentPid;
    int m_outputFd = -1;
};
