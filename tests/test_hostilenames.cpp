#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "convert/ConversionJob.h"

namespace
{

constexpr int conversionTimeoutMs = 120000;
const QString prefix = QStringLiteral("Quellix转码-");

} // namespace

// Input files with names that a shell, an option parser or a byte limit would trip over, each
// converted through the main window.
class TestHostileNames final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void converts_data();
    void converts();

private:
    TestMedia m_media;
    QString m_outDir;
    WindowFixture m_fixture;
};

void TestHostileNames::initTestCase()
{
    QVERIFY(m_media.isValid());
    QVERIFY(m_media.makeClip(QStringLiteral("clip.mp4")));
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_outDir));
}

void TestHostileNames::cleanup()
{
    m_fixture.close();
    // A shell started by mistake would run its commands in the working folder.
    QVERIFY(!QFile::exists(m_fixture.workDir() + QStringLiteral("/pwned")));
    QVERIFY(!QFile::exists(m_media.path(QStringLiteral("pwned"))));
    QVERIFY(!QFile::exists(m_outDir + QStringLiteral("/pwned")));
}

void TestHostileNames::converts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output"); // file name in the output folder

    const auto row = [](const char *tag, const QString &name) {
        QTest::newRow(tag) << name << prefix + QFileInfo(name).completeBaseName() + ".mp4";
    };
    row("spaces", QStringLiteral(" two  spaces and a trailing one .mp4"));
    row("double quotes", QStringLiteral("say \"cheese\".mkv"));
    row("single quotes", QStringLiteral("it's 'quoted'.mp4"));
    row("$HOME", QStringLiteral("$HOME and ${PATH}.mp4"));
    row("backticks", QStringLiteral("`touch pwned`.mp4"));
    row("command substitution", QStringLiteral("$(touch pwned).avi"));
    row("leading dash", QStringLiteral("-y -i -f null.mp4"));
    row("semicolon", QStringLiteral("a; touch pwned; b.mp4"));
    row("CJK", QStringLiteral("中文视频 第一集.mp4"));
    row("emoji", QStringLiteral("🎬 clip 🎞️.mov"));
    row("only a suffix", QStringLiteral(".mp4"));
    // ffmpeg repeats both paths in its output, where these texts must not count as its errors.
    row("error text", QStringLiteral("No such file or directory.mp4"));
    row("other error text", QStringLiteral("Invalid data found when processing input.mkv"));
    row("parsed texts", QStringLiteral("Duration: 99:00:00 time=98:00:00.mp4"));
    row("write failure text", QStringLiteral("Error closing file x: No space left on device.mp4"));
    row("decode error text", QStringLiteral("Error while decoding stream #0:1.mkv"));

    // 250 bytes fit a file name, but not with the prefix: the base name is cut after a whole
    // character so that the output name takes the 255 bytes a name may have.
    const int prefixBytes = prefix.toUtf8().size();
    QCOMPARE(prefixBytes, 14);
    QTest::newRow("250 bytes") << QString(246, QLatin1Char('x')) + ".mp4"
                               << prefix + QString(255 - prefixBytes - 4, QLatin1Char('x')) +
                                      ".mp4";
    const QString clapper = QStringLiteral("🎬"); // four bytes, two UTF-16 units
    QTest::newRow("250 bytes of emoji")
        << clapper.repeated(61) + "xx.mp4" << prefix + clapper.repeated(59) + ".mp4";
}

void TestHostileNames::converts()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    const QString input = m_media.path(name);
    QVERIFY(QFile::copy(m_media.path(QStringLiteral("clip.mp4")), input));
    QVERIFY(m_fixture.open(m_outDir));
    QVERIFY(m_fixture.add(input));

    DialogAnswerer answerer;
    m_fixture.clickStart();
    QVERIFY(WindowFixture::waitForDialogs(answerer, 1, conversionTimeoutMs));
    QCOMPARE(answerer.texts.at(0), WindowFixture::summary(1, 0));

    const ConversionJob *job = m_fixture.job(0);
    QCOMPARE(job->progress(), 100);
    QCOMPARE(job->note(), std::string());
    const QString path = m_outDir + "/" + output;
    QCOMPARE(QString::fromStdString(job->outputPath()), path);
    QVERIFY(QFile::encodeName(output).size() <= 255);
    QCOMPARE(TestMedia::probeCodecs(path), (QStringList{"h264", "aac"}));
}

QUELLIX_TEST_MAIN(TestHostileNames)
#include "test_hostilenames.moc"
