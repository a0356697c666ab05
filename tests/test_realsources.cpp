#include "convert/EarlyEnd.h"
#include "convert/SourceProbe.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

// Real sources: what the prober reads of them, and the command line their probe makes: every audio
// into every container and audio encoder offered, HDR pictures tone-mapped, a source cut short
// noticed.
class TestRealSources final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void realFiles_data();
    void realFiles();
    void audio_data();
    void audio();
    void hdr_data();
    void hdr();
    void sourceCutShort_data();
    void sourceCutShort();

private:
    SourceInfo probe(const QString &file);
    // Runs a probe to its end; the result, or 1 when no end came.
    static int probeToEnd(SourceProbe &prober, const QString &file);
    // Converts `source` with the line its probe makes; the output's path, empty on failure.
    QString convert(const QString &source, int vc, int cv, int ca, const QString &name,
                    int audioLevel = QualityDefault);
    static QString probeAudio(const QString &file);
    static double meanLuma(const QString &file, const QString &filter);

    TestMedia m_media;
    // Of each HDR source: the mean luma tone-mapped by hand, and plainly cut to 8 bits.
    QHash<QString, std::pair<double, double>> m_referenceLuma;
};

namespace
{

const QStringList picture = {"-f", "lavfi", "-i", "testsrc2=d=1:s=160x90:r=10"};
const QStringList h264 = {"-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast"};

// Sound alone: the picture would only cost time here.
QStringList audioSource(const QString &layout, int rate, const QString &codec)
{
    return {"-f",   "lavfi",
            "-i",   QStringLiteral("sine=d=1:r=%1").arg(rate),
            "-af",  "aformat=channel_layouts=" + layout,
            "-c:a", codec};
}

QByteArray run(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    if (!*ok)
        qWarning().noquote() << process.readAllStandardError().right(600);
    return process.readAllStandardOutput();
}

} // namespace

void TestRealSources::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    QVERIFY(m_media.makeMedia("ac3-5.1.mkv", audioSource("5.1", 48000, "ac3")));
    QVERIFY(m_media.makeMedia("aac-5.1.mp4", audioSource("5.1", 48000, "aac")));
    QVERIFY(m_media.makeMedia("aac-7.1.mp4", audioSource("7.1", 48000, "aac")));
    QVERIFY(m_media.makeMedia("flac-5.1side.mkv", audioSource("5.1(side)", 48000, "flac")));
    QVERIFY(m_media.makeMedia("flac-7.1.mkv", audioSource("7.1", 96000, "flac")));
    QVERIFY(m_media.makeMedia("mono-11025.mkv", audioSource("mono", 11025, "pcm_s16le")));
    QVERIFY(m_media.makeMedia("stereo-8000.mkv", audioSource("stereo", 8000, "pcm_s16le")));
    QVERIFY(m_media.makeHdrClip("pq.mkv", "smpte2084"));
    QVERIFY(m_media.makeHdrClip("hlg.mp4", "arib-std-b67"));
    QVERIFY(
        m_media.makeMedia("surround.mkv", picture +
                                              QStringList{"-f", "lavfi", "-i", "sine=d=1", "-af",
                                                          "aformat=channel_layouts=5.1"} +
                                              h264 + QStringList{"-c:a", "ac3"}));
    QVERIFY(m_media.makeHdrClip("pq.mp4", "smpte2084"));
    QVERIFY(m_media.makeMedia("upright.mp4", picture + h264));
    QVERIFY(m_media.makeMedia("turned.mp4", {"-i", m_media.path("upright.mp4"), "-c", "copy",
                                             "-metadata:s:v:0", "rotate=90"}));
    QVERIFY(m_media.makeCutClip("half.mp4", 10, 0.5));
    // A bare stream declares no length.
    QVERIFY(m_media.makeMedia("bare.h264", picture + h264));
    QVERIFY(TestMedia::writeFile(m_media.path("text.mp4"), "not a video\n"));
    for (const QString name : {"pq.mkv", "hlg.mp4"}) {
        const QString file = m_media.path(name);
        const QString transfer = TestMedia::probeVideo(file, "color_transfer");
        m_referenceLuma[name] = {meanLuma(file, "zscale=tin=" + transfer +
                                                    ":t=linear:npl=100,format=gbrpf32le,"
                                                    "zscale=p=bt709,tonemap=hable:desat=0,"
                                                    "zscale=t=bt709:m=bt709:r=tv,format=yuv420p"),
                                 meanLuma(file, "format=yuv420p")};
    }
}

SourceInfo TestRealSources::probe(const QString &file)
{
    SourceProbe prober;
    QSignalSpy ended(&prober, &SourceProbe::finished);
    if (prober.start(file) != ProbeOk || !ended.wait(20000) || prober.result() != ProbeOk)
        return SourceInfo();
    return prober.info();
}

int TestRealSources::probeToEnd(SourceProbe &prober, const QString &file)
{
    QSignalSpy ended(&prober, &SourceProbe::finished);
    const int started = prober.start(file);
    if (started != ProbeOk)
        return started;
    if (!ended.wait(60000) || ended.size() != 1)
        return 1;
    return ended.first().first().toInt();
}

void TestRealSources::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("summary"); // size rotation transfer audio, as realFiles prints it
    QTest::addColumn<double>("duration");
    QTest::newRow("5.1 AC-3") << "surround.mkv" << 0 << "160x90 0 - ac3 6ch 44100Hz 5.1(side)"
                              << 1.0;
    QTest::newRow("PQ") << "pq.mp4" << 0 << "160x90 0 smpte2084 none" << 1.0;
    QTest::newRow("HLG") << "hlg.mp4" << 0 << "160x90 0 arib-std-b67 none" << 1.0;
    QTest::newRow("rotated") << "turned.mp4" << 0 << "160x90 90 - none" << 1.0;
    QTest::newRow("cut to half its bytes declares its whole length")
        << "half.mp4" << 0 << "160x90 0 - aac 1ch 44100Hz mono" << 10.0;
    QTest::newRow("no declared length") << "bare.h264" << 0 << "160x90 0 - none" << -1.0;
    QTest::newRow("not media") << "text.mp4" << int(ProbeRefused) << "" << -1.0;
    QTest::newRow("missing") << "gone.mp4" << int(ProbeRefused) << "" << -1.0;
}

void TestRealSources::realFiles()
{
    QFETCH(QString, file);
    QFETCH(int, result);
    QFETCH(QString, summary);
    QFETCH(double, duration);
    SourceProbe prober;
    QCOMPARE(probeToEnd(prober, m_media.path(file)), result);
    QCOMPARE(prober.result(), result);
    QVERIFY(!prober.running());
    if (result != ProbeOk) {
        QVERIFY(!prober.errorText().empty());
        return;
    }
    const SourceInfo &info = prober.info();
    QVERIFY(info.hasVideo);
    const QString audio = info.hasAudio ? QStringLiteral("%1 %2ch %3Hz %4")
                                              .arg(QString::fromStdString(info.audioCodec))
                                              .arg(info.audioChannels)
                                              .arg(info.audioSampleRate)
                                              .arg(QString::fromStdString(info.channelLayout))
                                        : QStringLiteral("none");
    const QString transfer = info.colorTransfer.empty()
                                 ? QStringLiteral("-")
                                 : QString::fromStdString(info.colorTransfer);
    QCOMPARE(QStringLiteral("%1x%2 %3 %4 %5")
                 .arg(info.width)
                 .arg(info.height)
                 .arg(info.rotation)
                 .arg(transfer, audio),
             summary);
    QCOMPARE(info.isHdr(), file == "pq.mp4" || file == "hlg.mp4");
    if (duration < 0)
        QVERIFY(info.durationSeconds < 0);
    else
        QVERIFY2(qAbs(info.durationSeconds - duration) < 0.1,
                 qPrintable(QString::number(info.durationSeconds)));
}

QString TestRealSources::convert(const QString &source, int vc, int cv, int ca, const QString &name,
                                 int audioLevel)
{
    AVParams params;
    params.init(makeAVSettings(vc, QualityMedium, audioLevel));
    params.settings.cv = cv;
    params.settings.ca = ca;
    params.input = m_media.path(source).toStdString();
    params.output = m_media.path(name + QString::fromStdString(containerExts.at(vc))).toStdString();
    params.source = probe(m_media.path(source));
    if (!params.source->hasVideo && !params.source->hasAudio)
        return QString();
    const std::vector<std::string> line = params.commandArguments();
    QStringList arguments = {"-nostdin", "-v", "error"};
    for (auto it = line.begin() + 1; it != line.end(); ++it)
        arguments << QString::fromStdString(*it);
    bool ok = false;
    run(QString::fromStdString(line.front()), arguments, &ok);
    return ok ? QString::fromStdString(params.output) : QString();
}

QString TestRealSources::probeAudio(const QString &file)
{
    bool ok = false;
    const QByteArray out =
        run(QStringLiteral("ffprobe"),
            {"-v", "error", "-select_streams", "a:0", "-show_entries",
             "stream=codec_name,channels,channel_layout,sample_rate", "-of", "csv=p=0", file},
            &ok);
    return QString::fromUtf8(out).trimmed();
}

// The mean luma of the first picture after `filter`.
double TestRealSources::meanLuma(const QString &file, const QString &filter)
{
    bool ok = false;
    const QByteArray out = run(QStringLiteral("ffmpeg"),
                               {"-nostdin", "-v", "error", "-i", file, "-vf",
                                filter + ",signalstats,metadata=print:key=lavfi.signalstats.YAVG:"
                                         "file=-",
                                "-frames:v", "1", "-f", "null", "-"},
                               &ok);
    const int at = out.indexOf("YAVG=");
    return ok && at >= 0 ? out.mid(at + 5).split('\n').first().toDouble() : -1;
}

void TestRealSources::audio_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("vc");
    QTest::addColumn<int>("ca");
    QTest::addColumn<int>("level");        // of the audio: default leaves the rate to the source
    QTest::addColumn<QString>("expected"); // codec, rate, channels, layout of the output
    const QStringList sources = {"ac3-5.1.mkv",      "aac-5.1.mp4",  "aac-7.1.mp4",
                                 "flac-5.1side.mkv", "flac-7.1.mkv", "mono-11025.mkv",
                                 "stereo-8000.mkv"};
    // The layout and rate AAC keeps, and what the two-channel encoders make of it.
    const QStringList aac = {"aac,48000,6,5.1",  "aac,48000,6,5.1", "aac,48000,8,7.1",
                             "aac,48000,6,5.1",  "aac,96000,8,7.1", "aac,11025,1,mono",
                             "aac,8000,2,stereo"};
    for (int i = 0; i < sources.size(); ++i) {
        const QString &source = sources.at(i);
        const QString rate = aac.at(i).section(',', 1, 1);
        const bool mono = source.startsWith(QLatin1String("mono"));
        const QString mp3Channels = mono ? QStringLiteral("1,mono") : QStringLiteral("2,stereo");
        const QString wmaChannels = mono ? QStringLiteral("1,") : QStringLiteral("2,");
        const QString wmaRate = rate == "96000" ? QStringLiteral("48000") : rate;
        const QString aviMp3Rate = rate == "96000" ? QStringLiteral("48000") : rate;
        const QString flvMp3Rate = rate == "8000"    ? QStringLiteral("11025")
                                   : rate == "96000" ? QStringLiteral("48000")
                                                     : rate;
        const auto row = [&](const char *container, int vc, int ca, const QString &expected) {
            QTest::addRow("%s into %s %s", qPrintable(source), container,
                          qPrintable(expected.section(',', 0, 0)))
                << source << vc << ca << int(QualityDefault) << expected;
        };
        row("mp4", 0, 0, aac.at(i));
        row("flv", 1, 0, aac.at(i));
        row("flv", 1, 1, "mp3," + flvMp3Rate + "," + mp3Channels);
        row("avi", 2, 1, "mp3," + aviMp3Rate + "," + mp3Channels);
        row("avi", 2, 2, "wmav2," + wmaRate + "," + wmaChannels);
        row("wmv", 3, 2, "wmav2," + wmaRate + "," + wmaChannels);
    }
    // The low level's 24 kHz is no rate FLV can signal for MP3.
    QTest::newRow("low level into flv mp3")
        << "aac-5.1.mp4" << 1 << 1 << int(QualityLow) << "mp3,22050,2,stereo";
    QTest::newRow("low level into avi mp3")
        << "aac-5.1.mp4" << 2 << 1 << int(QualityLow) << "mp3,24000,2,stereo";
}

void TestRealSources::audio()
{
    QFETCH(QString, source);
    QFETCH(int, vc);
    QFETCH(int, ca);
    QFETCH(int, level);
    QFETCH(QString, expected);
    const QString output = convert(source, vc, vc == 3 ? 4 : 2, ca, QStringLiteral("audio"), level);
    QVERIFY(!output.isEmpty());
    QString found = probeAudio(output);
    // WMAv2 has no layout of its own in the prober's eyes.
    found.replace(QLatin1String(",unknown"), QLatin1String(","));
    QCOMPARE(found, expected);
}

void TestRealSources::hdr_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("vc");
    QTest::addColumn<int>("cv");
    QTest::addColumn<bool>("tagged"); // false: the format has no place for the colours
    for (const char *source : {"pq.mkv", "hlg.mp4"}) {
        QTest::addRow("%s into mp4 H.264", source) << source << 0 << 2 << true;
        QTest::addRow("%s into mp4 MPEG-4", source) << source << 0 << 0 << true;
        QTest::addRow("%s into flv H.264", source) << source << 1 << 2 << true;
        QTest::addRow("%s into flv FLV1", source) << source << 1 << 5 << false;
        QTest::addRow("%s into avi H.264", source) << source << 2 << 2 << true;
        QTest::addRow("%s into avi HEVC", source) << source << 2 << 3 << true;
        QTest::addRow("%s into avi Xvid", source) << source << 2 << 1 << false;
        QTest::addRow("%s into wmv WMV2", source) << source << 3 << 4 << false;
    }
}

void TestRealSources::hdr()
{
    QFETCH(QString, source);
    QFETCH(int, vc);
    QFETCH(int, cv);
    QFETCH(bool, tagged);
    const QString output = convert(source, vc, cv, 0, QStringLiteral("hdr"));
    QVERIFY(!output.isEmpty());
    // The prober lists these in an order of its own; all three are alike either way.
    QCOMPARE(TestMedia::probeVideo(output, "color_primaries,color_transfer,color_space"),
             tagged ? QStringLiteral("bt709,bt709,bt709")
                    : QStringLiteral("unknown,unknown,unknown"));
    QCOMPARE(TestMedia::probeVideo(output, "pix_fmt"), QStringLiteral("yuv420p"));

    // The picture is the tone-mapped one, not the plain cut to 8 bits, which is far brighter.
    const auto [toneMapped, plainCut] = m_referenceLuma.value(source);
    QVERIFY(toneMapped > 0 && plainCut > toneMapped + 8);
    const double converted = meanLuma(output, "format=yuv420p");
    QVERIFY2(
        qAbs(converted - toneMapped) < 3,
        qPrintable(
            QStringLiteral("%1 against %2 and %3").arg(converted).arg(toneMapped).arg(plainCut)));
}

void TestRealSources::sourceCutShort_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("half its bytes") << true;
    QTest::newRow("whole") << false;
}

void TestRealSources::sourceCutShort()
{
    QFETCH(bool, cut);
    QVERIFY(m_media.makeCutClip("part.mp4", 10, cut ? 0.5 : 1.0));
    const QString part = m_media.path("part.mp4");
    const double declared = probe(part).durationSeconds;
    QVERIFY(qAbs(declared - 10) < 0.1);
    const QString output =
        convert(QStringLiteral("part.mp4"), 0, 2, 0, QStringLiteral("converted"));
    QVERIFY(!output.isEmpty());
    const double converted = TestMedia::probeDuration(output);
    QVERIFY(converted > 0);
    QCOMPARE(endedEarly(declared, converted), cut);
    if (cut)
        QCOMPARE(
            QString::fromStdString(earlyEndWarning(declared, converted)),
            QStringLiteral("源文件可能不完整：只转换了 %1 秒（共 10 秒）").arg(int(converted)));
}

QTEST_GUILESS_MAIN(TestRealSources)
#include "test_realsources.moc"
