#include "convert/SourceProbe.h"
#include "tests/EventLoopWatch.h"
#include "tests/TestMedia.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace
{

const QStringList picture = {"-f", "lavfi", "-i", "testsrc2=d=1:s=160x90:r=10"};
const QStringList h264 = {"-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast"};

} // namespace

class TestSourceProbe final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scriptedProber_data();
    void scriptedProber();
    void missingProber();
    void slowProberLeavesTheLoopFree();
    void parse_data();
    void parse();
    void hdrMetadata_data();
    void hdrMetadata();
    void unreadableLeavesInfoAlone();
    void everyStream();

private:
    // Runs a probe to its end; the result, or 1 when no end came.
    int probe(SourceProbe &prober, const QString &file, int limitMs = 15000);

    TestMedia m_media;
};

void TestSourceProbe::initTestCase()
{
    QVERIFY(m_media.isValid());
    QVERIFY(
        m_media.makeMedia("surround.mkv", picture +
                                              QStringList{"-f", "lavfi", "-i", "sine=d=1", "-af",
                                                          "aformat=channel_layouts=5.1"} +
                                              h264 + QStringList{"-c:a", "ac3"}));
    QVERIFY(m_media.makeMedia("upright.mp4", picture + h264));
}

int TestSourceProbe::probe(SourceProbe &prober, const QString &file, int limitMs)
{
    QSignalSpy ended(&prober, &SourceProbe::finished);
    const int started = prober.start(file, limitMs);
    if (started != ProbeOk)
        return started;
    if (!ended.wait(limitMs + 5000) || ended.size() != 1)
        return 1;
    return ended.first().first().toInt();
}

void TestSourceProbe::scriptedProber_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("result");
    QTest::newRow("hangs") << QByteArray("exec sleep 30") << int(ProbeTimedOut);
    QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << int(ProbeCrashed);
    QTest::newRow("prints no description")
        << QByteArray("echo '{\"format\":{}}'") << int(ProbeUnreadable);
    QTest::newRow("prints nonsense") << QByteArray("echo nonsense") << int(ProbeUnreadable);
    QTest::newRow("fails") << QByteArray("echo 'no such thing' >&2; exit 1") << int(ProbeRefused);
    // More than a pipe holds, all written before the prober ends.
    QTest::newRow("long description")
        << QByteArray("head -c 300000 /dev/zero | tr '\\0' ' '; "
                      "echo '{\"streams\":[{\"codec_type\":\"video\"}],\"format\":{}}'")
        << int(ProbeOk);
}

void TestSourceProbe::scriptedProber()
{
    QFETCH(QByteArray, script);
    QFETCH(int, result);
    const QString program = m_media.path("prober");
    QVERIFY(TestMedia::writeScript(program, script));
    SourceProbe prober;
    prober.setProgram(program);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(probe(prober, m_media.path("upright.mp4"), 500), result);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!prober.running());
    // No prober is left behind, killed or ended.
    QTRY_VERIFY(TestMedia::childPids().isEmpty());
    // The object takes the next file as if nothing had happened.
    prober.setProgram(QStringLiteral("ffprobe"));
    QCOMPARE(probe(prober, m_media.path("upright.mp4")), int(ProbeOk));
    QVERIFY(prober.info().hasVideo);
}

void TestSourceProbe::missingProber()
{
    SourceProbe prober;
    QSignalSpy ended(&prober, &SourceProbe::finished);
    prober.setProgram(QStringLiteral("no-such-prober-here"));
    QCOMPARE(prober.start(m_media.path("upright.mp4")), int(ProbeNotStarted));
    prober.setProgram(QStringLiteral("ffprobe"));
    QCOMPARE(prober.start(m_media.path("upright.mp4")), int(ProbeOk));
    QCOMPARE(prober.start(m_media.path("upright.mp4")), int(ProbeRunning));
    prober.cancel();
    QVERIFY(!prober.running());
    QTest::qWait(100);
    QCOMPARE(ended.size(), 0);
}

void TestSourceProbe::slowProberLeavesTheLoopFree()
{
    // The prober holds its answer until the loop has turned a while: a wait for the prober would
    // hold the loop until the prober gives up, a minute later.
    const QString release = m_media.path("release");
    const QString program = m_media.path("slow-prober");
    QVERIFY(
        TestMedia::writeScript(program, TestMedia::untilExists(release) + "; exec ffprobe \"$@\""));
    SourceProbe prober;
    prober.setProgram(program);
    QSignalSpy ended(&prober, &SourceProbe::finished);
    EventLoopWatch watch;
    QCOMPARE(prober.start(m_media.path("surround.mkv")), int(ProbeOk));
    QTRY_VERIFY_WITH_TIMEOUT(watch.gaps().size() >= 20, 60000);
    QVERIFY(TestMedia::writeFile(release, QByteArray()));
    QVERIFY(ended.wait(60000));
    watch.stop();
    QCOMPARE(prober.result(), int(ProbeOk));
    QVERIFY2(watch.longestStallMs() < 5000, qPrintable(QString::number(watch.longestStallMs())));
    QCOMPARE(prober.info().audioChannels, 6);
}

void TestSourceProbe::parse_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("summary"); // WxH rotation transfer channels rate duration
    QTest::newRow("numbers as texts or numbers")
        << QByteArray(R"({"streams":[{"codec_type":"video","width":"640","height":360},
            {"codec_type":"audio","channels":2,"sample_rate":"48000"}],
            "format":{"duration":"12.5"}})")
        << "640x360 0 - 2 48000 12.5";
    QTest::newRow("largest picture, cover art left out, most channels")
        << QByteArray(R"({"streams":[{"codec_type":"video","width":320,"height":240},
            {"codec_type":"audio","channels":2,"sample_rate":"44100"},
            {"codec_type":"video","width":1920,"height":1080,"disposition":{"attached_pic":1}},
            {"codec_type":"video","width":1280,"height":720,"color_transfer":"arib-std-b67"},
            {"codec_type":"audio","channels":6,"sample_rate":"48000"},
            {"codec_type":"audio","channels":6,"sample_rate":"96000"}]})")
        << "1280x720 0 arib-std-b67 6 48000 -1";
    QTest::newRow("display matrix turned the other way")
        << QByteArray(R"({"streams":[{"codec_type":"video","width":4,"height":2,
            "side_data_list":[{"side_data_type":"Display Matrix","rotation":-90}],
            "tags":{"rotate":"180"}}]})")
        << "4x2 270 - 0 0 -1";
    QTest::newRow("rotate tag alone")
        << QByteArray(R"({"streams":[{"codec_type":"video","width":4,"height":2,
            "tags":{"rotate":"450"}}]})")
        << "4x2 90 - 0 0 -1";
    QTest::newRow("length from the longest stream when the file tells none")
        << QByteArray(R"({"streams":[{"codec_type":"video","duration":"3.0"},
            {"codec_type":"audio","duration":"4.5"},{"codec_type":"data","duration":"99"}],
            "format":{"duration":"N/A"}})")
        << "0x0 0 - 0 0 4.5";
    QTest::newRow("nonsense numbers")
        << QByteArray(R"({"streams":[{"codec_type":"video","width":1e300,"height":"inf",
            "side_data_list":[{"rotation":"x"}]},{"codec_type":"audio","channels":-5}],
            "format":{"duration":"-3"}})")
        << "0x0 0 - -5 0 -1";
    QTest::newRow("no streams") << QByteArray(R"({"streams":[],"format":{"duration":"2"}})")
                                << "0x0 0 - 0 0 2";
}

void TestSourceProbe::parse()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, summary);
    SourceInfo info;
    QCOMPARE(parseProbeOutput(json, info), int(ProbeOk));
    QCOMPARE(QStringLiteral("%1x%2 %3 %4 %5 %6 %7")
                 .arg(info.width)
                 .arg(info.height)
                 .arg(info.rotation)
                 .arg(info.colorTransfer.empty() ? QStringLiteral("-")
                                                 : QString::fromStdString(info.colorTransfer))
                 .arg(info.audioChannels)
                 .arg(info.audioSampleRate)
                 .arg(info.durationSeconds),
             summary);
}

void TestSourceProbe::hdrMetadata_data()
{
    // The mastering display (green, blue, red, white x y; max, min luminance), then the content
    // light levels.
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("metadata");
    const QByteArray pq = R"({"codec_type":"video","index":0,"color_transfer":"smpte2084")";
    const QByteArray mastering =
        R"({"side_data_type":"Mastering display metadata","red_x":"34000/50000",
        "red_y":"16000/50000","green_x":"13250/50000","green_y":"34500/50000",
        "blue_x":"7500/50000","blue_y":"3000/50000","white_point_x":"15635/50000",
        "white_point_y":"16450/50000","min_luminance":"1/10000","max_luminance":"10000000/10000"})";
    const QByteArray light =
        R"({"side_data_type":"Content light level metadata","max_content":1000,"max_average":400})";
    const QString hdr10 = "0.265 0.69 0.15 0.06 0.68 0.32 0.3127 0.329 1000 0.0001 1000 400";
    const QString none = "0 0 0 0 0 0 0 0 0 0 0 0";
    QTest::newRow("the first frame's")
        << QByteArray(R"({"streams":[)" + pq + R"(}],"frames":[{"media_type":"video",
            "stream_index":0,"side_data_list":[)" +
                      mastering + "," + light + "]}]}")
        << hdr10;
    QTest::newRow("the stream's, as a container keeps it")
        << QByteArray(R"({"streams":[)" + pq + R"(,"side_data_list":[)" + mastering + "," + light +
                      "]}]}")
        << hdr10;
    QTest::newRow("light levels alone")
        << QByteArray(R"({"streams":[)" + pq + R"(}],"frames":[{"media_type":"video",
            "stream_index":0,"side_data_list":[)" +
                      light + "]}]}")
        << "0 0 0 0 0 0 0 0 0 0 1000 400";
    QTest::newRow("another stream's frame")
        << QByteArray(R"({"streams":[)" + pq + R"(},{"codec_type":"video","index":1}],
            "frames":[{"media_type":"video","stream_index":1,"side_data_list":[)" +
                      mastering + "]}]}")
        << none;
    QTest::newRow("an SDR picture's is not read")
        << QByteArray(R"({"streams":[{"codec_type":"video","index":0,"color_transfer":"bt709",
            "side_data_list":[)" +
                      mastering + "]}]}")
        << none;
}

void TestSourceProbe::hdrMetadata()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, metadata);
    SourceInfo info;
    QCOMPARE(parseProbeOutput(json, info), int(ProbeOk));
    QStringList values;
    for (const double value : info.mastering)
        values << QString::number(value);
    values << QString::number(info.masteringMaxLuminance)
           << QString::number(info.masteringMinLuminance) << QString::number(info.maxContentLight)
           << QString::number(info.maxAverageLight);
    QCOMPARE(values.join(' '), metadata);
}

void TestSourceProbe::unreadableLeavesInfoAlone()
{
    SourceInfo info;
    info.width = 7;
    for (const char *json : {"", "[]", "{\"streams\":{}}", "{\"streams\":[", "null"}) {
        QCOMPARE(parseProbeOutput(json, info), int(ProbeUnreadable));
        QCOMPARE(info.width, 7);
    }
}

// Each stream with what the command line picks and keeps by, the chapters and the file's tags.
void TestSourceProbe::everyStream()
{
    QVERIFY(
        TestMedia::writeFile(m_media.path("chapters.txt"),
                             ";FFMETADATA1\ntitle=影片\n[CHAPTER]\nTIMEBASE=1/10\nSTART=0\nEND=5\n"
                             "[CHAPTER]\nTIMEBASE=1/10\nSTART=5\nEND=10\n"));
    QVERIFY(
        TestMedia::writeFile(m_media.path("zh.srt"), "1\n00:00:00,000 --> 00:00:01,000\n你好\n"));
    QVERIFY(m_media.makeMedia("film.mkv", QStringList{"-f",
                                                      "lavfi",
                                                      "-i",
                                                      "testsrc2=d=1:s=160x90:r=25",
                                                      "-f",
                                                      "lavfi",
                                                      "-i",
                                                      "sine=d=1",
                                                      "-f",
                                                      "lavfi",
                                                      "-i",
                                                      "sine=d=1,aformat=channel_layouts=5.1",
                                                      "-i",
                                                      m_media.path("zh.srt"),
                                                      "-i",
                                                      m_media.path("chapters.txt"),
                                                      "-map",
                                                      "0",
                                                      "-map",
                                                      "1",
                                                      "-map",
                                                      "2",
                                                      "-map",
                                                      "3",
                                                      "-map_metadata",
                                                      "4",
                                                      "-map_chapters",
                                                      "4",
                                                      "-flags",
                                                      "+ilme+ildct",
                                                      "-top",
                                                      "1",
                                                      "-c:v",
                                                      "mpeg2video",
                                                      "-c:a",
                                                      "aac",
                                                      "-c:s",
                                                      "srt",
                                                      "-metadata:s:a:1",
                                                      "language=eng",
                                                      "-metadata:s:a:1",
                                                      "title=English",
                                                      "-disposition:a:0",
                                                      "0",
                                                      "-disposition:a:1",
                                                      "default",
                                                      "-metadata:s:s:0",
                                                      "language=chi"}));
    SourceProbe prober;
    QCOMPARE(probe(prober, m_media.path("film.mkv")), int(ProbeOk));
    const SourceInfo &info = prober.info();
    QStringList streams;
    for (const SourceStream &s : info.streams)
        streams << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                       .arg(s.index)
                       .arg(QString::fromStdString(s.codec), QString::fromStdString(s.language),
                            QString::fromStdString(s.title))
                       .arg(s.isDefault)
                       .arg(s.channels)
                       .arg(QString::fromStdString(s.fieldOrder))
                       .arg(s.frameRate);
    QCOMPARE(streams, QStringList({"0 mpeg2video   0 0 tt 25", "1 aac   0 1  0",
                                   "2 aac eng English 1 6  0", "3 subrip chi  0 0  0"}));
    QCOMPARE(info.videoIndex, 0);
    QCOMPARE(info.chapterCount, 2);
    QCOMPARE(QString::fromStdString(info.formatTag("TITLE")), QStringLiteral("影片"));
}

QTEST_GUILESS_MAIN(TestSourceProbe)
#include "test_sourceprobe.moc"
