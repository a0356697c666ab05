// The program's command line: --help and --version, the files and folders to list, Qt's own
// options, and what cannot be followed. The help and the manual page must tell the same.
#include "Version.h"
#include "app/CommandLineOptions.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace
{

const QString base = QStringLiteral("/home/user/视频");

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

QString contents(std::FILE *file)
{
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, int(n));
    return QString::fromLocal8Bit(bytes);
}

// The manual page's text with its font changes and escaped dashes made plain.
QString plainManualPage()
{
    QFile page(QStringLiteral(QUELLIX_MANPAGE));
    if (!page.open(QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(page.readAll());
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.remove(QStringLiteral("\\&"));
    return text;
}

} // namespace

class TestCommandLineOptions final : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void answer_data();
    void answer();
    void manualPageTellsTheSame();
};

void TestCommandLineOptions::parse_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program name
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("request");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("error"); // a part of the error text

    const int start = CommandLineOptions::Start;
    const int help = CommandLineOptions::ShowHelp;
    const int version = CommandLineOptions::ShowVersion;
    const int usage = CommandLineOptions::usageError;

    QTest::newRow("nothing") << QStringList() << 0 << start << QStringList() << "";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << help << QStringList() << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << help << QStringList() << "";
    QTest::newRow("help among files")
        << QStringList{"a.mp4", "--help", "b.avi"} << 0 << help << QStringList() << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << version << QStringList() << "";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << version << QStringList() << "";
    QTest::newRow("help before version")
        << QStringList{"--version", "--help"} << 0 << help << QStringList() << "";

    QTest::newRow("relative files, in order")
        << QStringList{"b.mp4", "a dir/a.MTS"} << 0 << start
        << QStringList{base + "/b.mp4", base + "/a dir/a.MTS"} << "";
    QTest::newRow("absolute file and folder with a slash")
        << QStringList{"/媒体/片 1.mkv", "/媒体/手机/"} << 0 << start
        << QStringList{"/媒体/片 1.mkv", "/媒体/手机"} << "";
    QTest::newRow("dots made plain")
        << QStringList{"./x/../y.ts", "."} << 0 << start << QStringList{base + "/y.ts", base} << "";
    QTest::newRow("file URL") << QStringList{"file:///tmp/a%20b.webm"} << 0 << start
                              << QStringList{"/tmp/a b.webm"} << "";
    QTest::newRow("empty argument skipped")
        << QStringList{"", "c.avi"} << 0 << start << QStringList{base + "/c.avi"} << "";
    QTest::newRow("a name starting with a dash after --")
        << QStringList{"--", "-clip.mp4", "--help"} << 0 << start
        << QStringList{base + "/-clip.mp4", base + "/--help"} << "";

    QTest::newRow("Qt's options and their values are no files")
        << QStringList{"-platform", "offscreen",        "a.mp4",       "-style=fusion",
                       "--reverse", "-qwindowgeometry", "800x510+0+0", "b.vob"}
        << 0 << start << QStringList{base + "/a.mp4", base + "/b.vob"} << "";

    QTest::newRow("unknown long option")
        << QStringList{"a.mp4", "--bogus"} << usage << start << QStringList() << "bogus";
    QTest::newRow("unknown short option")
        << QStringList{"-x"} << usage << start << QStringList() << "'x'";
    QTest::newRow("letters are not grouped")
        << QStringList{"-hv"} << usage << start << QStringList() << "hv";
    QTest::newRow("missing value")
        << QStringList{"a.mp4", "-platform"} << usage << start << QStringList() << "-platform";
    QTest::newRow("value given to a flag")
        << QStringList{"--help=yes"} << usage << start << QStringList() << "help";
}

void TestCommandLineOptions::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, result);
    QFETCH(int, request);
    QFETCH(QStringList, paths);
    QFETCH(QString, error);

    CommandLineOptions options;
    // A parse starts afresh: nothing of an earlier one stays.
    QCOMPARE(options.parse({QStringLiteral("quellix"), QStringLiteral("old.mp4")}, base), 0);
    arguments.prepend(QStringLiteral("quellix"));
    QCOMPARE(options.parse(arguments, base), result);
    QCOMPARE(int(options.request()), request);
    QCOMPARE(options.paths(), paths);
    QVERIFY2(options.errorText().contains(error), qPrintable(options.errorText()));
    QCOMPARE(options.errorText().isEmpty(), error.isEmpty());
}

void TestCommandLineOptions::answer_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("help") << "--help" << 0 << CommandLineOptions::helpText() << "";
    QTest::newRow("version") << "--version" << 0 << "quellix " QUELLIX_VERSION "\n"
                             << "";
    QTest::newRow("start") << "a.mp4" << 0 << ""
                           << "";
    QTest::newRow("unknown option")
        << "--bogus" << CommandLineOptions::usageError << ""
        << "quellix: Unknown option 'bogus'.\nTry 'quellix --help' for more information.\n";
}

// Help and version go to the standard output, errors to the standard error.
void TestCommandLineOptions::answer()
{
    QFETCH(QString, argument);
    QFETCH(int, exitStatus);
    QFETCH(QString, out);
    QFETCH(QString, err);

    CommandLineOptions options;
    options.parse({QStringLiteral("quellix"), argument}, base);
    const File outFile(std::tmpfile());
    const File errFile(std::tmpfile());
    QVERIFY(outFile && errFile);
    QCOMPARE(options.answer(outFile.get(), errFile.get()), exitStatus);
    QCOMPARE(contents(outFile.get()), out);
    QCOMPARE(contents(errFile.get()), err);
}

// Every option, file, environment variable and exit status the help names is in the manual page
// too, which carries the same version.
void TestCommandLineOptions::manualPageTellsTheSame()
{
    const QString page = plainManualPage();
    QVERIFY(!page.isEmpty());
    QVERIFY(page.contains(QStringLiteral("\"quellix " QUELLIX_VERSION "\"")));

    const QString help = CommandLineOptions::helpText();
    QStringList named;
    const QRegularExpression items(
        QStringLiteral(R"((?:^|\s)(--?[a-z]+)|([A-Z]+_[A-Z_]+)|([$~][\w/.]+)|^  (\d+) )"),
        QRegularExpression::MultilineOption);
    auto match = items.globalMatch(help);
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        for (int group = 1; group <= 4; ++group) {
            if (!m.captured(group).isEmpty())
                named << m.captured(group);
        }
    }
    for (const char *expected :
         {"--help", "-v", "QT_SCALE_FACTOR", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
          "$XDG_CONFIG_HOME/quellix/conf_main.json", "~/.local/state/quellix", "0", "2"})
        QVERIFY2(named.contains(QLatin1String(expected)), expected);
    for (const QString &item : qAsConst(named)) {
        const bool exitStatus = item.at(0).isDigit();
        const QString inPage = exitStatus ? QStringLiteral(".B %1\n").arg(item) : item;
        QVERIFY2(page.contains(inPage), qPrintable(item));
    }
}

QTEST_GUILESS_MAIN(TestCommandLineOptions)
#include "test_commandlineoptions.moc"
