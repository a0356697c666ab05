#include "convert/ConversionJob.h"
#include "convert/OutputName.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

namespace
{

constexpr int conversionTimeoutMs = 120000;

const QByteArray durationLine = "  Duration: 00:00:10.00, start: 0.000000, bitrate: 9 kb/s\n";
// What every run that succeeds leaves: its output file, the last argument.
const QByteArray writesOutput = "for last; do :; done; printf data > \"$last\"\n";
const QByteArray halfWayLine =
    "frame=   50 fps=0.0 q=28.0 size=   1kB time=00:00:05.00 bitrate= 1.6kbits/s speed=10x\r";

std::string utf8(const QString &text)
{
    return text.toStdString();
}

// Waits for the end of the run that the job has started.
bool finishes(ConversionJob &job, int timeoutMs = conversionTimeoutMs)
{
    QSignalSpy done(&job, &ConversionJob::finished);
    return job.convertState() != Converting || done.wait(timeoutMs);
}

// The pass of the transcoder the job runs: 1 or 2 for a two-pass encoder, 0 for none or one.
int runningPass()
{
    const QList<qint64> children = TestMedia::childPids();
    if (children.size() != 1)
        return 0;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(children.first()));
    if (!cmdline.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> arguments = cmdline.readAll().split('\0');
    const int at = int(arguments.indexOf("-pass"));
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toInt() : 0;
}

} // namespace

// One file's conversion on its own: the runs, what they tell and the verdict, with a scripted
// stand-in transcoder for what the real one will not do on demand, and with the real one.
class TestConversionJob final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void setInput_data();
    void setInput();
    void outputNames_data();
    void outputNames();
    void scriptedRuns_data();
    void scriptedRuns();
    void probeFailures_data();
    void probeFailures();
    void cancelWhileProbing();
    void probedAhead();
    void declaredLength_data();
    void declaredLength();
    void busyWithoutDuration_data();
    void busyWithoutDuration();
    void fullDiskWhenFinishing_data();
    void fullDiskWhenFinishing();
    void windowKeepsTurningWhileSilent();
    void endIsTakenAtOnce();
    void floodDoesNotStallTheTranscoder();
    void positionPastTheDuration();
    void stateRules();
    void destroyedWhileConverting();

    void containers_data();
    void containers();
    void failures_data();
    void failures();
    void cancelMidRun();
    void pauseMidRun();
    void pausedBeforeTheTranscoder_data();
    void pausedBeforeTheTranscoder();
    void hostileFileName();
    void twoPasses_data();
    void twoPasses();

private:
    // A stand-in prober next to the stand-in transcoder, found first in PATH until cleanup().
    bool installProber(const QByteArray &body);
    // Binds a fresh job to `input` with the given container and default qualities.
    bool bind(ConversionJob &job, const QString &input, int vc = 0);

    TestMedia media;
    QString clip;
    QString longClip;
    // The output folder of the running test function.
    std::string outDir;
};

void TestConversionJob::initTestCase()
{
    initParamTables();
    QVERIFY(media.isValid());
    QVERIFY(media.makeClip(QStringLiteral("clip.mp4"), 2));
    clip = media.path(QStringLiteral("clip.mp4"));
    QVERIFY(media.makeClip(QStringLiteral("long.mp4"), 40, QStringLiteral("640x360")));
    longClip = media.path(QStringLiteral("long.mp4"));
}

void TestConversionJob::init()
{
    const QString out = media.path(QString::fromUtf8(QTest::currentTestFunction()) + "-" +
                                   QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(out));
    outDir = utf8(out);
}

void TestConversionJob::cleanup()
{
    QFile::remove(media.path(QStringLiteral("bin/ffprobe")));
    media.restorePath();
}

bool TestConversionJob::installProber(const QByteArray &body)
{
    return TestMedia::writeScript(media.path(QStringLiteral("bin/ffprobe")), body);
}

bool TestConversionJob::bind(ConversionJob &job, const QString &input, int vc)
{
    return job.setInput(utf8(input), makeAVSettings(vc, QualityMedium, QualityMedium)) == 0;
}

void TestConversionJob::setInput_data()
{
    QTest::addColumn<int>("bytes");
    QTest::newRow("one and a half megabytes") << 1572864;
    QTest::newRow("empty") << 0;
}

void TestConversionJob::setInput()
{
    QFETCH(int, bytes);
    const QString path = media.makeFile(QStringLiteral("sized 文件.avi"), bytes);
    QVERIFY(!path.isEmpty());

    ConversionJob job;
    QCOMPARE(job.setInput(utf8(path), makeAVSettings(2, 0, 0)), 0);
    QCOMPARE(job.inputBytes(), qint64(bytes));
    QCOMPARE(job.fileName(), QStringLiteral("sized 文件.avi"));
    QCOMPARE(job.inputPath(), utf8(path));
    QCOMPARE(job.settings().vc, 2);
    QCOMPARE(job.convertState(), int(Waiting));

    // A missing file changes nothing.
    QCOMPARE(job.setInput(utf8(media.path(QStringLiteral("gone.mp4"))), makeAVSettings(0, 1, 1)),
             -202);
    QCOMPARE(job.inputPath(), utf8(path));
    QCOMPARE(job.settings().vc, 2);
}

void TestConversionJob::outputNames_data()
{
    QTest::addColumn<QString>("inputName");
    QTest::addColumn<int>("vc");
    QTest::addColumn<QStringList>("takenNames"); // in the output folder
    QTest::addColumn<bool>("linkToInput");       // the first name is a link to the input
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("appearsMeanwhile");
    QTest::newRow("unknown container keeps extension")
        << "clip.mkv" << 9 << QStringList() << false << "Quellix转码-clip.mkv" << QString();
    QTest::newRow("last extension replaced")
        << "a.b.avi" << 0 << QStringList() << false << "Quellix转码-a.b.mp4" << QString();
    QTest::newRow("no extension") << "noext" << 9 << QStringList() << false << "Quellix转码-noext."
                                  << QString();
    QTest::newRow("taken by another job") << "clip.mkv" << 3 << QStringList{"Quellix转码-clip.wmv"}
                                          << false << "Quellix转码-clip (2).wmv" << QString();
    QTest::newRow("first free number")
        << "clip.mkv" << 1 << QStringList{"Quellix转码-clip.flv", "Quellix转码-clip (2).flv"}
        << false << "Quellix转码-clip (3).flv" << QString();
    QTest::newRow("link to the input")
        << "clip.mkv" << 0 << QStringList() << true << "Quellix转码-clip (2).mp4" << QString();
    QTest::newRow("final name appears during the run")
        << "clip.mkv" << 0 << QStringList() << false << "Quellix转码-clip (2).mp4"
        << "Quellix转码-clip.mp4";
}

void TestConversionJob::outputNames()
{
    QFETCH(QString, inputName);
    QFETCH(int, vc);
    QFETCH(QStringList, takenNames);
    QFETCH(bool, linkToInput);
    const QString argsFile = media.path(QStringLiteral("arguments.txt"));
    QVERIFY(media.installStandIn(writesOutput + "printf '%s\\n' \"$@\" > '" + argsFile.toUtf8() +
                                 "'; echo 'kb/s:'"));
    const QString input = media.path(inputName);
    QVERIFY(QFile(input).open(QIODevice::WriteOnly));
    const QString out = QString::fromStdString(outDir);
    if (linkToInput)
        QVERIFY(QFile::link(input, out + "/Quellix转码-" + QFileInfo(inputName).completeBaseName() +
                                       ".mp4"));
    TakenFiles taken;
    for (const QString &name : takenNames)
        taken.add(FileIdentity::of(out + "/" + name));

    ConversionJob job;
    QVERIFY(bind(job, input, vc));
    QCOMPARE(job.start(outDir, taken), 0);
    // Written under a hidden name of the program's own, of the same type.
    const QFileInfo written(QString::fromStdString(job.outputPath()));
    QVERIFY2(isTempOutputName(written.fileName()), qPrintable(written.fileName()));
    QCOMPARE(written.absolutePath(), out);
    // A file that takes the final name while the job runs is never replaced.
    QFETCH(QString, appearsMeanwhile);
    if (!appearsMeanwhile.isEmpty()) {
        QFile other(out + "/" + appearsMeanwhile);
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("mine") == 4);
    }
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    const QFileInfo output(QString::fromStdString(job.outputPath()));
    QTEST(output.fileName(), "expected");
    QCOMPARE(output.absolutePath(), out);
    QCOMPARE(written.suffix(), output.suffix());
    QVERIFY(!written.exists());
    if (!appearsMeanwhile.isEmpty()) {
        QFile other(out + "/" + appearsMeanwhile);
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(other.readAll(), QByteArray("mine"));
    }

    QFile file(argsFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList arguments = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(arguments.value(1), QStringLiteral("-i"));
    QCOMPARE(arguments.value(2), QFileInfo(input).absoluteFilePath());
    QCOMPARE(arguments.last(), written.absoluteFilePath());
}

// How the job reads a real pipe and keeps what its report says; the report's verdicts on every
// kind of output are the transcoder report suite's.
void TestConversionJob::scriptedRuns_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("errorText"); // @OUT@ stands for the output path
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("progress");
    const QByteArray progress = "printf '" + durationLine + halfWayLine + "'; ";
    QTest::newRow("progress then success")
        << writesOutput + progress + "sleep 0.3" << int(Done) << QString() << QString() << 100;
    QTest::newRow("killed after progress")
        << progress + "echo 'Press [q] to stop, [?] for help'; sleep 0.3; kill -KILL $$"
        << int(Failed) << "转码程序被信号 9 终止\n"
        << QString() << 50;
    // The disk fills up while the file is finished: the status says nothing, the text does.
    QTest::newRow("full disk when finishing, clean exit")
        << writesOutput + progress +
               "printf 'Error writing trailer of %s: No space left on device\\n' \"$last\"; "
               "echo 'video:1kB audio:1kB muxing overhead: unknown'; "
               "printf 'Error closing file %s: No space left on device\\n' \"$last\""
        << int(Failed)
        << "磁盘空间不足，输出文件没有写完整！\nError writing trailer of @OUT@: No space left on "
           "device\n"
        << QString() << 50;
    // A chunk holds at most 8191 bytes: 8185 bytes of padding (its line break included) cut the
    // pattern in two.
    QTest::newRow("pattern cut between chunks")
        << QByteArray(
               "head -c 8184 /dev/zero | tr '\\0' x; echo; echo 'No such file or directory'; "
               "sleep 0.5; exit 1")
        << int(Failed) << "转码程序异常退出，退出码：1\nNo such file or directory\n"
        << QString() << 0;
    QTest::newRow("pattern whole in one chunk")
        << QByteArray(
               "head -c 8099 /dev/zero | tr '\\0' x; echo; echo 'No such file or directory'; "
               "sleep 0.5; exit 1")
        << int(Failed) << "文件或文件夹不存在！\n"
        << QString() << 0;
}

void TestConversionJob::scriptedRuns()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, errorText);
    QVERIFY(media.installStandIn(script));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(outDir), 0);
    QCOMPARE(job.convertState(), int(Converting));
    QVERIFY(finishes(job));
    QCOMPARE(done.count(), 1);
    QTEST(job.convertState(), "state");
    errorText.replace(QStringLiteral("@OUT@"), QString::fromStdString(job.outputPath()));
    QCOMPARE(QString::fromStdString(job.errorText()), errorText);
    QTEST(QString::fromStdString(job.note()), "note");
    QTEST(job.progress(), "progress");
    QVERIFY(!job.isBusy());
}

void TestConversionJob::busyWithoutDuration_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("run ends") << false;
    QTest::newRow("run cancelled") << true;
}

// A prober that dies fails the file with a reason and the transcoder never runs; one that refuses
// the file leaves the verdict to the transcoder, whose words the user knows.
void TestConversionJob::probeFailures_data()
{
    QTest::addColumn<QByteArray>("prober");
    QTest::addColumn<bool>("transcoderRuns");
    QTest::addColumn<QString>("errorText");
    QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << false
                             << QStringLiteral("无法读取源文件信息：分析程序异常退出\n");
    QTest::newRow("refuses the file")
        << QByteArray("echo \"$7: Invalid data found when processing input\" >&2; exit 1") << true
        << QStringLiteral("未识别的输入文件格式！\n");
}

void TestConversionJob::probeFailures()
{
    QFETCH(QByteArray, prober);
    QFETCH(bool, transcoderRuns);
    QFETCH(QString, errorText);
    const QString marker = media.path(QStringLiteral("transcoder-ran"));
    QFile::remove(marker);
    QVERIFY(media.installStandIn("touch '" + marker.toUtf8() +
                                 "'; echo 'x: Invalid data found when processing input'; exit 1"));
    QVERIFY(installProber(prober));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    QSignalSpy finished(&job, &ConversionJob::finished);
    QCOMPARE(job.start(outDir), 0);
    QCOMPARE(job.convertState(), int(Converting));
    QVERIFY(finished.wait(conversionTimeoutMs));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(QString::fromStdString(job.errorText()), errorText);
    QCOMPARE(QFile::exists(marker), transcoderRuns);
}

void TestConversionJob::cancelWhileProbing()
{
    const QString marker = media.path(QStringLiteral("transcoder-ran"));
    QFile::remove(marker);
    QVERIFY(media.installStandIn("touch '" + marker.toUtf8() + "'"));
    QVERIFY(installProber("exec sleep 30"));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    QSignalSpy finished(&job, &ConversionJob::finished);
    QCOMPARE(job.start(outDir), 0);
    QTRY_COMPARE(TestMedia::childPids().size(), 1);
    QVERIFY(job.isBusy());
    QCOMPARE(job.start(outDir), -103);
    QCOMPARE(job.cancel(), 0);
    QCOMPARE(job.convertState(), int(Cancelled));
    QVERIFY(!job.isBusy());
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(300);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!QFile::exists(marker));
}

// A probe made while the job waits is what its start goes by: no second probe runs, and a prober
// that died ahead still fails the run, once the start has returned.
void TestConversionJob::probedAhead()
{
    QVERIFY(media.installStandIn(writesOutput + "echo 'kb/s:'"));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    job.probeAhead();
    QCOMPARE(job.convertState(), int(Waiting));
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(50);
    QVERIFY(installProber("kill -SEGV $$"));
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));

    ConversionJob doomed;
    QVERIFY(bind(doomed, clip));
    doomed.probeAhead();
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(50);
    QSignalSpy finished(&doomed, &ConversionJob::finished);
    QCOMPARE(doomed.start(outDir), 0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(finished.wait());
    QCOMPARE(doomed.convertState(), int(Failed));
    QCOMPARE(doomed.errorText(), std::string("无法读取源文件信息：分析程序异常退出\n"));
}

// The real prober's declared length stands in for a missing Duration line, and decides whether a
// Done run warns that the source ended early.
void TestConversionJob::declaredLength_data()
{
    QTest::addColumn<bool>("declares");
    QTest::addColumn<QByteArray>("position");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("warning");
    QTest::newRow("a quarter") << true << QByteArray("00:00:10.00") << 25
                               << QStringLiteral("源文件可能不完整：只转换了 10 秒（共 40 秒）");
    QTest::newRow("all but half a second") << true << QByteArray("00:00:39.50") << 97 << QString();
    QTest::newRow("no length declared") << false << QByteArray("00:00:10.00") << 0 << QString();
}

void TestConversionJob::declaredLength()
{
    QFETCH(bool, declares);
    QFETCH(QByteArray, position);
    QFETCH(int, progress);
    QFETCH(QString, warning);
    const QString marker = media.path(QStringLiteral("position-written"));
    QFile::remove(marker);
    QVERIFY(media.installStandIn(writesOutput + "printf 'frame=  9 time=" + position +
                                 " bitrate=1k speed=1x\\r'; touch '" + marker.toUtf8() +
                                 "'; sleep 0.5"));
    ConversionJob job;
    QVERIFY(bind(job, declares ? longClip : media.makeFile(QStringLiteral("unknown.mp4"), 100)));
    QCOMPARE(job.start(outDir), 0);
    QTRY_VERIFY(QFile::exists(marker));
    QTRY_COMPARE(job.progress(), progress);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QCOMPARE(QString::fromStdString(job.warning()), warning);
    QVERIFY(job.note().empty());
}

// Without a usable duration the job cannot tell how far it is, only that it works; once the run
// is over, however it ended, it works no more.
void TestConversionJob::busyWithoutDuration()
{
    QFETCH(bool, cancelled);
    const QString marker = media.path(QStringLiteral("busy-written"));
    QVERIFY(media.installStandIn(writesOutput +
                                 "echo '  Duration: N/A, start: 0.000000, bitrate: N/A'; "
                                 "printf 'frame=  9 time=00:00:01.00 speed=1x\\r'; touch '" +
                                 marker.toUtf8() + "'; sleep 1"));
    // No length the prober could read either: the input is no media it knows.
    const QString unknown = media.makeFile(QStringLiteral("unknown.mp4"), 100);
    ConversionJob job;
    QVERIFY(bind(job, unknown));
    QCOMPARE(job.start(outDir), 0);
    QTRY_VERIFY(QFile::exists(marker));
    QTRY_VERIFY(job.isBusy());
    QCOMPARE(job.progress(), 0);
    if (cancelled) {
        QSignalSpy changed(&job, &ConversionJob::changed);
        QCOMPARE(job.cancel(), 0);
        QCOMPARE(job.convertState(), int(Cancelled));
        QVERIFY(!job.isBusy());
        QVERIFY(changed.count() > 0);
        return;
    }
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QVERIFY(!job.isBusy());
    QCOMPARE(job.progress(), 100);
}

void TestConversionJob::fullDiskWhenFinishing_data()
{
    QTest::addColumn<int>("vc");
    QTest::newRow("flv") << 1;
    QTest::newRow("avi") << 2;
}

// The real transcoder writing into a folder that is full: for these containers it notices only
// when it finishes the file, and exits with status 0 all the same. Nothing of the run is left.
void TestConversionJob::fullDiskWhenFinishing()
{
    QFETCH(int, vc);
    const QString full = QString::fromStdString(outDir) + "/full";
    QVERIFY(QDir().mkpath(full));
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=12k", "tmpfs", full});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0)
        QSKIP("a small file system cannot be mounted here (not root)");
    const auto unmount = qScopeGuard([&] {
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), full});
    });
    ConversionJob job;
    QVERIFY(bind(job, clip, vc));
    QCOMPARE(job.start(utf8(full)), 0);
    const QString written = QString::fromStdString(job.outputPath());
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(QString::fromStdString(job.errorText()),
             QStringLiteral("磁盘空间不足，输出文件没有写完整！\nError writing trailer of ") +
                 written + ": No space left on device\n");
    QCOMPARE(QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

void TestConversionJob::windowKeepsTurningWhileSilent()
{
    QVERIFY(media.installStandIn(writesOutput + "sleep 2; printf '" + durationLine + halfWayLine +
                                 "'"));
    ConversionJob job;
    QVERIFY(bind(job, clip));

    QElapsedTimer sinceLastBeat;
    qint64 longestGap = 0;
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout,
            [&] { longestGap = qMax(longestGap, sinceLastBeat.restart()); });
    sinceLastBeat.start();
    heartbeat.start(10);
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    // A reader that waited for the transcoder would stand still for the whole 2 s of silence; the
    // bound leaves room for a loaded machine.
    QVERIFY2(longestGap < 1000,
             qPrintable(QStringLiteral("event loop stood still for %1 ms").arg(longestGap)));
}

void TestConversionJob::endIsTakenAtOnce()
{
    // In a batch the next file waits for this verdict: it must not wait for the next poll.
    QVERIFY(media.installStandIn(writesOutput + "printf '" + durationLine + halfWayLine +
                                 "kb/s:1\\n'"));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    // Probed before, as a batch does for its next file, so that the clock runs for the
    // transcoder alone.
    job.probeAhead();
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(50);
    QSignalSpy done(&job, &ConversionJob::finished);
    QElapsedTimer sinceStart;
    sinceStart.start();
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(done.wait(5000));
    const qint64 elapsed = sinceStart.elapsed();
    QVERIFY2(elapsed < 190, qPrintable(QStringLiteral("verdict after %1 ms").arg(elapsed)));
    QCOMPARE(job.convertState(), int(Done));
    // The poll that follows finds the run over and adds no second verdict.
    QTest::qWait(450);
    QCOMPARE(done.count(), 1);
}

void TestConversionJob::floodDoesNotStallTheTranscoder()
{
    // 20 MB of warnings: a reader that took 8191 bytes per tick would need over eight minutes.
    const QString marker = media.path(QStringLiteral("flood-written"));
    QVERIFY(media.installStandIn(
        writesOutput +
        "yes '[h264 @ 0x1] warning: a long line of noise that the transcoder keeps printing' | "
        "head -c 20000000; touch '" +
        marker.toUtf8() + "'; printf '\\n" + durationLine + halfWayLine + "'"));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    QCOMPARE(job.start(outDir), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
    QVERIFY(finishes(job, 30000));
    QCOMPARE(job.convertState(), int(Done));
}

void TestConversionJob::positionPastTheDuration()
{
    const QString marker = media.path(QStringLiteral("past-written"));
    QVERIFY(media.installStandIn("printf '" + durationLine + halfWayLine +
                                 "'; sleep 0.5; printf 'time=00:00:20.00\\r'; touch '" +
                                 marker.toUtf8() + "'; sleep 2; echo 'kb/s:'"));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    QCOMPARE(job.start(outDir), 0);
    QTRY_COMPARE(job.progress(), 50);
    QTRY_VERIFY(QFile::exists(marker));
    QTest::qWait(500);
    QCOMPARE(job.convertState(), int(Converting));
    QCOMPARE(job.progress(), 50);
    QVERIFY(finishes(job));
}

void TestConversionJob::stateRules()
{
    ConversionJob job;
    QVERIFY(bind(job, clip));
    QCOMPARE(job.cancel(), 0);
    QCOMPARE(job.convertState(), int(Cancelled));

    // Without a transcoder to find the start fails and changes nothing.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(media.path(QStringLiteral("empty"))));
    const int missing = job.start(outDir);
    qputenv("PATH", path);
    QCOMPARE(missing, -102);
    QCOMPARE(job.convertState(), int(Cancelled));

    QVERIFY(media.installStandIn("echo hello"));
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(job.cancel(), 0);
    QCOMPARE(job.convertState(), int(Cancelled));
    QCOMPARE(job.errorText(), std::string("模糊信息\n"));

    // A new run starts clean; a second start while it runs is refused.
    QVERIFY(media.installStandIn(writesOutput + "printf '" + durationLine + halfWayLine +
                                 "'; sleep 1"));
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(job.errorText().empty());
    QTRY_COMPARE(job.progress(), 50);
    QCOMPARE(job.start(outDir), -103);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QCOMPARE(job.cancel(), 102);
    QCOMPARE(job.convertState(), int(Done));

    QVERIFY(media.installStandIn("echo hello"));
    QCOMPARE(job.start(outDir), 0);
    QCOMPARE(job.progress(), 0);
    QVERIFY(finishes(job));
}

void TestConversionJob::destroyedWhileConverting()
{
    QVERIFY(media.installStandIn("echo started; exec sleep 30"));
    auto job = std::make_unique<ConversionJob>();
    QVERIFY(bind(*job, clip));
    QCOMPARE(job->start(outDir), 0);
    QCOMPARE(TestMedia::childPids().size(), 1);
    job.reset();
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
}

void TestConversionJob::containers_data()
{
    QTest::addColumn<int>("vc");
    QTest::addColumn<bool>("longInput");
    QTest::addColumn<QStringList>("codecs");
    QTest::newRow("mp4") << 0 << false << QStringList{"h264", "aac"};
    QTest::newRow("flv") << 1 << false << QStringList{"h264", "aac"};
    QTest::newRow("avi") << 2 << false << QStringList{"h264", "mp3"};
    // The WMV encoders print no rate summary, and a short run may print no whole second either.
    QTest::newRow("wmv") << 3 << false << QStringList{"wmv2", "wmav2"};
    QTest::newRow("wmv, longer input") << 3 << true << QStringList{"wmv2", "wmav2"};
}

void TestConversionJob::containers()
{
    QFETCH(int, vc);
    QFETCH(bool, longInput);
    ConversionJob job;
    QVERIFY(bind(job, longInput ? longClip : clip, vc));
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(QString::fromStdString(job.errorText()), QString());
    QCOMPARE(job.convertState(), int(Done));
    QCOMPARE(job.progress(), 100);
    QTEST(TestMedia::probeCodecs(QString::fromStdString(job.outputPath())), "codecs");
}

void TestConversionJob::failures_data()
{
    QTest::addColumn<QString>("case_");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("missing input") << "missing input"
                                   << "^文件或文件夹不存在！\\n$";
    QTest::newRow("text file named mp4") << "text"
                                         << "^未识别的输入文件格式！\\n$";
    QTest::newRow("missing output folder") << "no folder"
                                           << "^文件或文件夹不存在！\\n$";
    QTest::newRow("output folder under a file")
        << "under file"
        << "^转码程序异常退出，退出码：1\\n.*/\\.quellix-[0-9a-f]{8}-clip\\.part\\.mp4: Not a "
           "directory\\n$";
    QTest::newRow("codec the container refuses")
        << "refused codec"
        << "^转码程序异常退出，退出码：1\\n\\[mp4 @ 0x[0-9a-f]+\\] Could not find tag for codec "
           "wmv2[^\\n]*\\n$";
}

void TestConversionJob::failures()
{
    QFETCH(QString, case_);
    QFETCH(QString, pattern);
    const QString out = QString::fromStdString(outDir);
    const QString input = out + "/clip.mp4";
    QVERIFY(QFile::copy(clip, input));
    ConversionJob job;
    QVERIFY(bind(job, input));
    AVSettings settings = job.settings();
    if (case_ == "missing input") {
        QVERIFY(QFile::remove(input));
    } else if (case_ == "text") {
        QVERIFY(QFile::remove(input));
        QFile text(input);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("just some notes\n") > 0);
    } else if (case_ == "no folder") {
        outDir = utf8(out + "/no such folder");
    } else if (case_ == "under file") {
        outDir = utf8(input + "/sub");
    } else {
        settings.cv = 4;
    }
    job.setSettings(settings);
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(job.progress(), 0);
    const QString errorText = QString::fromStdString(job.errorText());
    QVERIFY2(QRegularExpression(pattern).match(errorText).hasMatch(), qPrintable(errorText));
}

void TestConversionJob::cancelMidRun()
{
    ConversionJob job;
    QVERIFY(bind(job, longClip));
    AVSettings slow = makeAVSettings(0, QualityHigh, QualityHigh);
    slow.cv = 3; // H.265
    slow.r = 0;  // 1920x1080
    job.setSettings(slow);
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(outDir), 0);
    const QString output = QString::fromStdString(job.outputPath());
    QTRY_VERIFY_WITH_TIMEOUT(job.progress() > 0 && QFile::exists(output), 60000);
    QCOMPARE(job.convertState(), int(Converting));

    QCOMPARE(job.cancel(), 0);
    QCOMPARE(job.convertState(), int(Cancelled));
    QVERIFY(!QFile::exists(output));
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(500);
    QCOMPARE(done.count(), 0);
    QVERIFY(!QFile::exists(output));
}

// The real transcoder stopped where it is: it writes nothing and its time does not count while
// paused, and it goes on to a whole file.
void TestConversionJob::pauseMidRun()
{
    ConversionJob job;
    QVERIFY(bind(job, longClip));
    QCOMPARE(job.start(outDir), 0);
    const QString output = QString::fromStdString(job.outputPath());
    QTRY_VERIFY_WITH_TIMEOUT(job.progress() > 0 && job.speed() > 0, 60000);
    job.pause();
    QVERIFY(job.isPaused());
    const QList<qint64> children = TestMedia::childPids();
    QCOMPARE(children.size(), 1);
    QTRY_COMPARE(TestMedia::processState(children.first()), 'T');
    const qint64 elapsed = job.elapsedMs();
    const qint64 written = QFileInfo(output).size();
    const int progress = job.progress();
    const double speed = job.speed();
    QTest::qWait(1500); // the pause itself is what is measured
    QVERIFY2(job.elapsedMs() - elapsed < 200, qPrintable(QString::number(job.elapsedMs())));
    QCOMPARE(QFileInfo(output).size(), written);
    QCOMPARE(job.progress(), progress);

    job.resume();
    QVERIFY(!job.isPaused());
    QTRY_VERIFY(TestMedia::processState(children.first()) != 'T');
    // The transcoder's own speed counts the pause as time it took; the job's does not.
    QTRY_VERIFY_WITH_TIMEOUT(job.progress() > progress || job.convertState() == Done, 60000);
    if (job.convertState() == Converting)
        QVERIFY2(job.speed() > speed / 2,
                 qPrintable(QStringLiteral("%1 after %2").arg(job.speed()).arg(speed)));
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QVERIFY(qAbs(TestMedia::probeDuration(QString::fromStdString(job.outputPath())) - 40) < 0.5);
}

void TestConversionJob::pausedBeforeTheTranscoder_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("before the start") << "start";
    QTest::newRow("while probing") << "probing";
    QTest::newRow("probed ahead") << "ahead";
}

// A job paused before its transcoder runs starts none, whenever its probe ends, until it is
// resumed.
void TestConversionJob::pausedBeforeTheTranscoder()
{
    QFETCH(QString, when);
    const QString marker = media.path(QStringLiteral("transcoder-ran"));
    QFile::remove(marker);
    QVERIFY(media.installStandIn(writesOutput + "touch '" + marker.toUtf8() + "'; echo 'kb/s:'"));
    if (when == QLatin1String("probing"))
        QVERIFY(installProber("sleep 0.5; exec /usr/bin/ffprobe \"$@\""));
    ConversionJob job;
    QVERIFY(bind(job, clip));
    if (when == QLatin1String("ahead")) {
        job.probeAhead();
        QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    }
    if (when != QLatin1String("probing"))
        job.pause();
    QCOMPARE(job.start(outDir), 0);
    if (when == QLatin1String("probing")) {
        QCOMPARE(TestMedia::childPids().size(), 1);
        job.pause();
    }
    QCOMPARE(job.convertState(), int(Converting));
    QVERIFY(job.isPaused());
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(300);
    QVERIFY(!QFile::exists(marker));
    QCOMPARE(job.convertState(), int(Converting));

    job.resume();
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QVERIFY(QFile::exists(marker));
}

void TestConversionJob::hostileFileName()
{
    const QString name = QStringLiteral("-x 'q' \"d\" $HOME `id` ;| 视频.mp4");
    const QString input = media.path(name);
    QVERIFY(QFile::copy(clip, input));
    const QString out = QString::fromStdString(outDir) + "/out $HOME 输出";
    QVERIFY(QDir().mkpath(out));
    outDir = utf8(out);

    ConversionJob job;
    QVERIFY(bind(job, input, 1));
    QCOMPARE(job.start(outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(QString::fromStdString(job.errorText()), QString());
    QCOMPARE(job.convertState(), int(Done));
    const QString expected = out + "/Quellix转码-" + QFileInfo(name).completeBaseName() + ".flv";
    QCOMPARE(QString::fromStdString(job.outputPath()), expected);
    QCOMPARE(TestMedia::probeCodecs(expected), (QStringList{"h264", "aac"}));
}

void TestConversionJob::twoPasses_data()
{
    QTest::addColumn<int>("pass");
    QTest::addColumn<bool>("cancel"); // else paused and resumed
    // A first pass at a small size is over before it can be caught.
    QTest::addColumn<int>("size");
    QTest::newRow("cancelled in the first pass") << 1 << true << 0;
    QTest::newRow("cancelled in the second pass") << 2 << true << 3;
    QTest::newRow("paused in the first pass, on to the second") << 1 << false << 0;
    QTest::newRow("paused in the second pass, to the end") << 2 << false << 3;
}

// VP9's two passes are one run: the first is the first half of the progress, a pause holds and a
// cancel ends whichever runs, and the first pass's statistics never outlive the run.
void TestConversionJob::twoPasses()
{
    QFETCH(int, pass);
    QFETCH(bool, cancel);
    QFETCH(int, size);
    ConversionJob job;
    QVERIFY(bind(job, longClip));
    AVSettings vp9 = makeAVSettings(5, QualityLow, QualityLow);
    setVideoCodec(vp9, VideoVp9);
    vp9.r = size;
    job.setSettings(vp9);
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(outDir), 0);
    const QDir out(QString::fromStdString(outDir));
    const auto files = [&out] { return out.entryList(QDir::Files | QDir::Hidden); };
    const auto reaches = [&job](int running) {
        QTRY_VERIFY_WITH_TIMEOUT(runningPass() == running && job.progress() > (running - 1) * 50,
                                 60000);
        QVERIFY2(running == 1 ? job.progress() <= 50 : job.progress() >= 50,
                 qPrintable(QString::number(job.progress())));
    };
    const auto cancelled = [&] {
        QCOMPARE(job.cancel(), 0);
        QCOMPARE(job.convertState(), int(Cancelled));
        QCOMPARE(TestMedia::childPids(), QList<qint64>());
        QCOMPARE(files(), QStringList());
        QTest::qWait(300);
        QCOMPARE(done.count(), 0);
    };
    reaches(pass);
    QCOMPARE(job.convertState(), int(Converting));
    QVERIFY2(files().join(' ').contains(QLatin1String(".passlog")), qPrintable(files().join(' ')));
    if (cancel) {
        cancelled();
        return;
    }
    job.pause();
    const qint64 child = TestMedia::childPids().value(0);
    QTRY_COMPARE(TestMedia::processState(child), 'T');
    const int progress = job.progress();
    QTest::qWait(800);
    QCOMPARE(job.progress(), progress);
    QCOMPARE(runningPass(), pass);
    job.resume();
    if (pass == 1) {
        reaches(2);
        cancelled();
        return;
    }
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    const QString output = QString::fromStdString(job.outputPath());
    QCOMPARE(TestMedia::probeVideo(output, QStringLiteral("codec_name")), QStringLiteral("vp9"));
    QVERIFY(qAbs(TestMedia::probeDuration(output) - 40) < 0.5);
    QCOMPARE(files(), QStringList{QFileInfo(output).fileName()});
}

QTEST_GUILESS_MAIN(TestConversionJob)
#include "test_conversionjob.moc"
