#include "convert/ConversionJob.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace
{

constexpr int conversionTimeoutMs = 120000;

// The byte offset of one audio packet of a file, as the prober reports it; -1 when unknown.
qint64 audioPacketOffset(const QString &file, int packet)
{
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/ffprobe"),
                {"-v", "error", "-select_streams", "a:0", "-show_entries", "packet=pos", "-of",
                 "csv=p=0", file});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return -1;
    const QList<QByteArray> offsets = probe.readAllStandardOutput().split('\n');
    bool ok = false;
    const qint64 offset = offsets.value(packet).trimmed().toLongLong(&ok);
    return ok ? offset : -1;
}

// Overwrites `bytes` at `offset` of the file.
bool overwrite(const QString &file, qint64 offset, const QByteArray &bytes)
{
    QFile damaged(file);
    return offset >= 0 && damaged.open(QIODevice::ReadWrite) && damaged.seek(offset) &&
           damaged.write(bytes) == bytes.size();
}

} // namespace

// Files as people have them, made at test time: damaged packets, odd frame sizes, 10-bit and
// 4:4:4 pictures, no audio, no known duration. Each converts with the default settings of every
// container, is Done, and plays: 4:2:0 in 8 bits, even sizes, the input's duration.
class TestRealFiles final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void converts_data();
    void converts();

private:
    TestMedia m_media;
};

void TestRealFiles::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    QVERIFY(QDir().mkpath(m_media.path(QStringLiteral("out"))));
    const QStringList picture = {"-f", "lavfi", "-i", "testsrc=d=3:s=320x240:r=25"};
    const QStringList oddPicture = {"-f", "lavfi", "-i", "testsrc=d=3:s=641x361:r=25"};
    const QStringList tone = {"-f", "lavfi", "-i", "sine=d=3:sample_rate=44100"};
    const QStringList shortest = {"-shortest"};

    // MPEG-4 with MP3 or AC-3 in AVI, one audio packet damaged so that decoding it fails while
    // the transcoder goes on.
    QVERIFY(m_media.makeMedia(QStringLiteral("damaged mp3.avi"),
                              picture + tone + QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"}));
    const QString mp3 = m_media.path(QStringLiteral("damaged mp3.avi"));
    QVERIFY(overwrite(mp3, audioPacketOffset(mp3, 40), QByteArray(4, '\0'))); // frame header
    QVERIFY(m_media.makeMedia(QStringLiteral("damaged ac3.avi"),
                              picture + tone + QStringList{"-c:v", "mpeg4", "-c:a", "ac3"}));
    const QString ac3 = m_media.path(QStringLiteral("damaged ac3.avi"));
    QVERIFY(overwrite(ac3, audioPacketOffset(ac3, 40) + 6, QByteArray(2, '\0'))); // audio block

    QVERIFY(m_media.makeMedia(QStringLiteral("odd vp9.mkv"),
                              oddPicture + tone +
                                  QStringList{"-c:v", "libvpx-vp9", "-deadline", "realtime",
                                              "-cpu-used", "8", "-c:a", "libopus"} +
                                  shortest));
    // MJPEG pictures are 4:4:4 in full range, which the encoder would otherwise keep.
    QVERIFY(m_media.makeMedia(QStringLiteral("odd mjpeg.avi"),
                              oddPicture + tone +
                                  QStringList{"-c:v", "mjpeg", "-c:a", "pcm_s16le"} + shortest));
    QVERIFY(m_media.makeMedia(QStringLiteral("odd ffv1 no audio.mkv"),
                              {"-f", "lavfi", "-i", "testsrc=d=3:s=161x121:r=10", "-c:v", "ffv1"}));
    QVERIFY(m_media.makeMedia(QStringLiteral("hevc 10 bit.mkv"),
                              picture + tone +
                                  QStringList{"-c:v", "libx265", "-preset", "ultrafast", "-pix_fmt",
                                              "yuv420p10le", "-c:a", "aac"} +
                                  shortest));
    QVERIFY(m_media.makeMedia(
        QStringLiteral("rgb.mkv"),
        picture + tone + QStringList{"-c:v", "libx264rgb", "-preset", "ultrafast", "-c:a", "aac"} +
            shortest));
    // Written as a live stream: the file tells no duration.
    QVERIFY(m_media.makeMedia(QStringLiteral("live.mkv"),
                              picture + tone +
                                  QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
                                              "yuv420p", "-c:a", "aac", "-f", "matroska", "-live",
                                              "1"} +
                                  shortest));
    QCOMPARE(TestMedia::probeDuration(m_media.path(QStringLiteral("live.mkv"))), -1.0);
}

void TestRealFiles::converts_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("vc");
    QTest::addColumn<QString>("size");   // of the output's picture
    QTest::addColumn<QString>("damage"); // the transcoder's line that the row's note quotes
    const QList<QStringList> inputs = {
        {"damaged mp3.avi", "320,240", "Error while decoding stream #0:1: Invalid data found"},
        {"damaged ac3.avi", "320,240", "corrupt decoded frame in stream 1"},
        {"odd vp9.mkv", "640,360", ""},
        {"odd mjpeg.avi", "640,360", ""},
        {"odd ffv1 no audio.mkv", "160,120", ""},
        {"hevc 10 bit.mkv", "320,240", ""},
        {"rgb.mkv", "320,240", ""},
        {"live.mkv", "320,240", ""},
    };
    for (const QStringList &input : inputs) {
        for (int vc = 0; vc < 4; ++vc) {
            const QString tag =
                input[0] + " to " + QString::fromStdString(containerExts.at(vc)).mid(1);
            QTest::newRow(tag.toUtf8().constData()) << input[0] << vc << input[1] << input[2];
        }
    }
}

void TestRealFiles::converts()
{
    QFETCH(QString, input);
    QFETCH(int, vc);
    QFETCH(QString, size);
    QFETCH(QString, damage);
    const QString path = m_media.path(input);
    ConversionJob job;
    QCOMPARE(job.setInput(path.toStdString(), makeAVSettings(vc, QualityMedium, QualityMedium)), 0);
    QSignalSpy finished(&job, &ConversionJob::finished);
    QCOMPARE(job.start(m_media.path(QStringLiteral("out")).toStdString()), 0);
    QVERIFY(finished.wait(conversionTimeoutMs));
    QCOMPARE(QString::fromStdString(job.errorText()), QString());
    QCOMPARE(job.convertState(), int(Done));
    QCOMPARE(job.progress(), 100);
    QCOMPARE(QString::fromStdString(job.note()).contains(damage) && !damage.isEmpty(),
             !damage.isEmpty());
    if (damage.isEmpty())
        QCOMPARE(QString::fromStdString(job.note()), QString());

    const QString output = QString::fromStdString(job.outputPath());
    QCOMPARE(TestMedia::probeVideo(output, QStringLiteral("pix_fmt")), QStringLiteral("yuv420p"));
    QCOMPARE(TestMedia::probeVideo(output, QStringLiteral("width,height")), size);
    // Three seconds went in, whether or not the input said so.
    QVERIFY2(qAbs(TestMedia::probeDuration(output) - 3.0) <= 0.5,
             qPrintable(QString::number(TestMedia::probeDuration(output))));
    QVERIFY(TestMedia::decodesCleanly(output));
    QFile::remove(output);
}

QTEST_GUILESS_MAIN(TestRealFiles)
#include "test_realfiles.moc"
