#include "batch/DiskSpaceGuard.h"
#include "batch/FreeSpace.h"
#include "convert/ProcessPipe.h"
#include "tests/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/statvfs.h>
#include <unistd.h>

namespace
{

constexpr qint64 mib = FreeSpace::mebibyte;

// Writes `bytes` real bytes (a memory file system gives no room to a sparse file).
bool fill(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(int(mib), 'x');
    for (qint64 left = bytes; left > 0; left -= block.size())
        if (file.write(block.constData(), qMin<qint64>(left, block.size())) < 0)
            return false;
    return file.flush();
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

class TestDiskSpace final : public QObject
{
    Q_OBJECT

private slots:
    void limit_data();
    void limit();
    void measure();
    void unusableFolder_data();
    void unusableFolder();
    void guardPausesTheTranscoder();
};

void TestDiskSpace::limit_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("limit");
    QTest::newRow("size unknown") << qint64(0) << qint64(0);
    QTest::newRow("32 MiB: a quarter") << 32 * mib << 8 * mib;
    QTest::newRow("64 MiB: the floor, a quarter") << 64 * mib << 16 * mib;
    QTest::newRow("200 MiB: the floor") << 200 * mib << 16 * mib;
    QTest::newRow("1 GiB: a twentieth") << 1024 * mib << 1024 * mib / 20;
    QTest::newRow("10 GiB: a twentieth") << 10240 * mib << 512 * mib;
    QTest::newRow("20 GiB: the ceiling") << 20480 * mib << 1024 * mib;
    QTest::newRow("4 TiB: the ceiling") << qint64(4) * 1024 * 1024 * mib << 1024 * mib;
}

void TestDiskSpace::limit()
{
    QFETCH(qint64, total);
    QTEST(FreeSpace::limitFor(total), "limit");
}

void TestDiskSpace::measure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qint64 available = -1;
    qint64 total = -1;
    QCOMPARE(FreeSpace::measure(dir.path(), available, total), 0);
    struct statvfs figures {
    };
    QCOMPARE(statvfs(QFile::encodeName(dir.path()).constData(), &figures), 0);
    // What this user may write, the superuser's reserve left out; others write meanwhile.
    const qint64 userAvailable = qint64(figures.f_bavail) * qint64(figures.f_frsize);
    QVERIFY2(qAbs(available - userAvailable) < 64 * mib,
             qPrintable(QStringLiteral("%1 against %2").arg(available).arg(userAvailable)));
    QCOMPARE(total, qint64(figures.f_blocks) * qint64(figures.f_frsize));
}

void TestDiskSpace::unusableFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing/deeper";
    QTest::newRow("a file") << "file";
}

void TestDiskSpace::unusableFolder()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(fill(dir.filePath("file"), 10));
    qint64 available = -1;
    qint64 total = -1;
    QCOMPARE(FreeSpace::measure(dir.filePath(name), available, total), FreeSpace::folderUnusable);
    QCOMPARE(available, qint64(0));
    DiskSpaceGuard guard;
    QCOMPARE(guard.start(dir.filePath(name)), FreeSpace::folderUnusable);
    QVERIFY(!guard.running());
}

// A real conversion writing into a 64 MiB memory file system that has too little room for its
// output: the guard pauses it before the file system is full, and it finishes once room is made.
void TestDiskSpace::guardPausesTheTranscoder()
{
    QTemporaryDir mountPoint;
    QVERIFY(mountPoint.isValid());
    const QString folder = mountPoint.path();
    if (geteuid() != 0 || !run("mount", {"-t", "tmpfs", "-o", "size=64m", "quellix-test", folder}))
        QSKIP("mounting a memory file system needs root");
    const auto unmount = qScopeGuard([&] { run("umount", {"-l", folder}); });

    // 24 MiB left, and the limit 16 MiB: the guard steps in after about 8 MiB.
    const QString filler = folder + "/filler";
    QVERIFY(fill(filler, 40 * mib));
    qint64 available = 0;
    qint64 total = 0;
    QCOMPARE(FreeSpace::measure(folder, available, total), 0);
    QCOMPARE(total, 64 * mib);
    QCOMPARE(FreeSpace::limitFor(total), 16 * mib);
    QVERIFY(available > 20 * mib);

    ProcessPipe pipe;
    DiskSpaceGuard guard;
    guard.setInterval(100);
    QSignalSpy low(&guard, &DiskSpaceGuard::spaceLow);
    QSignalSpy recovered(&guard, &DiskSpaceGuard::spaceRecovered);
    connect(&guard, &DiskSpaceGuard::spaceLow, &pipe, [&pipe] { pipe.pause(); });
    connect(&guard, &DiskSpaceGuard::spaceRecovered, &pipe, [&pipe] { pipe.resume(); });
    QCOMPARE(guard.start(folder), 0);
    QVERIFY(!guard.low());

    // Four seconds of raw 640x360 pictures at their own pace: 8.6 MB a second, 34.6 MB in all,
    // more than there is room for.
    const QString output = folder + "/out.nut";
    QCOMPARE(
        pipe.start({"ffmpeg", "-nostdin", "-nostats", "-loglevel", "error", "-re", "-f", "lavfi",
                    "-i", "testsrc=size=640x360:rate=25:duration=4", "-c:v", "rawvideo", "-pix_fmt",
                    "yuv420p", "-f", "nut", "-y", output.toStdString()}),
        0);
    QTRY_VERIFY_WITH_TIMEOUT(pipe.paused(), 15000);
    QCOMPARE(low.count(), 1);
    QVERIFY(low.at(0).at(0).toLongLong() < 16 * mib);
    QCOMPARE(low.at(0).at(1).toLongLong(), 16 * mib);

    // Stopped with room to spare, and nothing more is written while it waits.
    QCOMPARE(FreeSpace::measure(folder, available, total), 0);
    QVERIFY2(available > 8 * mib, qPrintable(QString::number(available)));
    const qint64 written = QFileInfo(output).size();
    QTest::qWait(1000);
    QCOMPARE(QFileInfo(output).size(), written);
    QCOMPARE(low.count(), 1); // said once, though every check since found it low
    QVERIFY(guard.low());

    QVERIFY(QFile::remove(filler));
    QTRY_COMPARE(recovered.count(), 1);
    QVERIFY(!pipe.paused());

    char buffer[4096];
    uint32_t count = 0;
    QByteArray messages;
    int result = 0;
    while ((result = pipe.read(buffer, sizeof buffer, count, -1)) == 0)
        messages.append(buffer, int(count));
    QCOMPARE(result, ProcessPipe::outputEnded);
    QVERIFY2(pipe.lastExitedNormally() && pipe.lastExitCode() == 0, messages.constData());
    QVERIFY(QFileInfo(output).size() > qint64(34000000));
    QVERIFY(qAbs(TestMedia::probeDuration(output) - 4.0) < 0.1);
    QVERIFY(TestMedia::decodesCleanly(output));
    guard.stop();
}

QTEST_GUILESS_MAIN(TestDiskSpace)

#include "test_diskspace.moc"
