// The `quellix` command: it starts the program in the user's configuration folder and takes over a
// settings file an earlier version left in the home folder. A stand-in program prints the folder
// it runs in and its arguments; the real one answers --help and --version. Then the installed
// layout and the Debian package.
#include "TestMedia.h"
#include "Version.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString settingsName = QStringLiteral("conf_main.json");

} // namespace

class TestLauncher final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void workingFolder_data();
    void workingFolder();
    void takeOver_data();
    void takeOver();
    void folderCannotBeMade();
    void startFolder();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void installedLayout();
    void debianPackage();

private:
    QProcessEnvironment environment(const QString &configHome, bool withProgram) const;
    // Runs `launcher` with HOME in the scratch folder; XDG_CONFIG_HOME only when `configHome`
    // is not null. Returns the stand-in's output; exitCode gets the launcher's status.
    QString run(const QString &launcher, const QString &configHome, int &exitCode,
                const QStringList &arguments = {}, bool withProgram = true);

    std::unique_ptr<QTemporaryDir> m_scratch;
    QString m_home;
    QString m_program;
};

void TestLauncher::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_home = m_scratch->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(m_home));
    m_program = m_scratch->filePath(QStringLiteral("program"));
    QVERIFY(TestMedia::writeScript(m_program, "printf '%s|%s\\n' \"$(pwd)\" \"$*\"\nexit 3"));
}

QProcessEnvironment TestLauncher::environment(const QString &configHome, bool withProgram) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home);
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    if (!configHome.isNull())
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.remove(QStringLiteral("QUELLIX_PROGRAM"));
    env.remove(QStringLiteral("QUELLIX_START_DIR"));
    if (withProgram)
        env.insert(QStringLiteral("QUELLIX_PROGRAM"), m_program);
    return env;
}

QString TestLauncher::run(const QString &launcher, const QString &configHome, int &exitCode,
                          const QStringList &arguments, bool withProgram)
{
    QProcess process;
    process.setProcessEnvironment(environment(configHome, withProgram));
    process.setWorkingDirectory(m_scratch->path());
    process.start(launcher, arguments);
    exitCode = -1;
    if (!process.waitForFinished(30000))
        return QString();
    exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

void TestLauncher::workingFolder_data()
{
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("folder");
    QTest::newRow("no XDG_CONFIG_HOME") << QString() << "home/.config/quellix";
    QTest::newRow("XDG_CONFIG_HOME") << "<scratch>/settings"
                                     << "settings/quellix";
    QTest::newRow("empty XDG_CONFIG_HOME") << ""
                                           << "home/.config/quellix";
    QTest::newRow("relative XDG_CONFIG_HOME, ignored") << "settings"
                                                       << "home/.config/quellix";
}

// The program runs in the folder, made private to the user, with the arguments and exit status
// passed through.
void TestLauncher::workingFolder()
{
    QFETCH(QString, configHome);
    QFETCH(QString, folder);
    configHome.replace(QStringLiteral("<scratch>"), m_scratch->path());
    const QString expected = m_scratch->filePath(folder);
    QVERIFY(!QFileInfo::exists(expected));
    int exitCode = 0;
    const QString output = run(QStringLiteral(QUELLIX_LAUNCHER), configHome, exitCode,
                               {QStringLiteral("a.mp4"), QStringLiteral("b c.avi")});
    QCOMPARE(output, expected + QStringLiteral("|a.mp4 b c.avi"));
    QCOMPARE(exitCode, 3);
    const QFileInfo made(expected);
    QVERIFY(made.isDir());
    QCOMPARE(made.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                   QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup),
             QFile::Permissions());
}

void TestLauncher::takeOver_data()
{
    QTest::addColumn<QByteArray>("inHome");
    QTest::addColumn<QByteArray>("inFolder");
    QTest::addColumn<QByteArray>("inFolderAfter");
    QTest::addColumn<QByteArray>("inHomeAfter");
    const QByteArray old("{\"VideosDir\":\"/old\"}");
    const QByteArray current("{\"VideosDir\":\"/current\"}");
    QTest::newRow("old file moves in") << old << QByteArray() << old << QByteArray();
    QTest::newRow("folder keeps its own") << old << current << current << old;
    QTest::newRow("nothing to take") << QByteArray() << current << current << QByteArray();
    QTest::newRow("nothing anywhere")
        << QByteArray() << QByteArray() << QByteArray() << QByteArray();
}

void TestLauncher::takeOver()
{
    QFETCH(QByteArray, inHome);
    QFETCH(QByteArray, inFolder);
    QFETCH(QByteArray, inFolderAfter);
    QFETCH(QByteArray, inHomeAfter);
    const QString folder = m_home + QStringLiteral("/.config/quellix");
    if (!inHome.isEmpty())
        QVERIFY(TestMedia::writeFile(m_home + QLatin1Char('/') + settingsName, inHome));
    if (!inFolder.isEmpty()) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(TestMedia::writeFile(folder + QLatin1Char('/') + settingsName, inFolder));
    }
    int exitCode = 0;
    QCOMPARE(run(QStringLiteral(QUELLIX_LAUNCHER), QString(), exitCode), folder + QLatin1Char('|'));
    QCOMPARE(TestMedia::readFile(folder + QLatin1Char('/') + settingsName), inFolderAfter);
    QCOMPARE(QFileInfo::exists(folder + QLatin1Char('/') + settingsName), !inFolderAfter.isEmpty());
    QCOMPARE(TestMedia::readFile(m_home + QLatin1Char('/') + settingsName), inHomeAfter);
    QCOMPARE(QFileInfo::exists(m_home + QLatin1Char('/') + settingsName), !inHomeAfter.isEmpty());
}

// A folder that cannot be made (its parent is a file) still lets the program start, where the
// launcher was started.
void TestLauncher::folderCannotBeMade()
{
    const QString blocker = m_scratch->filePath(QStringLiteral("blocker"));
    QVERIFY(TestMedia::writeFile(blocker, "not a folder"));
    int exitCode = 0;
    QCOMPARE(run(QStringLiteral(QUELLIX_LAUNCHER), blocker, exitCode),
             m_scratch->path() + QLatin1Char('|'));
    QCOMPARE(exitCode, 3);
}

// The program runs in the settings folder and learns from the launcher where the command was
// started, to find the files named relative to it.
void TestLauncher::startFolder()
{
    QVERIFY(
        TestMedia::writeScript(m_program, "printf '%s|%s\\n' \"$(pwd)\" \"$QUELLIX_START_DIR\""));
    const QString started = m_scratch->filePath(QStringLiteral("videos dir"));
    QVERIFY(QDir().mkpath(started));
    QProcess process;
    QProcessEnvironment env = environment(QString(), true);
    env.insert(QStringLiteral("QUELLIX_START_DIR"), QStringLiteral("/elsewhere"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(started);
    process.start(QStringLiteral(QUELLIX_LAUNCHER), {QStringLiteral("a.mp4")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed(),
             m_home + QStringLiteral("/.config/quellix|") + started);
}

void TestLauncher::answersWithoutDisplay_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // the start of the standard output
    QTest::addColumn<QString>("err"); // the start of the standard error

    QTest::newRow("--help") << "--help" << 0 << "Usage: quellix [OPTION]... [FILE|FOLDER]...\n"
                            << "";
    QTest::newRow("-h") << "-h" << 0 << "Usage: quellix "
                        << "";
    QTest::newRow("--version") << "--version" << 0 << "quellix " QUELLIX_VERSION "\n"
                               << "";
    QTest::newRow("unknown option") << "--bogus" << 2 << ""
                                    << "quellix: Unknown option 'bogus'.\n";
}

// The real program, through the launcher, answers before it needs a display: none is there.
void TestLauncher::answersWithoutDisplay()
{
    QFETCH(QString, argument);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcessEnvironment env = environment(QString(), false);
    env.insert(QStringLiteral("QUELLIX_PROGRAM"), QStringLiteral(QUELLIX_PROGRAM_FILE));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"})
        env.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUELLIX_LAUNCHER), {argument});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString standardOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString standardError = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(standardError.left(err.size()), err);
    QCOMPARE(standardError.isEmpty(), err.isEmpty());
    QCOMPARE(standardOutput.left(out.size()), out);
    QCOMPARE(standardOutput.isEmpty(), out.isEmpty());
    QCOMPARE(process.exitCode(), exitCode);
}

// Installed, the command finds the program where the installation puts it, also when it is
// reached through a link.
void TestLauncher::installedLayout()
{
    const QString prefix = m_scratch->filePath(QStringLiteral("prefix"));
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(QUELLIX_BINARY_DIR),
                   QStringLiteral("--prefix"), prefix});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());

    const QString command = prefix + QStringLiteral("/bin/quellix");
    QVERIFY(TestMedia::readFile(command).startsWith("#!/bin/sh\n"));
    const QString installed = prefix + QStringLiteral("/libexec/quellix/quellix");
    QVERIFY(TestMedia::readFile(installed).startsWith("\x7f"
                                                      "ELF"));
    // The installed program stands in for itself only here.
    QVERIFY(QFile::remove(installed));
    QVERIFY(QFile::copy(m_program, installed));

    const QString link = m_scratch->filePath(QStringLiteral("quellix"));
    QVERIFY(QFile::link(command, link));
    for (const QString &start : {command, link}) {
        int exitCode = 0;
        QCOMPARE(run(start, QString(), exitCode, {}, false),
                 m_home + QStringLiteral("/.config/quellix|"));
        QCOMPARE(exitCode, 3);
    }
}

// The package holds the program, its menu entry and its icons where the desktop looks for them,
// and depends on what the program runs with.
void TestLauncher::debianPackage()
{
    const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
    const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
    if (cpack.isEmpty() || dpkgDeb.isEmpty())
        QSKIP("cpack or dpkg-deb is not installed");
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());

    QProcess pack;
    pack.setProcessChannelMode(QProcess::MergedChannels);
    pack.start(cpack, {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                       QStringLiteral(QUELLIX_BINARY_DIR "/CPackConfig.cmake"),
                       QStringLiteral("-B"), scratch.path()});
    QVERIFY(pack.waitForFinished(240000));
    QVERIFY2(pack.exitCode() == 0, pack.readAll().constData());
    const QStringList debs = QDir(scratch.path()).entryList({QStringLiteral("*.deb")});
    QCOMPARE(debs.size(), 1);
    const QString deb = scratch.filePath(debs.first());

    const QString root = scratch.filePath(QStringLiteral("root"));
    QCOMPARE(QProcess::execute(dpkgDeb, {QStringLiteral("-x"), deb, root}), 0);
    // The command is the launcher; the program it starts lies out of PATH.
    const QFileInfo command(root + QStringLiteral("/usr/bin/quellix"));
    QVERIFY(command.isFile() && command.isExecutable());
    const QFileInfo binary(root + QStringLiteral("/usr/libexec/quellix/quellix"));
    QVERIFY(binary.isFile() && binary.isExecutable());

    QFile desktop(root + QStringLiteral("/usr/share/applications/quellix.desktop"));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    for (const char *line :
         {"Exec=quellix", "Icon=quellix", "Type=Application", "Categories=AudioVideo;Video;"})
        QVERIFY2(entry.contains(QLatin1String(line)), line);
    QVERIFY(entry.contains(QStringLiteral("Name=Quellix视频格式转换")));

    for (const int side : {16, 24, 32, 48, 64, 72, 96, 128, 256}) {
        const QString icon =
            root + QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/quellix.png").arg(side);
        QCOMPARE(QImage(icon).size(), QSize(side, side));
    }
    QVERIFY(
        QFile::exists(root + QStringLiteral("/usr/share/icons/hicolor/scalable/apps/quellix.svg")));
    // What Debian asks of every package, and what software centres read.
    for (const char *file : {"/usr/share/man/man1/quellix.1.gz", "/usr/share/doc/quellix/copyright",
                             "/usr/share/doc/quellix/changelog.gz",
                             "/usr/share/metainfo/org.quellix.Quellix.metainfo.xml"})
        QVERIFY2(QFileInfo(root + QLatin1String(file)).size() > 0, file);

    QProcess fields;
    fields.start(dpkgDeb,
                 {QStringLiteral("-f"), deb, QStringLiteral("Package"), QStringLiteral("Depends")});
    QVERIFY(fields.waitForFinished());
    const QString control = QString::fromUtf8(fields.readAllStandardOutput());
    QVERIFY2(control.contains(QLatin1String("Package: quellix")), qPrintable(control));
    // The Qt the program was built on, with its Chinese texts.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const char *const qtTexts = "qt6-translations-l10n";
#else
    const char *const qtTexts = "qttranslations5-l10n";
#endif
    for (const char *dependency : {"ffmpeg", "libvlc5", "libvlc-bin", "vlc-plugin-base",
                                   "vlc-plugin-video-output", "fonts-noto-cjk", qtTexts})
        QVERIFY2(control.contains(QLatin1String(dependency)), dependency);
    for (const char *library : {"core", "gui", "widgets", "dbus", "network"}) {
        const QString name =
            QStringLiteral("libqt%1%2%1").arg(QT_VERSION_MAJOR).arg(QLatin1String(library));
        QVERIFY2(control.contains(name), qPrintable(name));
    }
    const QString otherQt = QStringLiteral("libqt%1").arg(QT_VERSION_MAJOR == 5 ? 6 : 5);
    QVERIFY2(!control.contains(otherQt), qPrintable(control));
}

QTEST_GUILESS_MAIN(TestLauncher)
#include "test_launcher.moc"
