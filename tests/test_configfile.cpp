// The reader and writer of conf_main.json, without the window that uses them.
#include "batch/ConfigFile.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

class TestConfigFile final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void reading_data();
    void reading();
    void writingIsCompactAndDropsOtherMembers();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();

private:
    QString readBack() const;
    void writeConfig(const QByteArray &bytes) const;

    QTemporaryDir m_workDir;
    QString m_configPath;
    QString m_existingDir;
};

void TestConfigFile::init()
{
    QVERIFY(m_workDir.isValid());
    m_configPath = m_workDir.filePath(QStringLiteral("conf_main.json"));
    QFile::remove(m_configPath);
    m_existingDir = m_workDir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_existingDir));
}

QString TestConfigFile::readBack() const
{
    QFile file(m_configPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

void TestConfigFile::writeConfig(const QByteArray &bytes) const
{
    QFile file(m_configPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void TestConfigFile::reading_data()
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

void TestConfigFile::reading()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, found);
    writeConfig(content.replace("@DIR@", m_existingDir.toUtf8()));
    QString dir = QStringLiteral("unchanged");
    const int result = ConfigFile(m_configPath).read(dir);
    QCOMPARE(result, found ? 0 : ConfigFile::fileError);
    QCOMPARE(dir, found ? m_existingDir : QStringLiteral("unchanged"));
}

void TestConfigFile::writingIsCompactAndDropsOtherMembers()
{
    writeConfig(R"({"Other":true,"VideosDir":"/tmp"})");
    const QString dir = m_existingDir + QStringLiteral("/视频 \"quoted\"");
    QCOMPARE(ConfigFile(m_configPath).write(dir), 0);
    QJsonObject expected;
    expected.insert(QStringLiteral("VideosDir"), dir);
    QCOMPARE(readBack(), QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Compact)));
    QVERIFY(!readBack().contains(QLatin1Char('\n')));
}

void TestConfigFile::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<bool>("smallDisk");
    // A tiny file system that cannot take the new content; needs root to mount.
    QTest::newRow("full disk") << true;
    // The same short write without root: the process may not write a file past 4 KB.
    QTest::newRow("file size limit") << false;
}

void TestConfigFile::failedWriteKeepsOldFile()
{
    QFETCH(bool, smallDisk);
    QString dir = m_workDir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(dir));
    if (smallDisk) {
        if (geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root; the file size limit row covers the rule");
        QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                                   {"-t", "tmpfs", "-o", "size=16k", "tmpfs", dir}),
                 0);
    }
    const ConfigFile config(dir + QStringLiteral("/conf_main.json"));
    QCOMPARE(config.write(m_existingDir), 0);
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
    QCOMPARE(result, ConfigFile::fileError);
    QCOMPARE(readResult, 0);
    QCOMPARE(readDir, m_existingDir);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "test_configfile.moc"
