#pragma once

#include <QProcess>

#include <sys/types.h>

// A process that does not outlive the program that started it: the kernel kills the child when
// its parent dies, even when the parent is killed itself.
class ChildProcess final : public QProcess
{
    Q_OBJECT

public:
    explicit ChildProcess(QObject *parent = nullptr);

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif

private:
    pid_t m_parentPid;
};
