#include "convert/ChildProcess.h"
#include "tests/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace
{

const QString shell = QStringLiteral("/bin/sh");

// What was written into a memory file from its start.
QByteArray written(int fd)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !file.seek(0))
        return "(unreadable)";
    return file.readAll();
}

// This process's descriptors that a child started by exec keeps.
QSet<int> inheritedDescriptors()
{
    QSet<int> kept{STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    const QStringList names = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files);
    for (const QString &name : names) {
        const int fd = name.toInt();
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            kept.insert(fd);
    }
    return kept;
}

} // namespace

class TestChildProcess final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void standardStreams_data();
    void standardStreams();
    void refusedStart_data();
    void refusedStart();
    void onlyTheStandardStreamsReachTheChild();
    void waitsAndKills();
    void destroyedWhileRunning();
};

void TestChildProcess::cleanup()
{
    ChildProcess::setProcessDescriptorsAllowed(true);
    QTRY_VERIFY(TestMedia::childPids().isEmpty());
}

// Each stream goes where it was sent; one not sent anywhere is lost, not the caller's own.
void TestChildProcess::standardStreams_data()
{
    QTest::addColumn<bool>("output");
    QTest::addColumn<bool>("error");
    QTest::addColumn<bool>("merged");
    QTest::addColumn<QByteArray>("toOutput");
    QTest::addColumn<QByteArray>("toError");
    QTest::newRow("apart") << true << true << false << QByteArray("out\n") << QByteArray("err\n");
    QTest::newRow("merged") << true << true << true << QByteArray("out\nerr\n") << QByteArray();
    QTest::newRow("output only") << true << false << false << QByteArray("out\n") << QByteArray();
    QTest::newRow("error only") << false << true << false << QByteArray() << QByteArray("err\n");
}

void TestChildProcess::standardStreams()
{
    QFETCH(bool, output);
    QFETCH(bool, error);
    QFETCH(bool, merged);
    const int outputFd = ::memfd_create("output", MFD_CLOEXEC);
    const int errorFd = merged ? outputFd : ::memfd_create("error", MFD_CLOEXEC);
    ChildProcess child;
    QSignalSpy finished(&child, &ChildProcess::finished);
    const bool started = child.start(shell, {"-c", "echo out; echo err >&2; exit 4"},
                                     output ? outputFd : -1, error ? errorFd : -1);
    const bool ended = started && child.waitForFinished(10000);
    const QByteArray toOutput = written(outputFd);
    const QByteArray toError = merged ? QByteArray() : written(errorFd);
    ::close(outputFd);
    if (!merged)
        ::close(errorFd);
    QVERIFY(ended);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(child.exitCode(), 4);
    QTEST(toOutput, "toOutput");
    QTEST(toError, "toError");
}

void TestChildProcess::refusedStart_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("missing") << QStringLiteral("/nonexistent/quellix-program");
    QTest::newRow("not executable") << QStringLiteral("/dev/null");
    QTest::newRow("a folder") << QStringLiteral("/tmp");
}

// A program that cannot run leaves neither a child nor a zombie, and the object starts the next.
void TestChildProcess::refusedStart()
{
    QFETCH(QString, program);
    ChildProcess child;
    QSignalSpy finished(&child, &ChildProcess::finished);
    QVERIFY(!child.start(program, {}, -1, -1));
    QVERIFY(!child.running());
    QVERIFY(TestMedia::childPids().isEmpty());
    QVERIFY(child.start(shell, {"-c", "exit 0"}, -1, -1));
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(finished.size(), 1);
    QVERIFY(child.exitedNormally());
}

// Descriptors the program opened close-on-exec (its pipes, the copies made for the child, the
// process descriptor) stay out of the child.
void TestChildProcess::onlyTheStandardStreamsReachTheChild()
{
    const int outputFd = ::memfd_create("output", MFD_CLOEXEC);
    ChildProcess child;
    QVERIFY(child.start(QStringLiteral("/bin/ls"), {"/proc/self/fd"}, outputFd, -1));
    QVERIFY(child.waitForFinished(10000));
    const QByteArray listing = written(outputFd);
    ::close(outputFd);
    const QSet<int> kept = inheritedDescriptors();
    QSet<int> seen;
    for (const QByteArray &name : listing.split('\n')) {
        if (!name.isEmpty())
            seen.insert(name.toInt());
    }
    // ls opens the listed folder itself: one descriptor more than it was given.
    seen.subtract(kept);
    QVERIFY2(seen.size() <= 1, listing.constData());
}

// The end is seen through the process descriptor and, without one, at intervals.
void TestChildProcess::waitsAndKills()
{
    for (const bool descriptor : {true, false}) {
        ChildProcess::setProcessDescriptorsAllowed(descriptor);
        ChildProcess child;
        QSignalSpy finished(&child, &ChildProcess::finished);
        QVERIFY(child.start(shell, {"-c", "exec sleep 30"}, -1, -1));
        QVERIFY(!child.waitForFinished(100));
        QVERIFY(child.running());
        const pid_t pid = child.processId();
        QVERIFY(!TestMedia::processGone(pid));
        child.kill();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QVERIFY(!child.running());
        QVERIFY(!child.exitedNormally());
        QCOMPARE(child.exitSignal(), SIGKILL);
        QVERIFY(TestMedia::childPids().isEmpty());
    }
}

void TestChildProcess::destroyedWhileRunning()
{
    pid_t pid = 0;
    {
        ChildProcess child;
        QVERIFY(child.start(shell, {"-c", "exec sleep 30"}, -1, -1));
        pid = child.processId();
    }
    // Killed and reaped: no zombie is left either.
    QVERIFY(TestMedia::processGone(pid));
    QVERIFY(!TestMedia::childPids().contains(pid));
}

QTEST_GUILESS_MAIN(TestChildProcess)
#include "test_childprocess.moc"
