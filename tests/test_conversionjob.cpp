#include "convert/ConversionJob.h"
#include "convert/OutputName.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"
#include "tests/EventLoopWatch.h"
#include "tests/TestMedia.h"

#include <QSignalSpy>
#include <QTimer>
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
    void windowKeepsTurningWhileSilent();
    void endIsTakenAtOnce();
    void floodDoesNotStallTheTranscoder();
    void positionPastTheDuration();
    void stateRules();
    void destroyedWhileConverting();

    void pausedBeforeTheTranscoder_data();
    void pausedBeforeTheTranscoder();

private:
    // A stand-in prober next to the stand-in transcoder, found first in PATH until cleanup().
    bool installProber(const QByteArray &body);
    // Binds a fresh job to `input` with the given container and default qualities.
    bool bind(ConversionJob &job, const QString &input, int vc = 0);

    TestMedia m_media;
    QString m_clip;
    QString m_longClip;
    // The output folder of the running test function.
    std::string m_outDir;
};

void TestConversionJob::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    QVERIFY(m_media.makeClip(QStringLiteral("clip.mp4"), 2));
    m_clip = m_media.path(QStringLiteral("clip.mp4"));
    // Sound alone is enough to declare a length of 40 seconds.
    QVERIFY(m_media.makeMedia(QStringLiteral("forty.mka"),
                              {"-f", "lavfi", "-i", "sine=d=40", "-c:a", "flac"}));
    m_longClip = m_media.path(QStringLiteral("forty.mka"));
}

void TestConversionJob::init()
{
    const QString out = m_media.path(QString::fromUtf8(QTest::currentTestFunction()) + "-" +
                                     QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(out));
    m_outDir = utf8(out);
    // What the prober says matters only to the cases about it, which use the real one or their
    // own: elsewhere a stand-in refuses every file at once, where the real one takes a good part
    // of a second to start on a loaded machine.
    QVERIFY(QDir().mkpath(m_media.path(QStringLiteral("bin"))));
    QVERIFY(installProber("exit 1"));
}

void TestConversionJob::cleanup()
{
    QFile::remove(m_media.path(QStringLiteral("bin/ffprobe")));
    m_media.restorePath();
}

bool TestConversionJob::installProber(const QByteArray &body)
{
    return TestMedia::writeScript(m_media.path(QStringLiteral("bin/ffprobe")), body);
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
    const QString path = m_media.makeFile(QStringLiteral("sized 文件.avi"), bytes);
    QVERIFY(!path.isEmpty());

    ConversionJob job;
    QCOMPARE(job.setInput(utf8(path), makeAVSettings(2, 0, 0)), 0);
    QCOMPARE(job.inputBytes(), qint64(bytes));
    QCOMPARE(job.fileName(), QStringLiteral("sized 文件.avi"));
    QCOMPARE(job.inputPath(), utf8(path));
    QCOMPARE(job.settings().vc, 2);
    QCOMPARE(job.convertState(), int(Waiting));

    // A missing file changes nothing.
    QCOMPARE(job.setInput(utf8(m_media.path(QStringLiteral("gone.mp4"))), makeAVSettings(0, 1, 1)),
             ConversionJob::inputMissing);
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
    const QString argsFile = m_media.path(QStringLiteral("arguments.txt"));
    QVERIFY(m_media.installStandIn(writesOutput + "printf '%s\\n' \"$@\" > '" + argsFile.toUtf8() +
                                   "'; echo 'kb/s:'"));
    const QString input = m_media.path(inputName);
    QVERIFY(QFile(input).open(QIODevice::WriteOnly));
    const QString out = QString::fromStdString(m_outDir);
    if (linkToInput)
        QVERIFY(QFile::link(input, out + "/Quellix转码-" + QFileInfo(inputName).completeBaseName() +
                                       ".mp4"));
    TakenFiles taken;
    for (const QString &name : takenNames)
        taken.add(FileIdentity::of(out + "/" + name));

    ConversionJob job;
    QVERIFY(bind(job, input, vc));
    QCOMPARE(job.start(m_outDir, taken), 0);
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
    // pattern in two. The whole text goes out in one write, so that the reader finds it all.
    const QByteArray padded =
        "text=$(head -c %1 /dev/zero | tr '\\0' x); "
        "printf '%s\\nNo such file or directory\\n' \"$text\" > \"$0.padded\"; "
        "cat \"$0.padded\"; exit 1";
    QTest::newRow("pattern cut between chunks")
        << QByteArray(padded).replace("%1", "8184") << int(Failed)
        << "转码程序异常退出，退出码：1\nNo such file or directory\n"
        << QString() << 0;
    QTest::newRow("pattern whole in one chunk")
        << QByteArray(padded).replace("%1", "8099") << int(Failed) << "文件或文件夹不存在！\n"
        << QString() << 0;
}

void TestConversionJob::scriptedRuns()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, errorText);
    QVERIFY(m_media.installStandIn(script));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_outDir), 0);
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
    const QString marker = m_media.path(QStringLiteral("transcoder-ran"));
    QFile::remove(marker);
    QVERIFY(
        m_media.installStandIn("touch '" + marker.toUtf8() +
                               "'; echo 'x: Invalid data found when processing input'; exit 1"));
    QVERIFY(installProber(prober));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    QSignalSpy finished(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_outDir), 0);
    QCOMPARE(job.convertState(), int(Converting));
    QVERIFY(finished.wait(conversionTimeoutMs));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(QString::fromStdString(job.errorText()), errorText);
    QCOMPARE(QFile::exists(marker), transcoderRuns);
}

void TestConversionJob::cancelWhileProbing()
{
    const QString marker = m_media.path(QStringLiteral("transcoder-ran"));
    QFile::remove(marker);
    QVERIFY(m_media.installStandIn("touch '" + marker.toUtf8() + "'"));
    QVERIFY(installProber("exec sleep 30"));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    QSignalSpy finished(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_outDir), 0);
    QTRY_COMPARE(TestMedia::childPids().size(), 1);
    QVERIFY(job.isBusy());
    QCOMPARE(job.start(m_outDir), ConversionJob::alreadyRunning);
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
    QVERIFY(m_media.installStandIn(writesOutput + "echo 'kb/s:'"));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    job.probeAhead();
    QCOMPARE(job.convertState(), int(Waiting));
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(50);
    QVERIFY(installProber("kill -SEGV $$"));
    QCOMPARE(job.start(m_outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));

    ConversionJob doomed;
    QVERIFY(bind(doomed, m_clip));
    doomed.probeAhead();
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(50);
    QSignalSpy finished(&doomed, &ConversionJob::finished);
    QCOMPARE(doomed.start(m_outDir), 0);
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
    QVERIFY(QFile::remove(m_media.path(QStringLiteral("bin/ffprobe"))));
    // The stand-in goes on until the test has read the progress.
    const QString release = m_media.path(QStringLiteral("release"));
    QFile::remove(release);
    QVERIFY(m_media.installStandIn(writesOutput + "printf 'frame=  9 time=" + position +
                                   " bitrate=1k speed=1x\\r'; " + TestMedia::untilExists(release)));
    ConversionJob job;
    QVERIFY(
        bind(job, declares ? m_longClip : m_media.makeFile(QStringLiteral("unknown.mp4"), 100)));
    QCOMPARE(job.start(m_outDir), 0);
    if (progress > 0)
        QTRY_COMPARE_WITH_TIMEOUT(job.progress(), progress, conversionTimeoutMs);
    else
        QTRY_VERIFY_WITH_TIMEOUT(job.isBusy(), conversionTimeoutMs);
    QCOMPARE(job.progress(), progress);
    QVERIFY(TestMedia::writeFile(release, QByteArray()));
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
    const QString release = m_media.path(QStringLiteral("release"));
    QFile::remove(release);
    QVERIFY(m_media.installStandIn(writesOutput +
                                   "echo '  Duration: N/A, start: 0.000000, bitrate: N/A'; "
                                   "printf 'frame=  9 time=00:00:01.00 speed=1x\\r'; " +
                                   TestMedia::untilExists(release)));
    // No length the prober could read either: the input is no media it knows.
    const QString unknown = m_media.makeFile(QStringLiteral("unknown.mp4"), 100);
    ConversionJob job;
    QVERIFY(bind(job, unknown));
    QCOMPARE(job.start(m_outDir), 0);
    QTRY_VERIFY_WITH_TIMEOUT(job.isBusy(), conversionTimeoutMs);
    QCOMPARE(job.progress(), 0);
    if (cancelled) {
        QSignalSpy changed(&job, &ConversionJob::changed);
        QCOMPARE(job.cancel(), 0);
        QCOMPARE(job.convertState(), int(Cancelled));
        QVERIFY(!job.isBusy());
        QVERIFY(changed.count() > 0);
        return;
    }
    QVERIFY(TestMedia::writeFile(release, QByteArray()));
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QVERIFY(!job.isBusy());
    QCOMPARE(job.progress(), 100);
}

void TestConversionJob::windowKeepsTurningWhileSilent()
{
    // The transcoder says nothing until the loop has turned a while: a reader that waited for it
    // would hold the loop until the stand-in gives up, a minute later.
    const QString release = m_media.path(QStringLiteral("release"));
    QFile::remove(release);
    QVERIFY(m_media.installStandIn(writesOutput + TestMedia::untilExists(release) + "; printf '" +
                                   durationLine + halfWayLine + "'"));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    EventLoopWatch watch;
    QCOMPARE(job.start(m_outDir), 0);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::transcoderRuns(), conversionTimeoutMs);
    const size_t turns = watch.gaps().size();
    QTRY_VERIFY_WITH_TIMEOUT(watch.gaps().size() >= turns + 20, conversionTimeoutMs);
    QVERIFY(TestMedia::writeFile(release, QByteArray()));
    QVERIFY(finishes(job));
    watch.stop();
    QCOMPARE(job.convertState(), int(Done));
    QVERIFY2(
        watch.longestStallMs() < 5000,
        qPrintable(QStringLiteral("event loop stood still for %1 ms").arg(watch.longestStallMs())));
}

void TestConversionJob::endIsTakenAtOnce()
{
    // In a batch the next file waits for this verdict: it must not wait for the next poll.
    QVERIFY(m_media.installStandIn(writesOutput + "printf '" + durationLine + halfWayLine +
                                   "kb/s:1\\n'"));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    // Probed before, as a batch does for its next file, so that the clock runs for the
    // transcoder alone.
    job.probeAhead();
    QTRY_COMPARE_WITH_TIMEOUT(TestMedia::childPids(), QList<qint64>(), conversionTimeoutMs);
    QTest::qWait(50);
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_outDir), 0);
    // With its poll stopped, only the end of the transcoder itself can bring the verdict.
    QTimer *poll = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (poll = job.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly)) != nullptr,
        conversionTimeoutMs);
    poll->stop();
    QVERIFY(done.wait(conversionTimeoutMs));
    QCOMPARE(job.convertState(), int(Done));
    // A poll that follows finds the run over and adds no second verdict.
    poll->start();
    QTest::qWait(450);
    QCOMPARE(done.count(), 1);
}

void TestConversionJob::floodDoesNotStallTheTranscoder()
{
    // 20 MB of warnings: a reader that took 8191 bytes per tick would need over eight minutes.
    const QString marker = m_media.path(QStringLiteral("flood-written"));
    QVERIFY(m_media.installStandIn(
        writesOutput +
        "yes '[h264 @ 0x1] warning: a long line of noise that the transcoder keeps printing' | "
        "head -c 20000000; touch '" +
        marker.toUtf8() + "'; printf '\\n" + durationLine + halfWayLine + "'"));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    QCOMPARE(job.start(m_outDir), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), conversionTimeoutMs);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
}

void TestConversionJob::positionPastTheDuration()
{
    // Each step of the stand-in waits until the test has seen the one before.
    const QString seenHalf = m_media.path(QStringLiteral("seen-half"));
    const QString seenPast = m_media.path(QStringLiteral("seen-past"));
    QVERIFY(m_media.installStandIn("printf '" + durationLine + halfWayLine + "'; " +
                                   TestMedia::untilExists(seenHalf) +
                                   "; printf 'frame=  200 time=00:00:20.00 speed=7x\\r'; " +
                                   TestMedia::untilExists(seenPast) + "; echo 'kb/s:'"));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    QCOMPARE(job.start(m_outDir), 0);
    QTRY_COMPARE_WITH_TIMEOUT(job.progress(), 50, conversionTimeoutMs);
    QVERIFY(TestMedia::writeFile(seenHalf, QByteArray()));
    // The speed comes from the same line as the position past the end.
    QTRY_COMPARE_WITH_TIMEOUT(job.speed(), 7.0, conversionTimeoutMs);
    QCOMPARE(job.convertState(), int(Converting));
    QCOMPARE(job.progress(), 50);
    QVERIFY(TestMedia::writeFile(seenPast, QByteArray()));
    QVERIFY(finishes(job));
}

void TestConversionJob::stateRules()
{
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    QCOMPARE(job.cancel(), 0);
    QCOMPARE(job.convertState(), int(Cancelled));

    // Without a transcoder to find the start fails and changes nothing.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_media.path(QStringLiteral("empty"))));
    const int missing = job.start(m_outDir);
    qputenv("PATH", path);
    QCOMPARE(missing, ProcessPipe::startFailed);
    QCOMPARE(job.convertState(), int(Cancelled));

    QVERIFY(m_media.installStandIn("echo hello"));
    QCOMPARE(job.start(m_outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(job.cancel(), 0);
    QCOMPARE(job.convertState(), int(Cancelled));
    QCOMPARE(job.errorText(), std::string("模糊信息\n"));

    // A new run starts clean; a second start while it runs is refused.
    const QString release = m_media.path(QStringLiteral("release"));
    QFile::remove(release);
    QVERIFY(m_media.installStandIn(writesOutput + "printf '" + durationLine + halfWayLine + "'; " +
                                   TestMedia::untilExists(release)));
    QCOMPARE(job.start(m_outDir), 0);
    QVERIFY(job.errorText().empty());
    QTRY_COMPARE_WITH_TIMEOUT(job.progress(), 50, conversionTimeoutMs);
    QCOMPARE(job.start(m_outDir), ConversionJob::alreadyRunning);
    QVERIFY(TestMedia::writeFile(release, QByteArray()));
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Done));
    QCOMPARE(job.cancel(), ConversionJob::alreadyDone);
    QCOMPARE(job.convertState(), int(Done));

    QVERIFY(m_media.installStandIn("echo hello"));
    QCOMPARE(job.start(m_outDir), 0);
    QCOMPARE(job.progress(), 0);
    QVERIFY(finishes(job));
}

void TestConversionJob::destroyedWhileConverting()
{
    QVERIFY(m_media.installStandIn("echo started; exec sleep 30"));
    auto job = std::make_unique<ConversionJob>();
    QVERIFY(bind(*job, m_clip));
    QCOMPARE(job->start(m_outDir), 0);
    // The transcoder runs once the source is probed.
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::childNamed("sleep") != 0, conversionTimeoutMs);
    QCOMPARE(TestMedia::childPids().size(), 1);
    job.reset();
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
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
    const QString marker = m_media.path(QStringLiteral("transcoder-ran"));
    QFile::remove(marker);
    QVERIFY(m_media.installStandIn(writesOutput + "touch '" + marker.toUtf8() + "'; echo 'kb/s:'"));
    if (when == QLatin1String("probing"))
        QVERIFY(installProber("sleep 0.5; exec /usr/bin/ffprobe \"$@\""));
    ConversionJob job;
    QVERIFY(bind(job, m_clip));
    if (when == QLatin1String("ahead")) {
        job.probeAhead();
        QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
    }
    if (when != QLatin1String("probing"))
        job.pause();
    QCOMPARE(job.start(m_outDir), 0);
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

QTEST_GUILESS_MAIN(TestConversionJob)
#include "test_conversionjob.moc"
