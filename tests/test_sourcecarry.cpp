#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "WindowFixture.h"
#include "convert/ConversionJob.h"
#include "gui/InputItem.h"
#include "gui/MainWindow.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QCheckBox>
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
const QDateTime shot(QDate(2024, 5, 1), QTime(10, 21, 0), Qt::UTC);

// What the program printed on its standard output, or on both outputs.
QByteArray run(const QString &program, const QStringList &arguments,
               QProcess::ProcessChannelMode mode = QProcess::SeparateChannels)
{
    QProcess process;
    process.setProcessChannelMode(mode);
    process.start(program, arguments);
    process.waitForFinished(120000);
    return process.readAllStandardOutput();
}

QJsonObject probe(const QString &file)
{
    return QJsonDocument::fromJson(run(QStringLiteral("ffprobe"),
                                       {"-v", "error", "-print_format", "json", "-show_streams",
                                        "-show_format", "-show_chapters", file}))
        .object();
}

// "2 audio [chi,eng] subtitles [chi,eng] chapters 2 title 影片": what a player shows of a film.
QString tracks(const QString &file)
{
    const QJsonObject all = probe(file);
    int audio = 0;
    QStringList languages[2];
    const QJsonArray streams = all.value("streams").toArray();
    for (const QJsonValue &value : streams) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value("codec_type").toString();
        const int kind = type == "audio" ? 0 : type == "subtitle" ? 1 : -1;
        audio += kind == 0;
        const QString language = stream.value("tags").toObject().value("language").toString();
        if (kind >= 0 && !language.isEmpty())
            languages[kind] << language;
    }
    return QStringLiteral("%1 audio [%2] subtitles [%3] chapters %4 title %5")
        .arg(audio)
        .arg(languages[0].join(','), languages[1].join(','))
        .arg(all.value("chapters").toArray().size())
        .arg(all.value("format").toObject().value("tags").toObject().value("title").toString());
}

// The phone's tags that came out as they went in.
QStringList phoneTags(const QString &file)
{
    const QJsonObject tags = probe(file).value("format").toObject().value("tags").toObject();
    const QList<QPair<QString, QString>> expected = {
        {"creation_time", "2024-05-01T10:20:30.000000Z"},
        {"location", "+31.2304+121.4737/"},
        {"com.apple.quicktime.make", "某厂"},
        {"com.apple.quicktime.model", "手机 12"}};
    QStringList kept;
    for (const auto &[key, value] : expected) {
        if (tags.value(key).toString() == value)
            kept << key.section('.', -1);
    }
    return kept;
}

// The share of frames that the interlace detector reads as progressive.
double progressiveShare(const QString &file)
{
    const QByteArray out =
        run(QStringLiteral("ffmpeg"), {"-nostdin", "-i", file, "-vf", "idet", "-f", "null", "-"},
            QProcess::MergedChannels);
    const int at = out.indexOf("Multi frame detection:");
    const QStringList counts =
        QString::fromUtf8(out.mid(at, out.indexOf('\n', at) - at)).split(' ', Qt::SkipEmptyParts);
    // "Multi frame detection: TFF: n BFF: n Progressive: n Undetermined: n"
    if (at < 0 || counts.size() < 11)
        return -1;
    const double all =
        counts[4].toDouble() + counts[6].toDouble() + counts[8].toDouble() + counts[10].toDouble();
    return all > 0 ? counts[8].toDouble() / all : -1;
}

} // namespace

// What the source carries comes out, through the main window on the real transcoder: every
// track and text subtitle the container holds, chapters, the file's tags and its date; a copy
// is a remux or fails before the transcoder runs; a level's frame rate is a ceiling, and an
// interlaced source comes out progressive.
class TestSourceCarry final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void carried_data();
    void carried();
    void copy();
    void progressiveAtTheSourcesRate();

private:
    bool make(const QString &name, const QString &arguments);
    bool addAll(const QStringList &names);
    QString runBatch();
    QString output(int row) const
    {
        return QString::fromStdString(m_fixture.job(row)->outputPath());
    }

    TestMedia m_media;
    QString m_outDir;
    WindowFixture m_fixture;
};

// The transcoder's arguments as one text, "@" standing for the clips' folder.
bool TestSourceCarry::make(const QString &name, const QString &arguments)
{
    return m_media.makeMedia(
        name, QString(arguments)
                  .replace('@', QDir(m_media.path(QStringLiteral("."))).absolutePath())
                  .split(' ', Qt::SkipEmptyParts));
}

void TestSourceCarry::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(TestMedia::writeFile(m_media.path("chapters.txt"),
                                 ";FFMETADATA1\ntitle=影片\n[CHAPTER]\nTIMEBASE=1/10\nSTART=0\n"
                                 "END=10\n[CHAPTER]\nTIMEBASE=1/10\nSTART=10\nEND=20\n"));
    QVERIFY(
        TestMedia::writeFile(m_media.path("zh.srt"), "1\n00:00:00,000 --> 00:00:01,000\n你好\n"));
    QVERIFY(TestMedia::writeFile(m_media.path("en.srt"), "1\n00:00:00,000 --> 00:00:01,000\nHi\n"));
    const QString h264 = " -pix_fmt yuv420p -c:v libx264 -preset ultrafast";
    QVERIFY(make("film.mkv",
                 "-f lavfi -i testsrc2=d=2:s=320x240:r=25 -f lavfi -i sine=d=2 -f lavfi -i "
                 "sine=d=2,aformat=channel_layouts=5.1 -i @/zh.srt -i @/en.srt -i @/chapters.txt "
                 "-map 0 -map 1 -map 2 -map 3 -map 4 -map_metadata 5 -map_chapters 5 -c:a aac "
                 "-c:s srt -metadata:s:a:0 language=chi -metadata:s:a:1 language=eng "
                 "-metadata:s:s:0 language=chi -metadata:s:s:1 language=eng" +
                     h264));
    // The model's space would split the text.
    QVERIFY(m_media.makeMedia(
        "phone.mov",
        {"-f", "lavfi", "-i", "testsrc2=d=1:s=320x240:r=30", "-pix_fmt", "yuv420p", "-movflags",
         "+use_metadata_tags", "-metadata", "creation_time=2024-05-01T10:20:30.000000Z",
         "-metadata", "location=+31.2304+121.4737/", "-metadata", "com.apple.quicktime.make=某厂",
         "-metadata", "com.apple.quicktime.model=手机 12"}));
    QFile phone(m_media.path("phone.mov"));
    QVERIFY(phone.open(QIODevice::ReadWrite) &&
            phone.setFileTime(shot, QFileDevice::FileModificationTime));
    QVERIFY(make("hevc.mkv", "-f lavfi -i testsrc2=d=1:s=160x120 -c:v libx265 -x265-params "
                             "log-level=none"));
    QVERIFY(make("25fps.mp4", "-f lavfi -i testsrc2=d=2:s=320x240:r=25" + h264));
    // Fields of two moments woven into each frame, top field first, and coded as interlaced.
    const QString fields = " -vf tinterlace=interleave_top,fieldorder=tff -flags +ilme+ildct "
                           "-top 1 -pix_fmt yuv420p";
    QVERIFY(make("576i.vob",
                 "-f lavfi -i testsrc2=d=2:s=720x576:r=50" + fields + " -c:v mpeg2video -b:v 6M"));
    QVERIFY(make("1080i.mts", "-f lavfi -i testsrc2=d=2:s=1920x1080:r=50" + fields +
                                  " -c:v libx264 -preset ultrafast -x264opts tff=1"));
}

void TestSourceCarry::init()
{
    QVERIFY(QDir().mkpath(m_outDir));
    QVERIFY(m_fixture.open(m_outDir));
}

void TestSourceCarry::cleanup()
{
    m_fixture.close();
    QDir(m_outDir).removeRecursively();
}

bool TestSourceCarry::addAll(const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths << m_media.path(name);
    const int count = m_fixture.list()->count() + int(names.size());
    m_fixture.window()->addPaths(paths);
    QElapsedTimer clock;
    clock.start();
    while ((m_fixture.list()->count() < count || m_fixture.window()->isAddingFiles()) &&
           clock.elapsed() < 60000)
        QTest::qWait(20);
    return m_fixture.list()->count() == count;
}

QString TestSourceCarry::runBatch()
{
    DialogAnswerer answerer;
    m_fixture.clickStart();
    if (!WindowFixture::waitForDialogs(answerer, 1, batchTimeoutMs))
        return QString();
    return answerer.texts.value(0);
}

void TestSourceCarry::carried_data()
{
    QTest::addColumn<int>("vc");
    QTest::addColumn<QString>("film");
    QTest::addColumn<QStringList>("phone");
    QTest::newRow("MP4") << 0 << "2 audio [chi,eng] subtitles [chi,eng] chapters 2 title 影片"
                         << QStringList{"creation_time", "location", "make", "model"};
    QTest::newRow("FLV") << 1 << "1 audio [] subtitles [] chapters 0 title 影片"
                         << QStringList{"creation_time", "location", "make", "model"};
    QTest::newRow("AVI") << 2 << "2 audio [] subtitles [] chapters 0 title 影片" << QStringList();
    QTest::newRow("WMV") << 3 << "2 audio [chi,eng] subtitles [] chapters 2 title 影片"
                         << QStringList{"location", "make", "model"};
}

// The container is picked before the files are added, which then get it; their outputs keep
// the source's date.
void TestSourceCarry::carried()
{
    QFETCH(int, vc);
    m_fixture.child<QComboBox>("cboxVContainer")->setCurrentIndex(vc);
    m_fixture.child<QCheckBox>("keepFileDate")->setChecked(true);
    QVERIFY(addAll({"film.mkv", "phone.mov"}));
    QCOMPARE(runBatch(), WindowFixture::summary(2, 0));
    QVERIFY2(output(0).endsWith(QString::fromStdString(containerExts.at(vc))),
             qPrintable(output(0)));
    QTEST(tracks(output(0)), "film");
    QTEST(phoneTags(output(1)), "phone");
    QCOMPARE(QFileInfo(output(1)).lastModified().toUTC(), shot);
    // The row says what its container could not take.
    QCOMPARE(m_fixture.row(0)->toolTip().contains(QStringLiteral("未转出的字幕：字幕 1（chi）")),
             vc != 0);
    QCOMPARE(m_fixture.row(0)->toolTip().contains(QStringLiteral("未转出的音轨")), vc == 1);
    m_fixture.child<QCheckBox>("keepFileDate")->setChecked(false);
}

// Copy is a remux of every stream; HEVC, which FLV cannot hold, fails before the transcoder.
void TestSourceCarry::copy()
{
    QVERIFY(addAll({"film.mkv", "hevc.mkv"}));
    AVSettings copied = m_fixture.job(0)->settings();
    copied.cv = 6;
    copied.ca = 3;
    m_fixture.job(0)->setSettings(copied);
    setContainer(copied, 1);
    copied.cv = 6;
    m_fixture.job(1)->setSettings(copied);
    QVERIFY(runBatch().contains(QStringLiteral("无法直接复制：FLV 格式不能容纳 HEVC 视频")));
    QCOMPARE(TestMedia::probeCodecs(output(0)).mid(0, 5),
             QStringList({"h264", "aac", "aac", "mov_text", "mov_text"}));
    QCOMPARE(tracks(output(0)), QStringLiteral("2 audio [chi,eng] subtitles [chi,eng] chapters 2 "
                                               "title 影片"));
    QCOMPARE(m_fixture.job(1)->convertState(), int(Failed));
    QCOMPARE(QDir(m_outDir).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// A file added while the panel applies to all gets its "高质量"; with "应用到所有" unchecked, later
// files get the start-up "中质量".
void TestSourceCarry::progressiveAtTheSourcesRate()
{
    m_fixture.child<QComboBox>("cboxVQuality")->setCurrentIndex(QualityHigh);
    QVERIFY(addAll({"25fps.mp4"}));
    m_fixture.child<QCheckBox>("applyAll")->setChecked(false);
    QVERIFY(addAll({"576i.vob", "1080i.mts"}));
    QCOMPARE(runBatch(), WindowFixture::summary(3, 0));
    // "高质量" says 30 fps, which a 25 fps source stays below; "中质量" says 18.
    QCOMPARE(TestMedia::probeVideo(output(0), "r_frame_rate"), QStringLiteral("25/1"));
    QVERIFY(m_fixture.row(0)->toolTip().contains(QStringLiteral("输出帧率：25 fps")));
    QCOMPARE(TestMedia::probeVideo(output(1), "r_frame_rate"), QStringLiteral("18/1"));
    for (int row = 1; row < 3; ++row) {
        const double share = progressiveShare(output(row));
        qInfo("%s: %.1f %% progressive", qPrintable(output(row)), share * 100);
        QVERIFY2(share >= 0.8, qPrintable(QString::number(share)));
    }
}

QUELLIX_TEST_MAIN(TestSourceCarry)
#include "test_sourcecarry.moc"
