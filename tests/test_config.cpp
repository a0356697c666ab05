#include "QuellixTestMain.h"

#include "app/ConfigFile.h"
#include "app/MainWindow.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

class TestConfig final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reading_data();
    void reading();
    void writingIsCompactAndDropsOtherMembers();
    void failedWriteKeepsOldFile();
    void startUpRepairsFile_data();
    void startUpRepairsFile();
    void startUpKeepsGoodFile();

private:
    QString readBack() const;
    void writeConfig(const QByteArray &bytes) const;

    QTemporaryDir workDir;
    QString previousDir;
    QString existingDir;
};

void TestConfig::init()
{
    QVERIFY(workDir.isValid());
    previousDir = QDir::currentPath();
    QDir::setCurrent(workDir.path());
    QFile::remove(QStringLiteral("conf_main.json"));
    existingDir = workDir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(existingDir));
}

void TestConfig::cleanup()
{
    QDir::setCurrent(previousDir);
}

QString TestConfig::readBack() const
{
    QFile file(QStringLiteral("conf_main.json"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

void TestConfig::writeConfig(const QByteArray &bytes) const
{
    QFile file(QStringLiteral("conf_main.json"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void TestConfig::reading_data()
{
    QTest::addColumn<QByteArray>("content"); // "@DIR@" stands for an existing folder
    QTest::addColumn<bool>("found");
    QTest::newRow("good") << QByteArray(R"({"VideosDir":"@DIR@"})") << true;
    QTest::newRow("extra members") << QByteArray(R"({"a":1,"VideosDir":"@DIR@","b":[]})") << true;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("not JSON") << QByteArray("VideosDir=@DIR@") << false;
    QTest::newRow("truncated") << QByteArray(R"({"VideosDir":"@DIR@")") << false;
    QTest::newRow("array") << QByteArray(R"(["@DIR@"])") << false;
    QTest::newRow("no key") << QByteArray(R"({"videosdir":"@DIR@"})") << false;
    QTest::newRow("number") << QByteArray(R"({"VideosDir":42})") << false;
    QTest::newRow("empty string") << QByteArray(R"({"VideosDir":""})") << false;
    QTest::newRow("deleted folder") << QByteArray(R"({"VideosDir":"@DIR@/gone"})") << false;
    QTest::newRow("a file") << QByteArray(R"({"VideosDir":"@DIR@/../conf_main.json"})") << false;
    QTest::newRow("megabyte long")
        << QByteArray(R"({"VideosDir":"/)") + QByteArray(1 << 20, 'x') + QByteArray(R"("})")
        << false;
}

void TestConfig::reading()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, found);
    writeConfig(content.replace("@DIR@", existingDir.toUtf8()));
    QString dir = QStringLiteral("unchanged");
    const int result = ConfigFile(QStringLiteral("conf_main.json")).read(dir);
    QCOMPARE(result, found ? 0 : -202);
    QCOMPARE(dir, found ? existingDir : QStringLiteral("unchanged"));
}

void TestConfig::writingIsCompactAndDropsOtherMembers()
{
    writeConfig(R"({"Other":true,"VideosDir":"/tmp"})");
    const QString dir = existingDir + QStringLiteral("/视频 \"quoted\"");
    QCOMPARE(ConfigFile(QStringLiteral("conf_main.json")).write(dir), 0);
    QJsonObject expected;
    expected.insert(QStringLiteral("VideosDir"), dir);
    QCOMPARE(readBack(), QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Compact)));
    QVERIFY(!readBack().contains(QLatin1Char('\n')));
}

void TestConfig::failedWriteKeepsOldFile()
{
    // A full disk mid-write: a tiny file system that cannot take the new content.
    if (geteuid() != 0)
        QSKIP("mounting a small tmpfs needs root");
    const QString mountPoint = workDir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute(QStringLiteral("mount"),
                          {"-t", "tmpfs", "-o", "size=16k", "tmpfs", mountPoint}) != 0)
        QSKIP("cannot mount a tmpfs here");
    const QString file = mountPoint + QStringLiteral("/conf_main.json");
    const ConfigFile config(file);
    QCOMPARE(config.write(existingDir), 0);
    const QString huge = QStringLiteral("/") + QString(64 * 1024, QLatin1Char('x'));
    const int result = config.write(huge);
    QString dir;
    const int readResult = config.read(dir);
    QProcess::execute(QStringLiteral("umount"), {mountPoint});
    QCOMPARE(result, -202);
    QCOMPARE(readResult, 0);
    QCOMPARE(dir, existingDir);
}

void TestConfig::startUpRepairsFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("first run") << QByteArray();
    QTest::newRow("deleted folder") << QByteArray(R"({"VideosDir":"/no/such/folder"})");
    QTest::newRow("broken") << QByteArray("{\"VideosDir\":");
}

void TestConfig::startUpRepairsFile()
{
    QFETCH(QByteArray, content);
    if (!content.isEmpty())
        writeConfig(content);
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    MainWindow window;
    QCOMPARE(window.outputDirectory(), movies);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("editOutputDir"))->text(), movies);
    QCOMPARE(ConfigFile::parseVideosDir(readBack().toUtf8()), movies);
}

void TestConfig::startUpKeepsGoodFile()
{
    writeConfig(QByteArray(R"({"VideosDir":")") + existingDir.toUtf8() + QByteArray(R"(","x":1})"));
    MainWindow window;
    QCOMPARE(window.outputDirectory(), existingDir);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("editOutputDir"))->text(), existingDir);
    // Read, not rewritten: the extra member is still there.
    QVERIFY(readBack().contains(QStringLiteral("\"x\":1")));
}

QUELLIX_TEST_MAIN(TestConfig)
#include "test_config.moc"
