#include "convert/ChildProcess.h"
#include "convert/ProcessPipe.h"
#include "tests/TestMedia.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

using Args = std::vector<std::string>;
Q_DECLARE_METATYPE(Args)

namespace
{

Args shell(const char *script)
{
    return {"sh", "-c", script};
}

// Run as a separate program by diesWithTheProgram(): starts a child, tells its pid, then waits to
// be killed.
int holdChild()
{
    ProcessPipe pipe;
    if (pipe.start(shell("echo $$; exec sleep 60")) != 0)
        return 1;
    char buffer[32] = {};
    uint32_t count = 0;
    if (pipe.read(buffer, sizeof buffer - 1, count, -1) != 0)
        return 1;
    std::fputs(buffer, stdout);
    std::fflush(stdout);
    pause();
    return 0;
}

} // namespace

class TestProcessPipe final : public QObject
{
    Q_OBJECT

private slots:
    void refusedStart_data();
    void refusedStart();
    void startWhileRunning();
    void childThatWritesNothing();
    void mergedStreams();
    void badBuffer();
    void terminate();
    void exitStatus_data();
    void exitStatus();
    void readWithoutWaiting();
    void standardInputIsEmpty();
    void argumentsIntact();
    void programDirectoryFirst();
    void diesWithTheProgram();
    void pauseNeedsAChild();
    void terminatePaused();
    void paceFollowsTheChild_data();
    void paceFollowsTheChild();
};

void TestProcessPipe::refusedStart_data()
{
    QTest::addColumn<Args>("arguments");
    QTest::addColumn<int>("result");
    QTest::newRow("no arguments") << Args{} << ProcessPipe::missingArgument;
    QTest::newRow("no program") << Args{"", "-c", "true"} << ProcessPipe::missingArgument;
    QTest::newRow("unknown program") << Args{"quellix-no-such-program"} << ProcessPipe::startFailed;
    QTest::newRow("not executable") << Args{"/dev/null"} << ProcessPipe::startFailed;
}

void TestProcessPipe::refusedStart()
{
    QFETCH(Args, arguments);
    QFETCH(int, result);
    ProcessPipe pipe;
    QCOMPARE(pipe.start(arguments), result);
    QVERIFY(!pipe.running());
    QCOMPARE(pipe.start(shell("echo ok")), 0);
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("ok\n"));
}

void TestProcessPipe::startWhileRunning()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("echo one; sleep 0.3; echo two")), 0);
    QCOMPARE(pipe.start(shell("echo other")), ProcessPipe::alreadyRunning);
    QVERIFY(pipe.running());
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("one\ntwo\n"));
}

void TestProcessPipe::childThatWritesNothing()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("exit 0")), 0);
    char buffer[16];
    uint32_t count = 7;
    QCOMPARE(pipe.read(buffer, sizeof buffer, count, -1), ProcessPipe::outputEnded);
    QVERIFY(!pipe.running());
    QCOMPARE(pipe.read(buffer, sizeof buffer, count, -1), ProcessPipe::notRunning);
}

void TestProcessPipe::mergedStreams()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("echo out; echo err >&2; echo out2")), 0);
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("out\nerr\nout2\n"));
}

void TestProcessPipe::badBuffer()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("echo data")), 0);
    char buffer[16];
    uint32_t count = 0;
    QCOMPARE(pipe.read(buffer, 0, count, -1), ProcessPipe::missingArgument);
    QCOMPARE(pipe.read(nullptr, sizeof buffer, count, -1), ProcessPipe::missingArgument);
    QVERIFY(pipe.running());
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("data\n"));
}

void TestProcessPipe::terminate()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.terminate(), ProcessPipe::nothingToTerminate);
    QCOMPARE(pipe.start(shell("echo started; exec sleep 30")), 0);
    QCOMPARE(pipe.terminate(), 0);
    QVERIFY(!pipe.running());
    char buffer[16];
    uint32_t count = 0;
    QCOMPARE(pipe.read(buffer, sizeof buffer, count, -1), ProcessPipe::notRunning);
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
    QCOMPARE(pipe.start(shell("echo again")), 0);
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("again\n"));
}

// The child's end is seen through a process descriptor, or at intervals on a kernel without one;
// either way it is reported without a read.
void TestProcessPipe::exitStatus_data()
{
    QTest::addColumn<bool>("descriptor");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("normal");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("signal");
    for (const bool descriptor : {true, false}) {
        const char *seen = descriptor ? "descriptor" : "intervals";
        QTest::addRow("success, %s", seen) << descriptor << QByteArray("echo x") << true << 0 << 0;
        QTest::addRow("status 3, %s", seen)
            << descriptor << QByteArray("echo x; exit 3") << true << 3 << 0;
        QTest::addRow("killed, %s", seen)
            << descriptor << QByteArray("echo x; kill -KILL $$") << false << 0 << 9;
        QTest::addRow("terminated, %s", seen)
            << descriptor << QByteArray("kill -TERM $$") << false << 0 << 15;
    }
}

void TestProcessPipe::exitStatus()
{
    QFETCH(bool, descriptor);
    QFETCH(QByteArray, script);
    ChildProcess::setProcessDescriptorsAllowed(descriptor);
    ProcessPipe pipe;
    QSignalSpy ended(&pipe, &ProcessPipe::ended);
    const int started = pipe.start(shell(script.constData()));
    const bool seen = ended.wait(10000);
    ChildProcess::setProcessDescriptorsAllowed(true);
    QCOMPARE(started, 0);
    QVERIFY(seen);
    TestMedia::readToEnd(pipe);
    QCOMPARE(ended.size(), 1);
    QTEST(pipe.lastExitedNormally(), "normal");
    QTEST(pipe.lastExitCode(), "code");
    QTEST(pipe.lastSignal(), "signal");
}

void TestProcessPipe::readWithoutWaiting()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("exec sleep 5")), 0);
    char buffer[16];
    uint32_t count = 9;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(pipe.read(buffer, sizeof buffer, count, 0), 0);
    QCOMPARE(count, 0u);
    QCOMPARE(pipe.read(buffer, sizeof buffer, count, 50), 0);
    QVERIFY2(clock.elapsed() < 1000, "a read that may not wait blocked");
    QVERIFY(pipe.running());
    QCOMPARE(pipe.terminate(), 0);
}

void TestProcessPipe::standardInputIsEmpty()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("cat; echo end")), 0);
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("end\n"));
}

void TestProcessPipe::argumentsIntact()
{
    const Args odd = {"a b", "$HOME", "`id`", "-x", "\"q\" 'r'", "视频;|&", ""};
    Args arguments = shell("for a in \"$@\"; do printf '<%s>' \"$a\"; done");
    arguments.push_back("sh");
    arguments.insert(arguments.end(), odd.begin(), odd.end());
    ProcessPipe pipe;
    QCOMPARE(pipe.start(arguments), 0);
    QCOMPARE(QString::fromUtf8(TestMedia::readToEnd(pipe)),
             QStringLiteral("<a b><$HOME><`id`><-x><\"q\" 'r'><视频;|&><>"));
}

void TestProcessPipe::programDirectoryFirst()
{
    TestMedia media;
    const QString name = QStringLiteral("quellix-lookup-probe");
    const QString local = QCoreApplication::applicationDirPath() + "/" + name;
    QVERIFY(media.installStandIn("echo unused"));
    QVERIFY(TestMedia::writeScript(media.path("bin/" + name), "echo from-path"));

    ProcessPipe pipe;
    QCOMPARE(pipe.start({name.toStdString()}), 0);
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("from-path\n"));

    QVERIFY(TestMedia::writeScript(local, "echo from-program-dir"));
    const int result = pipe.start({name.toStdString()});
    const QByteArray output = TestMedia::readToEnd(pipe);
    QFile::remove(local);
    QCOMPARE(result, 0);
    QCOMPARE(output, QByteArray("from-program-dir\n"));
}

void TestProcessPipe::diesWithTheProgram()
{
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-child")});
    QVERIFY(holder.waitForReadyRead(10000));
    const qint64 child = holder.readLine().trimmed().toLongLong();
    QVERIFY(child > 0);
    QVERIFY(!TestMedia::processGone(child));
    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::processGone(child), 5000);
}

void TestProcessPipe::pauseNeedsAChild()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.pause(), ProcessPipe::notRunning);
    QCOMPARE(pipe.resume(), ProcessPipe::notRunning);
    QCOMPARE(pipe.start(shell("echo done")), 0);
    QCOMPARE(TestMedia::readToEnd(pipe), QByteArray("done\n"));
    QCOMPARE(pipe.pause(), ProcessPipe::notRunning);
    QVERIFY(!pipe.paused());
}

void TestProcessPipe::terminatePaused()
{
    ProcessPipe pipe;
    QCOMPARE(pipe.start(shell("exec sleep 30")), 0);
    QTRY_VERIFY(TestMedia::childNamed("sleep") > 0);
    const qint64 pid = TestMedia::childNamed("sleep");
    QCOMPARE(pipe.pause(), 0);
    QTRY_COMPARE(TestMedia::processState(pid), 'T');
    QCOMPARE(pipe.terminate(), 0);
    QVERIFY(!pipe.paused());
    // Ended and reaped: not even a zombie is left.
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
    QCOMPARE(pipe.resume(), ProcessPipe::notRunning);
}

void TestProcessPipe::paceFollowsTheChild_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("chatty");
    QTest::newRow("a line every 50 ms") << QByteArray("for i in 0 1 2 3 4 5 6 7 8 9; do echo line "
                                                      "$i; sleep 0.05; done")
                                        << 70 << false;
    // Bursts of a full pipe with breaks between them, so that no single read can go on until the
    // child's end, however slow the reader.
    QTest::newRow("64 KiB every 20 ms")
        << QByteArray("i=0; while [ $i -lt 16 ]; do head -c 65536 /dev/zero; sleep 0.02; "
                      "i=$((i+1)); done")
        << 16 * 65536 << true;
}

// An owner that looks every 200 ms reads a quiet child only then, and a chatty one as it writes,
// so that it never waits on a full pipe; either way nothing is lost.
void TestProcessPipe::paceFollowsTheChild()
{
    QFETCH(QByteArray, script);
    ProcessPipe pipe;
    int waiting = 0;
    int received = 0;
    bool ended = false;
    const auto drain = [&] {
        char buffer[8192];
        uint32_t count = 0;
        int result = 0;
        while (!ended && (result = pipe.read(buffer, sizeof buffer, count, 0)) == 0 && count > 0)
            received += int(count);
        ended = ended || result == ProcessPipe::outputEnded;
    };
    connect(&pipe, &ProcessPipe::outputWaiting, this, [&] {
        ++waiting;
        drain();
    });
    connect(&pipe, &ProcessPipe::ended, this, drain);
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, drain);
    poll.start(200);
    QCOMPARE(pipe.start(shell(script.constData())), 0);
    QTRY_VERIFY_WITH_TIMEOUT(ended, 30000);
    QTEST(received, "bytes");
    QTEST(waiting > 0, "chatty");
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--hold-child") == 0)
        return holdChild();
    TestProcessPipe test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_processpipe.moc"
