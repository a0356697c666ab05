#include "batch/BatchQueue.h"
#include "batch/FreeSpace.h"
#include "convert/ConversionJob.h"
#include "convert/LeftoverOutputs.h"
#include "convert/OutputName.h"
#include "convert/OutputPublisher.h"
#include "convert/ProcessPipe.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

namespace
{

constexpr int conversionTimeoutMs = 120000;

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

QString probeFormat(const QString &file)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=format_name",
                                            "-of", "default=nw=1:nk=1", file});
    probe.waitForFinished(30000);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

// What the child writes within `waitMs`, with the result of the last read.
QByteArray readFor(ProcessPipe &pipe, int waitMs, int *result = nullptr)
{
    QByteArray seen;
    char buffer[256];
    uint32_t count = 0;
    QElapsedTimer clock;
    clock.start();
    int last = 0;
    while (clock.elapsed() < waitMs) {
        last = pipe.read(buffer, sizeof buffer, count, int(waitMs - clock.elapsed()));
        if (last != 0)
            break;
        seen.append(buffer, int(count));
    }
    if (result)
        *result = last;
    return seen;
}

// What the child writes until `text` comes, a minute at most.
QByteArray readUntil(ProcessPipe &pipe, const QByteArray &text)
{
    QByteArray seen;
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(text) && clock.elapsed() < 60000) {
        int result = 0;
        seen += readFor(pipe, 100, &result);
        if (result != 0)
            break;
    }
    return seen;
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

// The job's progress once it has read what the transcoder wrote before it was stopped: the
// same over two polls in a row (a slow machine may still hold lines in the pipe).
int settledProgress(const ConversionJob &job)
{
    int progress = job.progress();
    for (int i = 0; i < 25; ++i) {
        QTest::qWait(200);
        if (job.progress() == progress)
            break;
        progress = job.progress();
    }
    return progress;
}

} // namespace

// The core on the real transcoder: one file's conversion into every container, the failures it
// reports, a cancel in the middle of a run, a hostile file name and a disk that fills up; the
// temporary names it writes, and pausing it through the process runner.
class TestRealTranscoder final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void fullDiskWhenFinishing_data();
    void fullDiskWhenFinishing();
    void containers_data();
    void containers();
    void failures_data();
    void failures();
    void cancelMidRun();
    void hostileFileName();
    void transcoderPicksTheContainer_data();
    void transcoderPicksTheContainer();
    void pauseAndResume();
    void sameNamesFromTwoFolders();
    void pauseMidRun();
    void lowDiskPausesTheBatch_data();
    void lowDiskPausesTheBatch();
    void twoPasses_data();
    void twoPasses();

private:
    // Binds a fresh job to `input` with the given container and default qualities.
    bool bind(ConversionJob &job, const QString &input, int vc = 0);

    TestMedia m_media;
    QString m_clip;
    QString m_longClip;
    // The output folder of the running test function.
    std::string m_outDir;
};

void TestRealTranscoder::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    QVERIFY(m_media.makeClip(QStringLiteral("clip.mp4"), 2));
    m_clip = m_media.path(QStringLiteral("clip.mp4"));
    QVERIFY(m_media.makeClip(QStringLiteral("long.mp4"), 40, QStringLiteral("640x360")));
    m_longClip = m_media.path(QStringLiteral("long.mp4"));
}

void TestRealTranscoder::init()
{
    const QString out = m_media.path(QString::fromUtf8(QTest::currentTestFunction()) + "-" +
                                     QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(out));
    m_outDir = utf8(out);
}

bool TestRealTranscoder::bind(ConversionJob &job, const QString &input, int vc)
{
    return job.setInput(utf8(input), makeAVSettings(vc, QualityMedium, QualityMedium)) == 0;
}

void TestRealTranscoder::fullDiskWhenFinishing_data()
{
    QTest::addColumn<int>("vc");
    QTest::newRow("flv") << 1;
    QTest::newRow("avi") << 2;
}

// The real transcoder writing into a folder that is full: for these containers it notices only
// when it finishes the file, and exits with status 0 all the same. Nothing of the run is left.
void TestRealTranscoder::fullDiskWhenFinishing()
{
    QFETCH(int, vc);
    const QString full = QString::fromStdString(m_outDir) + "/full";
    QVERIFY(QDir().mkpath(full));
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=12k", "tmpfs", full});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0)
        QSKIP("a small file system cannot be mounted here (not root)");
    const auto unmount = qScopeGuard([&] {
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), full});
    });
    ConversionJob job;
    QVERIFY(bind(job, m_clip, vc));
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

void TestRealTranscoder::containers_data()
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

void TestRealTranscoder::containers()
{
    QFETCH(int, vc);
    QFETCH(bool, longInput);
    ConversionJob job;
    QVERIFY(bind(job, longInput ? m_longClip : m_clip, vc));
    QCOMPARE(job.start(m_outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(QString::fromStdString(job.errorText()), QString());
    QCOMPARE(job.convertState(), int(Done));
    QCOMPARE(job.progress(), 100);
    QTEST(TestMedia::probeCodecs(QString::fromStdString(job.outputPath())), "codecs");
}

void TestRealTranscoder::failures_data()
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

void TestRealTranscoder::failures()
{
    QFETCH(QString, case_);
    QFETCH(QString, pattern);
    const QString out = QString::fromStdString(m_outDir);
    const QString input = out + "/clip.mp4";
    QVERIFY(QFile::copy(m_clip, input));
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
        m_outDir = utf8(out + "/no such folder");
    } else if (case_ == "under file") {
        m_outDir = utf8(input + "/sub");
    } else {
        settings.cv = 4;
    }
    job.setSettings(settings);
    QCOMPARE(job.start(m_outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(job.convertState(), int(Failed));
    QCOMPARE(job.progress(), 0);
    const QString errorText = QString::fromStdString(job.errorText());
    QVERIFY2(QRegularExpression(pattern).match(errorText).hasMatch(), qPrintable(errorText));
}

void TestRealTranscoder::cancelMidRun()
{
    ConversionJob job;
    QVERIFY(bind(job, m_longClip));
    AVSettings slow = makeAVSettings(0, QualityHigh, QualityHigh);
    slow.cv = 3; // H.265
    slow.r = 0;  // 1920x1080
    job.setSettings(slow);
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_outDir), 0);
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

void TestRealTranscoder::hostileFileName()
{
    const QString name = QStringLiteral("-x 'q' \"d\" $HOME `id` ;| 视频.mp4");
    const QString input = m_media.path(name);
    QVERIFY(QFile::copy(m_clip, input));
    const QString out = QString::fromStdString(m_outDir) + "/out $HOME 输出";
    QVERIFY(QDir().mkpath(out));
    m_outDir = utf8(out);

    ConversionJob job;
    QVERIFY(bind(job, input, 1));
    QCOMPARE(job.start(m_outDir), 0);
    QVERIFY(finishes(job));
    QCOMPARE(QString::fromStdString(job.errorText()), QString());
    QCOMPARE(job.convertState(), int(Done));
    const QString expected = out + "/Quellix转码-" + QFileInfo(name).completeBaseName() + ".flv";
    QCOMPARE(QString::fromStdString(job.outputPath()), expected);
    QCOMPARE(TestMedia::probeCodecs(expected), (QStringList{"h264", "aac"}));
}

void TestRealTranscoder::transcoderPicksTheContainer_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("format");

    QTest::newRow("mp4") << ".mp4"
                         << "mov,mp4,m4a,3gp,3g2,mj2";
    QTest::newRow("flv") << ".flv"
                         << "flv";
    QTest::newRow("avi") << ".avi"
                         << "avi";
    QTest::newRow("wmv") << ".wmv"
                         << "asf";
}

// The real transcoder writes the temporary name, over the empty file made for it.
void TestRealTranscoder::transcoderPicksTheContainer()
{
    QFETCH(QString, extension);
    QFETCH(QString, format);
    const QString out = QString::fromStdString(m_outDir);
    const QString prefix = QStringLiteral("Quellix转码-");
    LeftoverOutputs record(m_media.path(QStringLiteral("outputs.json")));
    OutputPublisher publisher(record);
    std::string temp;
    QCOMPARE(publisher.createTemp(out.toStdString(), "clip", extension.toStdString(), temp), 0);
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "testsrc=duration=1:size=160x120:rate=10", "-f", "lavfi", "-i", "sine=duration=1",
                  "-pix_fmt", "yuv420p", QString::fromStdString(temp)});
    QVERIFY(ffmpeg.waitForFinished(60000));
    QVERIFY2(ffmpeg.exitCode() == 0, ffmpeg.readAll().constData());
    QCOMPARE(probeFormat(QString::fromStdString(temp)), format);

    std::string finalPath;
    QCOMPARE(publisher.publish(
                 temp, out.toStdString(), "clip", extension.toStdString(),
                 [](const FileIdentity &) { return false; }, finalPath),
             0);
    QCOMPARE(QString::fromStdString(finalPath), out + "/" + prefix + "clip" + extension);
    QCOMPARE(probeFormat(QString::fromStdString(finalPath)), format);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden),
             QStringList{prefix + "clip" + extension});
}

// The process runner stops the real transcoder where it is and lets it go on to a whole output.
void TestRealTranscoder::pauseAndResume()
{
    const QString output = m_media.path(QStringLiteral("paused.mp4"));
    ProcessPipe pipe;
    // At the source's own pace, so that the encode lasts three seconds and reports its progress
    // twice a second.
    QCOMPARE(pipe.start({"ffmpeg", "-nostdin", "-hide_banner", "-re", "-f", "lavfi", "-i",
                         "testsrc=size=160x120:rate=25:duration=3", "-c:v", "libx264", "-pix_fmt",
                         "yuv420p", "-y", output.toStdString()}),
             0);
    QVERIFY(readUntil(pipe, "frame=").contains("frame="));
    const qint64 pid = TestMedia::childNamed("ffmpeg");
    QVERIFY(pid > 0);

    QCOMPARE(pipe.pause(), 0);
    QCOMPARE(pipe.pause(), 0);
    QVERIFY(pipe.paused());
    QTRY_COMPARE(TestMedia::processState(pid), 'T');
    // What it wrote before it stopped; after that, silence.
    while (!readFor(pipe, 300).isEmpty()) {
    }
    int result = -1;
    QCOMPARE(readFor(pipe, 1500, &result), QByteArray());
    QCOMPARE(result, 0);
    QVERIFY(pipe.running());

    QCOMPARE(pipe.resume(), 0);
    QVERIFY(!pipe.paused());
    QVERIFY(TestMedia::processState(pid) != 'T');
    QVERIFY(TestMedia::readToEnd(pipe).contains("frame="));
    QVERIFY(pipe.lastExitedNormally());
    QCOMPARE(pipe.lastExitCode(), 0);
    QVERIFY(qAbs(TestMedia::probeDuration(output) - 3.0) < 0.1);
    QVERIFY(TestMedia::decodesCleanly(output));
}

// Two files of the same name from different folders, converted one after the other by a batch.
void TestRealTranscoder::sameNamesFromTwoFolders()
{
    const QString out = QString::fromStdString(m_outDir);
    BatchQueue queue;
    queue.setOutputDirectory(out);
    for (const QString &folder : {QStringLiteral("a"), QStringLiteral("b")}) {
        const QString input = m_media.path(folder + QStringLiteral("/clip.mp4"));
        QVERIFY(QDir().mkpath(m_media.path(folder)));
        QVERIFY(QFile::copy(m_clip, input));
        QCOMPARE(queue.add(input.toStdString(), makeAVSettings(2, QualityMedium, QualityMedium)),
                 0);
    }
    QSignalSpy finished(&queue, &BatchQueue::finished);
    QCOMPARE(queue.start(), 0);
    QVERIFY(finished.wait(conversionTimeoutMs));
    QCOMPARE(queue.succeededCount(), 2);
    QCOMPARE(queue.failedCount(), 0);
    QCOMPARE(QString::fromStdString(queue.at(0)->outputPath()), out + "/Quellix转码-clip.avi");
    QCOMPARE(QString::fromStdString(queue.at(1)->outputPath()), out + "/Quellix转码-clip (2).avi");
    QCOMPARE(TestMedia::probeCodecs(out + "/Quellix转码-clip.avi"), (QStringList{"h264", "mp3"}));
    QCOMPARE(TestMedia::probeCodecs(out + "/Quellix转码-clip (2).avi"),
             (QStringList{"h264", "mp3"}));
}

// The real transcoder stopped where it is: it writes nothing and its time does not count while
// paused, and it goes on to a whole file.
void TestRealTranscoder::pauseMidRun()
{
    ConversionJob job;
    QVERIFY(bind(job, m_longClip));
    QCOMPARE(job.start(m_outDir), 0);
    const QString output = QString::fromStdString(job.outputPath());
    QTRY_VERIFY_WITH_TIMEOUT(job.progress() > 0 && job.speed() > 0, 60000);
    job.pause();
    QVERIFY(job.isPaused());
    const QList<qint64> children = TestMedia::childPids();
    QCOMPARE(children.size(), 1);
    QTRY_COMPARE(TestMedia::processState(children.first()), 'T');
    const int progress = settledProgress(job);
    const qint64 elapsed = job.elapsedMs();
    const qint64 written = QFileInfo(output).size();
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

void TestRealTranscoder::lowDiskPausesTheBatch_data()
{
    QTest::addColumn<qint64>("roomAboveLimit"); // MiB free above the limit at the start
    QTest::addColumn<bool>("goOn");
    QTest::newRow("low at the start, cancelled") << qint64(-2) << false;
    QTest::newRow("low while writing, cancelled") << qint64(3) << false;
    QTest::newRow("low while writing, resumed") << qint64(3) << true;
}

// A real conversion into a 64 MiB memory file system: the batch pauses before the disk is full,
// and nothing half-written ever has a final name, whether it goes on or is cancelled.
void TestRealTranscoder::lowDiskPausesTheBatch()
{
    QFETCH(qint64, roomAboveLimit);
    QFETCH(bool, goOn);
    const QString folder = m_media.path(QStringLiteral("small-disk"));
    QVERIFY(QDir().mkpath(folder));
    if (geteuid() != 0 ||
        QProcess::execute(QStringLiteral("mount"),
                          {"-t", "tmpfs", "-o", "size=64m", "tmpfs", folder}) != 0)
        QSKIP("mounting a memory file system needs root");
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", folder}); });
    m_media.restorePath();
    // Noise does not compress: its conversion writes about a megabyte a second.
    const QString noise = m_media.path(QStringLiteral("noise.mp4"));
    if (!QFile::exists(noise))
        QVERIFY(m_media.makeMedia(
            QStringLiteral("noise.mp4"),
            {"-f", "lavfi", "-i", "nullsrc=s=320x240:r=25:d=10,geq=random(1)*255:128:128", "-f",
             "lavfi", "-i", "sine=d=10", "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset",
             "ultrafast", "-crf", "30", "-c:a", "aac", "-shortest"}));
    const qint64 mib = FreeSpace::mebibyte;
    qint64 available = 0;
    qint64 total = 0;
    QCOMPARE(FreeSpace::measure(folder, available, total), 0);
    const QString filler = folder + QStringLiteral("/filler");
    QFile fill(filler);
    QVERIFY(fill.open(QIODevice::WriteOnly));
    const QByteArray block(int(mib), 'x');
    for (qint64 left = available - FreeSpace::limitFor(total) - roomAboveLimit * mib; left > 0;
         left -= block.size())
        QVERIFY(fill.write(block.constData(), qMin<qint64>(left, block.size())) > 0);
    fill.close();

    BatchQueue batch;
    BatchQueue *queue = &batch;
    queue->setOutputDirectory(folder);
    queue->setDiskCheckInterval(100);
    auto job = std::make_unique<ConversionJob>();
    AVSettings settings = makeAVSettings(0, QualityHigh, QualityMedium);
    settings.crf = 12;
    QCOMPARE(job->setInput(noise.toStdString(), settings), 0);
    ConversionJob *converting = queue->append(std::move(job));
    QSignalSpy low(queue, &BatchQueue::diskSpaceLow);
    QSignalSpy finished(queue, &BatchQueue::finished);
    QCOMPARE(queue->start(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(low.count(), 1, 60000);
    QVERIFY(queue->isPaused() && converting->isPaused());
    QCOMPARE(low.at(0).at(1).toLongLong(), FreeSpace::limitFor(total));
    QCOMPARE(FreeSpace::measure(folder, available, total), 0);
    QVERIFY2(available > mib, qPrintable(QString::number(available)));
    // What is written keeps its hidden temporary name.
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"filler"});
    if (roomAboveLimit < 0) {
        // Held from the start: the probe ends, and no transcoder starts.
        QTRY_COMPARE(TestMedia::childPids(), QList<qint64>());
        QTest::qWait(300);
        QVERIFY(!TestMedia::transcoderRuns());
    } else {
        QCOMPARE(TestMedia::childPids().size(), 1);
        QTRY_COMPARE(TestMedia::processState(TestMedia::childPids().first()), 'T');
    }

    if (!goOn) {
        queue->stop();
        QCOMPARE(converting->convertState(), int(Cancelled));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"filler"});
        return;
    }
    QVERIFY(QFile::remove(filler));
    queue->resume();
    QVERIFY(finished.wait(conversionTimeoutMs));
    QCOMPARE(converting->convertState(), int(Done));
    const QString output = QString::fromStdString(converting->outputPath());
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(output).fileName()});
    QVERIFY(TestMedia::decodesCleanly(output));
    QCOMPARE(low.count(), 1);
}

void TestRealTranscoder::twoPasses_data()
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
void TestRealTranscoder::twoPasses()
{
    QFETCH(int, pass);
    QFETCH(bool, cancel);
    QFETCH(int, size);
    ConversionJob job;
    QVERIFY(bind(job, m_longClip));
    AVSettings vp9 = makeAVSettings(5, QualityLow, QualityLow);
    setVideoCodec(vp9, VideoVp9);
    vp9.r = size;
    job.setSettings(vp9);
    QSignalSpy done(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_outDir), 0);
    const QDir out(QString::fromStdString(m_outDir));
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
    const int progress = settledProgress(job);
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

QTEST_GUILESS_MAIN(TestRealTranscoder)
#include "test_realtranscoder.moc"
