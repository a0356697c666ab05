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

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif

private:
    pid_t m_parentPid;
};
