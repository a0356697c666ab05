#include "convert/ConversionJob.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QtTest>

// Every container and codec pair the settings dialog offers, converted for real: each ends as
// Done with an output that plays (the codec asked for, 4:2:0 pictures, every packet decodes), or
// as Failed with a reason, and never hangs.
class TestCodecMatrix final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pairs_data();
    void pairs();

private:
    TestMedia m_media;
    QString m_clip;
    QString m_outDir;
};

void TestCodecMatrix::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    QVERIFY(m_media.makeClip(QStringLiteral("clip.mp4"), 1, QStringLiteral("160x120")));
    m_clip = m_media.path(QStringLiteral("clip.mp4"));
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_outDir));
}

void TestCodecMatrix::pairs_data()
{
    QTest::addColumn<int>("vc");
    QTest::addColumn<int>("cv");
    QTest::addColumn<int>("ca");
    QTest::addColumn<int>("audioLevel");
    QTest::addColumn<bool>("converts");
    // Measured with Debian 12's transcoder; a change shows up as a failing row.
    // WebM holds neither the clip's H.264 nor its AAC as a copy: those fail before the start.
    const QSet<QString> refused = {
        QStringLiteral(".flv mpeg4 aac"),       QStringLiteral(".flv mpeg4 mp3"),
        QStringLiteral(".webm copy libopus"),   QStringLiteral(".webm copy copy"),
        QStringLiteral(".webm libsvtav1 copy"), QStringLiteral(".webm libvpx-vp9 copy")};
    initParamTables();
    for (int vc = 0; vc < int(containerExts.size()); ++vc) {
        const ContainerCodecs *offered = offeredCodecs(vc);
        for (int cv : offered->video) {
            for (int ca : offered->audio) {
                const QString name = QStringLiteral("%1 %2 %3")
                                         .arg(QString::fromStdString(containerExts.at(vc)),
                                              QString::fromStdString(videoEncoders.at(cv)),
                                              QString::fromStdString(audioEncoders.at(ca)));
                QTest::newRow(name.toUtf8().constData())
                    << vc << cv << ca << int(QualityMedium) << !refused.contains(name);
            }
        }
    }
    // FLV takes MP3 only at 44100 Hz and its halves; the low audio level asks for 24000 Hz, which
    // becomes the nearest rate it takes, 22050 Hz.
    QTest::newRow(".flv libx264 mp3 at 24000 Hz") << 1 << 2 << 1 << int(QualityLow) << true;
    QTest::newRow(".flv flv mp3 at 24000 Hz") << 1 << 5 << 1 << int(QualityLow) << true;
}

void TestCodecMatrix::pairs()
{
    QFETCH(int, vc);
    QFETCH(int, cv);
    QFETCH(int, ca);
    QFETCH(int, audioLevel);
    QFETCH(bool, converts);
    AVSettings settings = makeAVSettings(vc, QualityMedium, audioLevel);
    settings.cv = cv;
    settings.ca = ca;
    ConversionJob job;
    QCOMPARE(job.setInput(m_clip.toStdString(), settings), 0);
    QCOMPARE(job.start(m_outDir.toStdString()), 0);
    QTRY_VERIFY_WITH_TIMEOUT(job.convertState() != Converting, 60000);
    const QString errorText = QString::fromStdString(job.errorText());
    if (job.convertState() == Failed)
        QVERIFY(!errorText.isEmpty());
    QCOMPARE(job.convertState() == Done, converts);
    if (converts) {
        const QString output = QString::fromStdString(job.outputPath());
        // The prober's names of what each encoder writes; a copy keeps the source's H.264.
        static const QStringList codecNames = {"mpeg4", "mpeg4", "h264", "hevc", "wmv2",
                                               "flv1",  "h264",  "av1",  "vp9"};
        // One run of the prober a row: its start-up is most of what a row costs.
        const QMap<QString, QString> streams = TestMedia::probeFirstStreams(
            output, {"codec_name", "pix_fmt", "codec_tag_string", "sample_rate"});
        QCOMPARE(streams.value("v:codec_name"), codecNames.at(cv));
        QCOMPARE(streams.value("v:pix_fmt"), QStringLiteral("yuv420p"));
        if (vc == 0 && cv == 3) // what Apple's players look for
            QCOMPARE(streams.value("v:codec_tag_string"), QStringLiteral("hvc1"));
        QVERIFY(TestMedia::decodesCleanly(output));
        if (ca == AudioOpus) // the only rate Opus has, whatever the level asked for
            QCOMPARE(streams.value("a:sample_rate"), QStringLiteral("48000"));
        if (vc == 1 && audioLevel == QualityLow)
            QCOMPARE(streams.value("a:sample_rate"), QStringLiteral("22050"));
    }
    QFile::remove(QString::fromStdString(job.outputPath()));
}

QTEST_GUILESS_MAIN(TestCodecMatrix)
#include "test_codecmatrix.moc"
