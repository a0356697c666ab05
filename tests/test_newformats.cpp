#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "WindowFixture.h"
#include "convert/ConversionJob.h"
#include "gui/InputItem.h"
#include "gui/MainWindow.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QtTest>

namespace
{

constexpr int batchTimeoutMs = 240000;
// An HDR10 source as a camera or a grading tool writes it: PQ with its mastering display and
// light levels in the stream.
const char *const hdr10Parameters =
    "log-level=error:hdr10-opt=1:repeat-headers=1:colorprim=bt2020:transfer=smpte2084:"
    "colormatrix=bt2020nc:master-display=G(13250,34500)B(7500,3000)R(34000,16000)"
    "WP(15635,16450)L(10000000,1):max-cll=1000,400";

// The side data types of the first video frame: what a player reads of HDR10's metadata.
QStringList frameSideData(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("/usr/bin/ffprobe"),
               {"-v", "error", "-select_streams", "v:0", "-show_frames", "-read_intervals", "%+#1",
                "-print_format", "json", file});
    tool.waitForFinished(60000);
    QStringList types;
    const QJsonArray frames =
        QJsonDocument::fromJson(tool.readAllStandardOutput()).object().value("frames").toArray();
    for (const QJsonValue &frame : frames) {
        const QJsonArray sideData = frame.toObject().value("side_data_list").toArray();
        for (const QJsonValue &entry : sideData)
            types << entry.toObject().value("side_data_type").toString();
    }
    return types;
}

} // namespace

// MKV and WebM with AV1, VP9 and Opus through the main window and the real transcoder: each
// container with each codec it offers, copies it can and cannot hold, and HDR sources that keep
// their 10 bits where the output can carry them and are tone-mapped where it cannot.
class TestNewFormats final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formats_data();
    void formats();
    void hdr_data();
    void hdr();

private:
    // Lists the file through the window with the panel's container and the codecs given (-1:
    // as the container gives them), converts it and returns the summary.
    QString convert(const QString &name, int vc, int cv, int ca);

    TestMedia m_media;
    QString m_outDir;
    WindowFixture m_fixture;
};

void TestNewFormats::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(m_media.makeClip(QStringLiteral("clip.mp4"), 1, QStringLiteral("320x240")));
    QVERIFY(m_media.makeMedia(QStringLiteral("vp9.webm"),
                              {"-f", "lavfi", "-i", "testsrc=d=1:s=320x240:r=10", "-f", "lavfi",
                               "-i", "sine=d=1:sample_rate=48000", "-c:v", "libvpx-vp9",
                               "-deadline", "realtime", "-c:a", "libopus"}));
    QVERIFY(m_media.makeMedia(QStringLiteral("surround.mkv"),
                              {"-f", "lavfi", "-i", "testsrc=d=1:s=320x240:r=10", "-f", "lavfi",
                               "-i", "sine=d=1:sample_rate=44100,aformat=channel_layouts=5.1(side)",
                               "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast",
                               "-c:a", "ac3"}));
    QVERIFY(m_media.makeMedia(QStringLiteral("hdr10.mkv"),
                              {"-f", "lavfi", "-i", "testsrc2=d=1:s=160x90:r=10", "-pix_fmt",
                               "yuv420p10le", "-c:v", "libx265", "-preset", "ultrafast",
                               "-x265-params", hdr10Parameters, "-color_primaries", "bt2020",
                               "-color_trc", "smpte2084", "-colorspace", "bt2020nc"}));
    QVERIFY(m_media.makeHdrClip(QStringLiteral("hlg.mp4"), QStringLiteral("arib-std-b67")));
}

void TestNewFormats::init()
{
    QVERIFY(QDir().mkpath(m_outDir));
    QVERIFY(m_fixture.open(m_outDir));
}

void TestNewFormats::cleanup()
{
    m_fixture.close();
    QDir(m_outDir).removeRecursively();
    QVERIFY(TestMedia::childPids().isEmpty());
}

QString TestNewFormats::convert(const QString &name, int vc, int cv, int ca)
{
    if (!m_fixture.add(m_media.path(name)))
        return QStringLiteral("not listed");
    m_fixture.list()->setCurrentRow(0);
    m_fixture.child<QComboBox>("cboxVContainer")->setCurrentIndex(vc);
    ConversionJob *job = m_fixture.job(0);
    AVSettings settings = job->settings();
    if (cv != -1)
        setVideoCodec(settings, cv);
    if (ca != -1)
        setAudioCodec(settings, ca);
    job->setSettings(settings);
    DialogAnswerer answerer;
    m_fixture.clickStart();
    if (!WindowFixture::waitForDialogs(answerer, 1, batchTimeoutMs))
        return QStringLiteral("no summary");
    return answerer.texts.value(0);
}

void TestNewFormats::formats_data()
{
    // -1 for a codec: the container's own. What ffprobe names in the output, "" for a failure.
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("vc");
    QTest::addColumn<int>("cv");
    QTest::addColumn<int>("ca");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio");
    QTest::addColumn<QString>("failure");
    const QString clip = QStringLiteral("clip.mp4");
    QTest::newRow("MKV as the panel gives it") << clip << 4 << -1 << -1 << "h264"
                                               << "aac" << QString();
    QTest::newRow("MKV DivX MP3") << clip << 4 << 0 << 1 << "mpeg4"
                                  << "mp3" << QString();
    QTest::newRow("MKV Xvid WMAv2") << clip << 4 << 1 << 2 << "mpeg4"
                                    << "wmav2" << QString();
    QTest::newRow("MKV H.265 Opus") << clip << 4 << 3 << 4 << "hevc"
                                    << "opus" << QString();
    QTest::newRow("MKV WMV2 AAC") << clip << 4 << 4 << 0 << "wmv2"
                                  << "aac" << QString();
    QTest::newRow("MKV FLV1 MP3") << clip << 4 << 5 << 1 << "flv1"
                                  << "mp3" << QString();
    QTest::newRow("MKV AV1 Opus") << clip << 4 << 7 << 4 << "av1"
                                  << "opus" << QString();
    QTest::newRow("MKV VP9 AAC") << clip << 4 << 8 << 0 << "vp9"
                                 << "aac" << QString();
    QTest::newRow("MKV copies H.264 and AC-3 5.1") << "surround.mkv" << 4 << 6 << 3 << "h264"
                                                   << "ac3" << QString();
    QTest::newRow("WebM as the panel gives it: AV1 Opus") << clip << 5 << -1 << -1 << "av1"
                                                          << "opus" << QString();
    QTest::newRow("WebM VP9 Opus, 5.1(side) in a layout Opus takes")
        << "surround.mkv" << 5 << 8 << 4 << "vp9"
        << "opus" << QString();
    QTest::newRow("WebM copies VP9 and Opus") << "vp9.webm" << 5 << 6 << 3 << "vp9"
                                              << "opus" << QString();
    QTest::newRow("WebM AV1 with Opus copied") << "vp9.webm" << 5 << 7 << 3 << "av1"
                                               << "opus" << QString();
    QTest::newRow("WebM cannot hold H.264 as a copy")
        << clip << 5 << 6 << 4 << ""
        << ""
        << "无法直接复制：WebM 格式不能容纳 H264 视频";
    QTest::newRow("MP4 AV1 Opus") << clip << 0 << 7 << 4 << "av1"
                                  << "opus" << QString();
}

void TestNewFormats::formats()
{
    QFETCH(QString, source);
    QFETCH(int, vc);
    QFETCH(int, cv);
    QFETCH(int, ca);
    QFETCH(QString, video);
    QFETCH(QString, audio);
    QFETCH(QString, failure);
    const QString summary = convert(source, vc, cv, ca);
    ConversionJob *job = m_fixture.job(0);
    if (!failure.isEmpty()) {
        QVERIFY2(summary.contains(failure), qPrintable(summary));
        QCOMPARE(job->convertState(), int(Failed));
        // Nothing was started, nothing left behind.
        QCOMPARE(QDir(m_outDir).entryList(QDir::Files | QDir::Hidden), QStringList());
        return;
    }
    QCOMPARE(summary, WindowFixture::summary(1, 0));
    const QString output = QString::fromStdString(job->outputPath());
    QVERIFY2(output.endsWith(QString::fromStdString(containerExts.at(vc))), qPrintable(output));
    QCOMPARE(TestMedia::probeVideo(output, "codec_name"), video);
    QCOMPARE(TestMedia::probeAudio(output, "codec_name"), audio);
    QVERIFY(TestMedia::decodesCleanly(output));
    if (cv != 6)
        QCOMPARE(TestMedia::probeVideo(output, "pix_fmt"), QStringLiteral("yuv420p"));
    if (audio == "opus") {
        QCOMPARE(TestMedia::probeAudio(output, "sample_rate"), QStringLiteral("48000"));
        // The clips' sine is mono.
        const int channels = source == "surround.mkv" ? 6 : 1;
        QCOMPARE(TestMedia::probeAudio(output, "channels").toInt(), channels);
    }
    // Only the output remains: no temporary file, no first pass's statistics.
    QCOMPARE(QDir(m_outDir).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(output).fileName()});
}

void TestNewFormats::hdr_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("vc");
    QTest::addColumn<int>("cv");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<bool>("mastering"); // the output's stream carries HDR10's metadata
    for (const char *source : {"hdr10.mkv", "hlg.mp4"}) {
        const bool hdr10 = QByteArray(source) == "hdr10.mkv";
        const QByteArray name = QByteArray(source) + " into ";
        QTest::newRow(QByteArray(name + "H.265 MKV").constData())
            << source << 4 << 3 << true << hdr10;
        QTest::newRow(QByteArray(name + "AV1 MKV").constData())
            << source << 4 << 7 << true << hdr10;
        QTest::newRow(QByteArray(name + "VP9 WebM").constData())
            << source << 5 << 8 << true << false;
        QTest::newRow(QByteArray(name + "H.264 MP4").constData())
            << source << 0 << 2 << false << false;
    }
}

// 10 bits, the source's transfer and colours and, where the encoder can write them, the
// mastering display and light levels; SDR BT.709 where the output cannot carry HDR. The row
// says which.
void TestNewFormats::hdr()
{
    QFETCH(QString, source);
    QFETCH(int, vc);
    QFETCH(int, cv);
    QFETCH(bool, kept);
    QFETCH(bool, mastering);
    QCOMPARE(convert(source, vc, cv, -1), WindowFixture::summary(1, 0));
    const QString output = QString::fromStdString(m_fixture.job(0)->outputPath());
    QVERIFY(TestMedia::decodesCleanly(output));
    const QString transfer = source == "hlg.mp4" ? "arib-std-b67" : "smpte2084";
    QCOMPARE(TestMedia::probeVideo(output, "pix_fmt"), kept ? "yuv420p10le" : "yuv420p");
    QCOMPARE(TestMedia::probeVideo(output, "color_transfer"), kept ? transfer : "bt709");
    QCOMPARE(TestMedia::probeVideo(output, "color_primaries"), kept ? "bt2020" : "bt709");
    const QStringList sideData = frameSideData(output);
    QCOMPARE(sideData.contains("Mastering display metadata"), mastering);
    QCOMPARE(sideData.contains("Content light level metadata"), mastering);
    QVERIFY(m_fixture.row(0)->toolTip().contains(kept ? "\nHDR 保留" : "\nHDR 转为 SDR"));
}

QUELLIX_TEST_MAIN(TestNewFormats)
#include "test_newformats.moc"
