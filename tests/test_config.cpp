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

#include <csignal>
#include <sys/resource.h>
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
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void startUpRepairsFile_data();
    void startUpRepairsFile();
    void startUpKeepsGoodFile();
    void startUpWithoutWriting_data();
    void startUpWithoutWriting();

private:
    QString readBack() const;
    void writeConfig(const QByteArray &bytes) const;
    static QStringList configEntries();
    bool prepareLock(const QString &dir);
    bool lock(const QString &dir);

    QTemporaryDir workDir;
    QString previousDir;
    QString existingDir;
    QString lockedDir;
    bool mounted = false;
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
    if (mounted)
        QProcess::execute(QStringLiteral("umount"), {lockedDir});
    mounted = false;
    if (!lockedDir.isEmpty()) {
        QFile::setPermissions(lockedDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(lockedDir).removeRecursively();
    }
    lockedDir.clear();
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

// The configuration file and anything written beside it while replacing it.
QStringList TestConfig::configEntries()
{
    return QDir::current().entryList({QStringLiteral("conf_main.json*")},
                                     QDir::AllEntries | QDir::Hidden | QDir::System);
}

// Root, whom permissions do not stop, gets a file system of its own in the folder, to be made
// read-only once filled.
bool TestConfig::prepareLock(const QString &dir)
{
    if (geteuid() != 0)
        return true;
    mounted = QProcess::execute(QStringLiteral("mount"),
                                {"-t", "tmpfs", "-o", "size=64k", "tmpfs", dir}) == 0;
    return mounted;
}

bool TestConfig::lock(const QString &dir)
{
    if (geteuid() != 0)
        return QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    return QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", dir}) == 0;
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

void TestConfig::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<bool>("smallDisk");
    // A tiny file system that cannot take the new content; needs root to mount.
    QTest::newRow("full disk") << true;
    // The same short write without root: the process may not write a file past 4 KB.
    QTest::newRow("file size limit") << false;
}

void TestConfig::failedWriteKeepsOldFile()
{
    QFETCH(bool, smallDisk);
    QString dir = workDir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(dir));
    if (smallDisk) {
        if (geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root; the file size limit row covers the rule");
        QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                                   {"-t", "tmpfs", "-o", "size=16k", "tmpfs", dir}),
                 0);
    }
    const ConfigFile config(dir + QStringLiteral("/conf_main.json"));
    QCOMPARE(config.write(existingDir), 0);
    const QString huge = QStringLiteral("/") + QString(64 * 1024, QLatin1Char('x'));

    rlimit saved = {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (!smallDisk) {
        rlimit limited = saved;
        limited.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    const int result = config.write(huge);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QString readDir;
    const int readResult = config.read(readDir);
    if (smallDisk)
        QProcess::execute(QStringLiteral("umount"), {dir});
    QCOMPARE(result, -202);
    QCOMPARE(readResult, 0);
    QCOMPARE(readDir, existingDir);
}

void TestConfig::startUpRepairsFile_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content"); // "@DIR@" stands for an existing folder
    QTest::newRow("first run") << false << QByteArray();
    QTest::newRow("empty file") << true << QByteArray();
    QTest::newRow("not JSON") << true << QByteArray("VideosDir=@DIR@");
    QTest::newRow("broken") << true << QByteArray("{\"VideosDir\":");
    QTest::newRow("not an object") << true << QByteArray(R"(["@DIR@"])");
    QTest::newRow("number") << true << QByteArray(R"({"VideosDir":42})");
    QTest::newRow("empty string") << true << QByteArray(R"({"VideosDir":""})");
    QTest::newRow("deleted folder") << true << QByteArray(R"({"VideosDir":"/no/such/folder"})");
    QTest::newRow("a file") << true << QByteArray(R"({"VideosDir":"@DIR@/../conf_main.json"})");
    QTest::newRow("megabyte long")
        << true
        << QByteArray(R"({"VideosDir":"/)") + QByteArray(1 << 20, 'x') + QByteArray(R"("})");
    QTest::newRow("extra members, deleted folder")
        << true << QByteArray(R"({"a":1,"VideosDir":"/no/such/folder","b":[true]})");
}

void TestConfig::startUpRepairsFile()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    if (present)
        writeConfig(content.replace("@DIR@", existingDir.toUtf8()));
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    MainWindow window;
    QCOMPARE(window.outputDirectory(), movies);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("editOutputDir"))->text(), movies);
    // Replaced whole, by the default folder alone, with nothing left beside it.
    const QJsonObject expected{{QStringLiteral("VideosDir"), movies}};
    QCOMPARE(readBack(), QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Compact)));
    QCOMPARE(configEntries(), QStringList{QStringLiteral("conf_main.json")});
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

void TestConfig::startUpWithoutWriting_data()
{
    QTest::addColumn<QByteArray>("content"); // "@NONE@": no file, "@FOLDER@": a folder in its place
    QTest::addColumn<bool>("defaultUsed");
    QTest::newRow("no file") << QByteArray("@NONE@") << true;
    QTest::newRow("broken file") << QByteArray("{\"VideosDir\":") << true;
    QTest::newRow("deleted folder") << QByteArray(R"({"VideosDir":"/no/such/folder"})") << true;
    QTest::newRow("good file") << QByteArray(R"({"VideosDir":"@DIR@","x":1})") << false;
    QTest::newRow("a folder in the file's place") << QByteArray("@FOLDER@") << true;
}

// A working directory that cannot be written: the program starts all the same and changes nothing
// there.
void TestConfig::startUpWithoutWriting()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, defaultUsed);
    lockedDir = workDir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(lockedDir));
    const bool folderRow = content == "@FOLDER@";
    if (!folderRow && !prepareLock(lockedDir))
        QSKIP("cannot mount a tmpfs here");
    QDir::setCurrent(lockedDir);
    if (folderRow)
        QVERIFY(QDir().mkdir(QStringLiteral("conf_main.json")));
    else if (content != "@NONE@")
        writeConfig(content.replace("@DIR@", existingDir.toUtf8()));
    if (!folderRow)
        QVERIFY(lock(lockedDir));
    const QStringList entriesBefore = configEntries();
    const QString before = readBack();

    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    MainWindow window;
    QCOMPARE(window.outputDirectory(), defaultUsed ? movies : existingDir);
    QCOMPARE(configEntries(), entriesBefore);
    QCOMPARE(readBack(), before);
    QCOMPARE(QFileInfo(QStringLiteral("conf_main.json")).isDir(), folderRow);
}

QUELLIX_TEST_MAIN(TestConfig)
#include "test_config.moc"
