// The configuration file at start-up: the window repairs a broken one and leaves a good one, and
// starts where it cannot write. The reader and writer alone are test_configfile's.
#include "QuellixTestMain.h"

#include "gui/MainWindow.h"

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

    QTemporaryDir m_workDir;
    QString m_previousDir;
    QString m_existingDir;
    QString m_lockedDir;
    bool m_mounted = false;
};

void TestConfig::init()
{
    QVERIFY(m_workDir.isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_workDir.path());
    QFile::remove(QStringLiteral("conf_main.json"));
    m_existingDir = m_workDir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_existingDir));
}

void TestConfig::cleanup()
{
    QDir::setCurrent(m_previousDir);
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_lockedDir});
    m_mounted = false;
    if (!m_lockedDir.isEmpty()) {
        QFile::setPermissions(m_lockedDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(m_lockedDir).removeRecursively();
    }
    m_lockedDir.clear();
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
    m_mounted = QProcess::execute(QStringLiteral("mount"),
                                  {"-t", "tmpfs", "-o", "size=64k", "tmpfs", dir}) == 0;
    return m_mounted;
}

bool TestConfig::lock(const QString &dir)
{
    if (geteuid() != 0)
        return QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    return QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", dir}) == 0;
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
        writeConfig(content.replace("@DIR@", m_existingDir.toUtf8()));
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
    writeConfig(QByteArray(R"({"VideosDir":")") + m_existingDir.toUtf8() +
                QByteArray(R"(","x":1})"));
    MainWindow window;
    QCOMPARE(window.outputDirectory(), m_existingDir);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("editOutputDir"))->text(), m_existingDir);
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
    m_lockedDir = m_workDir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(m_lockedDir));
    const bool folderRow = content == "@FOLDER@";
    if (!folderRow && !prepareLock(m_lockedDir))
        QSKIP("cannot mount a tmpfs here");
    QDir::setCurrent(m_lockedDir);
    if (folderRow)
        QVERIFY(QDir().mkdir(QStringLiteral("conf_main.json")));
    else if (content != "@NONE@")
        writeConfig(content.replace("@DIR@", m_existingDir.toUtf8()));
    if (!folderRow)
        QVERIFY(lock(m_lockedDir));
    const QStringList entriesBefore = configEntries();
    const QString before = readBack();

    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    MainWindow window;
    QCOMPARE(window.outputDirectory(), defaultUsed ? movies : m_existingDir);
    QCOMPARE(configEntries(), entriesBefore);
    QCOMPARE(readBack(), before);
    QCOMPARE(QFileInfo(QStringLiteral("conf_main.json")).isDir(), folderRow);
}

QUELLIX_TEST_MAIN(TestConfig)
#include "test_config.moc"
