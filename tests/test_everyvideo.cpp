#include "app/SingleInstance.h"
#include "batch/BatchQueue.h"
#include "convert/ConversionJob.h"
#include "gui/InputItem.h"
#include "params/ParamTables.h"
#include "tests/DialogAnswerer.h"
#include "tests/EventLoopWatch.h"
#include "tests/FileDrop.h"
#include "tests/QuellixTestMain.h"
#include "tests/TestMedia.h"
#include "tests/WindowFixture.h"

#include <QComboBox>
#include <QListWidget>
#include <QLocalServer>
#include <QProcess>
#include <QRegularExpression>

namespace
{

constexpr int batchTimeoutMs = 240000;
// The longest turn while 10,000 files of a folder are listed: a drop of as many files stays near
// 35 ms, and listing them in one go takes seconds (tens under the sanitizers, where every
// allocation unwinds its stack the slow way). The bounds leave room for a loaded machine.
#ifdef QUELLIX_SANITIZED
constexpr qint64 maxFolderStallMs = 3000;
#else
constexpr qint64 maxFolderStallMs = 300;
#endif

// The first frame's mean luma after `filter` (none: as the file decodes); -1 when unknown.
double meanLuma(const QString &file, const QString &filter)
{
    QProcess tool;
    const QString chain = (filter.isEmpty() ? QString() : filter + ",") +
                          "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-";
    tool.start(QStringLiteral("/usr/bin/ffmpeg"),
               {"-v", "error", "-i", file, "-vf", chain, "-frames:v", "1", "-f", "null", "-"});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return -1;
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("YAVG=([0-9.]+)")).match(tool.readAllStandardOutput());
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

// The turn the first video stream asks for on display; empty when none.
QString rotationOf(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("/usr/bin/ffprobe"),
               {"-v", "error", "-select_streams", "v:0", "-show_entries",
                "stream_side_data=rotation", "-of", "csv=p=0", file});
    tool.waitForFinished(60000);
    return QString::fromUtf8(tool.readAllStandardOutput()).remove(QLatin1Char(',')).trimmed();
}

QString tag(int vc)
{
    return QString::fromStdString(containerExts.at(vc)).mid(1);
}

} // namespace

// The videos people keep, through the main window and the real transcoder: surround sound and
// HDR pictures in every container, a download cut short, camera, phone and disc types in a
// dropped folder, files handed over by a later start; and what held before: rotation, variable
// frame rate, anamorphic pictures, a file gone before its turn.
class TestEveryVideo final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void surroundAndHdr_data();
    void surroundAndHdr();
    void sourceCutShort();
    void droppedFolder();
    void bigFolderKeepsAnswering();
    void commandLineAndLaterStart();
    void heldBefore();

private:
    // Lists the paths through the window and waits until they are all there.
    bool addAll(const QStringList &paths, int count);
    // Starts the batch and returns the summary's text.
    QString runBatch();

    TestMedia m_media;
    QString m_outDir;
    WindowFixture m_fixture;
    MainWindow *m_window = nullptr;
};

void TestEveryVideo::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    m_outDir = m_media.path(QStringLiteral("out"));
    const QStringList picture = {"-f", "lavfi", "-i", "testsrc2=d=1:s=160x90:r=10"};
    const auto surround = [](const char *layout, const char *rate) {
        return QStringList{"-f", "lavfi", "-i",
                           QStringLiteral("sine=d=1:sample_rate=%1,aformat=channel_layouts=%2")
                               .arg(QLatin1String(rate), QLatin1String(layout))};
    };
    const QStringList h264 = {"-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast"};
    QVERIFY(
        m_media.makeMedia(QStringLiteral("ac3 5.1.mkv"), picture + surround("5.1(side)", "48000") +
                                                             h264 + QStringList{"-c:a", "ac3"}));
    QVERIFY(
        m_media.makeMedia(QStringLiteral("aac 7.1.mp4"),
                          picture + surround("7.1", "48000") + h264 + QStringList{"-c:a", "aac"}));
    QVERIFY(
        m_media.makeMedia(QStringLiteral("flac 7.1 96k.mkv"),
                          picture + surround("7.1", "96000") + h264 + QStringList{"-c:a", "flac"}));
    QVERIFY(m_media.makeHdrClip(QStringLiteral("pq.mkv"), QStringLiteral("smpte2084")));
    QVERIFY(m_media.makeHdrClip(QStringLiteral("hlg.mp4"), QStringLiteral("arib-std-b67")));
    QVERIFY(m_media.makeCutClip(QStringLiteral("cut.mp4"), 10, 0.5));
}

void TestEveryVideo::init()
{
    QVERIFY(QDir().mkpath(m_outDir));
    QVERIFY(m_fixture.open(m_outDir));
    m_window = m_fixture.window();
}

void TestEveryVideo::cleanup()
{
    m_fixture.close();
    m_window = nullptr;
    QDir(m_outDir).removeRecursively();
    QVERIFY(TestMedia::childPids().isEmpty());
}

bool TestEveryVideo::addAll(const QStringList &paths, int count)
{
    m_window->addPaths(paths);
    QElapsedTimer clock;
    clock.start();
    while ((m_fixture.list()->count() < count || m_window->isAddingFiles()) &&
           clock.elapsed() < 60000)
        QTest::qWait(20);
    return m_fixture.list()->count() == count;
}

QString TestEveryVideo::runBatch()
{
    DialogAnswerer answerer;
    m_fixture.clickStart();
    if (!WindowFixture::waitForDialogs(answerer, 1, batchTimeoutMs))
        return QString();
    return answerer.texts.value(0);
}

void TestEveryVideo::surroundAndHdr_data()
{
    QTest::addColumn<int>("vc");
    for (int vc = 0; vc < 4; ++vc)
        QTest::newRow(qPrintable(tag(vc))) << vc;
}

// Encoders of at most two channels get stereo, AAC keeps the channels; a rate the encoder refuses
// becomes one it takes. PQ and HLG come out tone-mapped to SDR, tagged BT.709 or untagged.
void TestEveryVideo::surroundAndHdr()
{
    QFETCH(int, vc);
    const QStringList names = {"ac3 5.1.mkv", "aac 7.1.mp4", "flac 7.1 96k.mkv", "pq.mkv",
                               "hlg.mp4"};
    QStringList paths;
    for (const QString &name : names)
        paths << m_media.path(name);
    QVERIFY(addAll(paths, names.size()));
    m_fixture.child<QComboBox>("cboxVContainer")->setCurrentIndex(vc);
    QCOMPARE(runBatch(), WindowFixture::summary(names.size(), 0));

    const QList<int> channels = {6, 8, 8};
    for (int row = 0; row < names.size(); ++row) {
        const QString output = QString::fromStdString(m_fixture.job(row)->outputPath());
        QVERIFY2(output.endsWith(containerExts.at(vc).c_str()), qPrintable(output));
        QVERIFY(TestMedia::decodesCleanly(output));
        if (row < channels.size()) {
            const bool keeps = TestMedia::probeAudio(output, "codec_name") == "aac";
            QCOMPARE(TestMedia::probeAudio(output, "channels").toInt(), keeps ? channels[row] : 2);
            QVERIFY(TestMedia::probeAudio(output, "sample_rate").toInt() <= 48000);
            continue;
        }
        const QString transfer = TestMedia::probeVideo(output, "color_transfer");
        QVERIFY2(transfer == "bt709" || transfer == "unknown" || transfer.isEmpty(),
                 qPrintable(names[row] + ": " + transfer));
        const QString source = paths[row];
        const QString trc = row == 3 ? "smpte2084" : "arib-std-b67";
        const double reference = meanLuma(
            source, "zscale=tin=" + trc +
                        ":pin=bt2020:min=bt2020nc:t=linear:npl=100:p=bt2020,format=gbrpf32le,"
                        "zscale=p=bt709,tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,"
                        "format=yuv420p");
        const double plainCut = meanLuma(source, QStringLiteral("format=yuv420p"));
        const double converted = meanLuma(output, QString());
        QVERIFY(reference >= 0 && plainCut >= 0 && converted >= 0);
        QVERIFY2(qAbs(converted - reference) < 4 &&
                     qAbs(converted - reference) < qAbs(converted - plainCut),
                 qPrintable(QStringLiteral("%1: converted %2, tone-mapped %3, plain %4")
                                .arg(names[row])
                                .arg(converted)
                                .arg(reference)
                                .arg(plainCut)));
    }
}

// A download broken off half way is Done, with a warning on its row and in the summary.
void TestEveryVideo::sourceCutShort()
{
    const QString cut = m_media.path(QStringLiteral("cut.mp4"));
    const QString whole = m_media.path(QStringLiteral("whole-cut.mp4"));
    QVERIFY(addAll({cut, whole}, 2));
    const QString summary = runBatch();
    const QRegularExpression warning(
        QStringLiteral("^源文件可能不完整：只转换了 [3-6] 秒（共 10 秒）$"));
    const QString rowWarning = QString::fromStdString(m_fixture.job(0)->warning());
    QVERIFY2(warning.match(rowWarning).hasMatch(), qPrintable(rowWarning));
    QCOMPARE(m_fixture.job(0)->convertState(), int(Done));
    QCOMPARE(m_fixture.job(1)->convertState(), int(Done));
    QCOMPARE(m_fixture.job(1)->warning(), std::string());
    QVERIFY(m_fixture.row(0)->toolTip().endsWith(QLatin1Char('\n') + rowWarning));
    QVERIFY(!m_fixture.row(1)->toolTip().contains(QStringLiteral("源文件可能不完整")));
    QCOMPARE(summary, WindowFixture::summary(2, 0) + QStringLiteral("警告： 1 个\n") + cut + " : " +
                          rowWarning + "\n");
}

// A folder dropped on the window: the videos inside it and its subfolders in name order, camera,
// phone and disc types among them, any case; hidden files, other files and a link loop left out.
// Each converts.
void TestEveryVideo::droppedFolder()
{
    const QString folder = m_media.path(QStringLiteral("videos"));
    QVERIFY(QDir().mkpath(folder + "/sub/deeper"));
    const QStringList mpeg2 = {"-f",   "lavfi",      "-i",   "testsrc2=d=1:s=160x90:r=25",
                               "-f",   "lavfi",      "-i",   "sine=d=1:sample_rate=48000",
                               "-c:v", "mpeg2video", "-c:a", "mp2"};
    const QStringList h264 = {"-f",       "lavfi",     "-i",   "testsrc2=d=1:s=176x144:r=10",
                              "-f",       "lavfi",     "-i",   "sine=d=1:sample_rate=8000",
                              "-pix_fmt", "yuv420p",   "-c:v", "libx264",
                              "-preset",  "ultrafast", "-c:a", "aac"};
    const QStringList names = {"clip 2.MTS", "clip 10.m2ts",     "phone.3gp",       "sub/a.ts",
                               "sub/b.webm", "sub/deeper/c.VOB", "sub/deeper/d.m4v"};
    QVERIFY(m_media.makeMedia("videos/clip 2.MTS", h264 + QStringList{"-f", "mpegts"}));
    QVERIFY(m_media.makeMedia("videos/clip 10.m2ts", h264 + QStringList{"-f", "mpegts"}));
    QVERIFY(m_media.makeMedia("videos/phone.3gp", h264 + QStringList{"-ac", "1", "-f", "3gp"}));
    QVERIFY(m_media.makeMedia("videos/sub/a.ts", mpeg2 + QStringList{"-f", "mpegts"}));
    QVERIFY(m_media.makeMedia("videos/sub/b.webm",
                              {"-f", "lavfi", "-i", "testsrc2=d=1:s=160x90:r=10", "-f", "lavfi",
                               "-i", "sine=d=1:sample_rate=48000", "-c:v", "libvpx", "-deadline",
                               "realtime", "-c:a", "libopus"}));
    QVERIFY(m_media.makeMedia("videos/sub/deeper/c.VOB", mpeg2 + QStringList{"-f", "vob"}));
    QVERIFY(m_media.makeMedia("videos/sub/deeper/d.m4v", h264 + QStringList{"-f", "ipod"}));
    QVERIFY(QFile::copy(folder + "/phone.3gp", folder + "/.hidden.mp4"));
    QVERIFY(!m_media.makeFile(QStringLiteral("videos/notes.txt"), 10).isEmpty());
    QVERIFY(QFile::link(folder, folder + "/sub/deeper/loop"));
    // A folder named like a video is a folder, here an empty one, never a file to convert.
    QVERIFY(QDir().mkpath(folder + "/sub/folder.mp4"));
    QCOMPARE(m_window->addInputFile(QString(folder + "/sub/folder.mp4").toStdString()),
             BatchQueue::refused);

    QVERIFY(dropUrls(m_window, {QUrl::fromLocalFile(folder)}));
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture.list()->count(), names.size(), 20000);
    QTRY_VERIFY(!m_window->isAddingFiles());
    for (int row = 0; row < names.size(); ++row)
        QCOMPARE(QString::fromStdString(m_fixture.job(row)->inputPath()),
                 folder + "/" + names[row]);
    QCOMPARE(runBatch(), WindowFixture::summary(names.size(), 0));
}

// Ten thousand files in a dropped folder: the window answers while they are read and listed.
void TestEveryVideo::bigFolderKeepsAnswering()
{
    const QString folder = m_media.path(QStringLiteral("many"));
    QVERIFY(QDir().mkpath(folder));
    constexpr int files = 10000;
    for (int i = 0; i < files; ++i)
        QVERIFY(!m_media.makeFile(QStringLiteral("many/%1.mp4").arg(i, 5, 10, QLatin1Char('0')))
                     .isEmpty());
    EventLoopWatch watch;
    QElapsedTimer clock;
    clock.start();
    watch.start();
    QVERIFY(dropUrls(m_window, {QUrl::fromLocalFile(folder)}));
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture.list()->count(), files, 60000);
    QTRY_VERIFY(!m_window->isAddingFiles());
    watch.stop();
    qInfo("10,000 files in a folder: listed in %lld ms, longest turn %lld ms", clock.elapsed(),
          watch.longestStallMs());
    QVERIFY2(watch.longestStallMs() < maxFolderStallMs,
             qPrintable(QString::number(watch.longestStallMs())));
    QCOMPARE(QString::fromStdString(m_fixture.job(files - 1)->inputPath()), folder + "/09999.mp4");
    QDir(folder).removeRecursively();
}

// Files and folders given at start are listed; a later start of the real program hands its two
// files to this window and ends with success.
void TestEveryVideo::commandLineAndLaterStart()
{
    const QString one = m_media.path(QStringLiteral("ac3 5.1.mkv"));
    const QString two = m_media.path(QStringLiteral("pq.mkv"));
    const QString folder = m_media.path(QStringLiteral("given"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(m_media.path(QStringLiteral("hlg.mp4")), folder + "/x.mp4"));
    QVERIFY(addAll({one, folder}, 2));
    QCOMPARE(QString::fromStdString(m_fixture.job(1)->inputPath()), folder + "/x.mp4");

    const QString runtimeDir = m_media.path(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(runtimeDir));
    QVERIFY(
        QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir));
    SingleInstance instance;
    const int listening = instance.listen();
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    QCOMPARE(listening, 0);
    connect(&instance, &SingleInstance::pathsReceived, m_window, &MainWindow::openPaths);

    QProcess later;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    later.setProcessEnvironment(environment);
    later.start(QStringLiteral(QUELLIX_PROGRAM), {one, two, m_media.path("nothing.mp4")});
    QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 20000);
    QCOMPARE(later.exitCode(), 0);
    // The one listed already and the missing one are refused as a drop would refuse them.
    QTRY_COMPARE(m_fixture.list()->count(), 3);
    QTRY_VERIFY(!m_window->isAddingFiles());
    QCOMPARE(QString::fromStdString(m_fixture.job(2)->inputPath()), two);
}

// Rotation (the output stands upright), variable frame rate (sound and picture end together),
// anamorphic pixels (the display aspect stays), and a file gone before its turn (it fails, the
// batch goes on).
void TestEveryVideo::heldBefore()
{
    const auto clip = [this](const QString &name, const QString &size, const QStringList &more) {
        return m_media.makeMedia(
            name, QStringList{"-f", "lavfi", "-i", "testsrc2=d=2:r=30:s=" + size, "-f", "lavfi",
                              "-i", "sine=d=2", "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset",
                              "ultrafast", "-c:a", "aac", "-shortest"} +
                      more);
    };
    // The turn is set on a copied stream: an encoder would drop it.
    QVERIFY(clip(QStringLiteral("upright.mp4"), QStringLiteral("160x96"), {}));
    QVERIFY(m_media.makeMedia(QStringLiteral("turned.mp4"),
                              {"-i", m_media.path(QStringLiteral("upright.mp4")), "-c", "copy",
                               "-metadata:s:v:0", "rotate=90"}));
    QCOMPARE(rotationOf(m_media.path(QStringLiteral("turned.mp4"))), QStringLiteral("90"));
    QVERIFY(clip(QStringLiteral("vfr.mkv"), QStringLiteral("160x96"),
                 {"-vf", "select='not(between(n,10,40))'", "-fps_mode", "vfr"}));
    QVERIFY(
        clip(QStringLiteral("anamorphic.mkv"), QStringLiteral("160x120"), {"-vf", "setsar=4/3"}));
    const QString gone = m_media.path(QStringLiteral("gone.mp4"));
    QVERIFY(QFile::copy(m_media.path(QStringLiteral("hlg.mp4")), gone));
    QVERIFY(addAll(
        {gone, m_media.path("turned.mp4"), m_media.path("vfr.mkv"), m_media.path("anamorphic.mkv")},
        4));
    QVERIFY(QFile::remove(gone));
    QCOMPARE(runBatch(),
             WindowFixture::summary(3, 0, {gone, QStringLiteral("文件或文件夹不存在！\n")}));

    const QString turned = QString::fromStdString(m_fixture.job(1)->outputPath());
    QCOMPARE(TestMedia::probeVideo(turned, "width,height"), QStringLiteral("96,160"));
    QCOMPARE(rotationOf(turned), QString());
    const QString vfr = QString::fromStdString(m_fixture.job(2)->outputPath());
    const double videoSeconds = TestMedia::probeVideo(vfr, "duration").toDouble();
    const double audioSeconds = TestMedia::probeAudio(vfr, "duration").toDouble();
    QVERIFY2(qAbs(videoSeconds - audioSeconds) < 0.3,
             qPrintable(QStringLiteral("%1 / %2").arg(videoSeconds).arg(audioSeconds)));
    const QString wide = QString::fromStdString(m_fixture.job(3)->outputPath());
    QCOMPARE(TestMedia::probeVideo(wide, "display_aspect_ratio"), QStringLiteral("16:9"));
}

QUELLIX_TEST_MAIN(TestEveryVideo)
#include "test_everyvideo.moc"
