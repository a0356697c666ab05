#include "app/CommandLineOptions.h"

#include "Version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QUrl>

namespace
{

// Qt's own options, which QApplication takes out of the arguments; the names of those followed by
// a value come first.
const char *const qtValueOptions[] = {"platform",
                                      "platformpluginpath",
                                      "platformtheme",
                                      "plugin",
                                      "qwindowgeometry",
                                      "geometry",
                                      "qwindowtitle",
                                      "title",
                                      "qwindowicon",
                                      "icon",
                                      "session",
                                      "display",
                                      "name",
                                      "style",
                                      "stylesheet",
                                      "qmljsdebugger"};
const char *const qtFlagOptions[] = {"reverse", "nograb",      "dograb",
                                     "sync",    "widgetcount", "testability"};

const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Show this help and exit."));
const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Show the version and exit."));

void addQtOptions(QCommandLineParser &parser)
{
    for (const char *name : qtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : qtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// File managers hand over paths; some hand over file URLs.
QString absolutePath(const QString &argument, const QDir &base)
{
    const QString path =
        argument.startsWith(QLatin1String("file://")) ? QUrl(argument).toLocalFile() : argument;
    return QDir::cleanPath(base.absoluteFilePath(path));
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

QStringList CommandLineOptions::argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int CommandLineOptions::parse(const QStringList &arguments, const QString &workingDirectory)
{
    m_requested = Start;
    m_givenPaths.clear();
    m_error.clear();

    QCommandLineParser parser;
    // Qt's options start with one dash: "-platform" is one option, not seven letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    addQtOptions(parser);
    if (!parser.parse(arguments)) {
        m_error = parser.errorText();
        return usageError;
    }
    if (parser.isSet(helpOption)) {
        m_requested = ShowHelp;
        return 0;
    }
    if (parser.isSet(versionOption)) {
        m_requested = ShowVersion;
        return 0;
    }
    const QDir base(workingDirectory);
    for (const QString &argument : parser.positionalArguments()) {
        if (!argument.isEmpty())
            m_givenPaths << absolutePath(argument, base);
    }
    return 0;
}

int CommandLineOptions::answer(std::FILE *out, std::FILE *err) const
{
    if (!m_error.isEmpty()) {
        print(err, QStringLiteral("quellix: %1\nTry 'quellix --help' for more information.\n")
                       .arg(m_error));
        return usageError;
    }
    if (m_requested == ShowHelp)
        print(out, helpText());
    else if (m_requested == ShowVersion)
        print(out, versionText());
    return 0;
}

QString CommandLineOptions::versionText()
{
    return QStringLiteral("quellix " QUELLIX_VERSION "\n");
}

// The manual page, docs/quellix.1.in, tells the same.
QString CommandLineOptions::helpText()
{
    return QStringLiteral(
        "Usage: quellix [OPTION]... [FILE|FOLDER]...\n"
        "Convert videos to MP4, MKV, WebM, FLV, AVI or WMV, one after another, with ffmpeg.\n"
        "\n"
        "The files and folders given are listed in the window when it opens; a folder\n"
        "adds the videos in it and in its subfolders. When Quellix already runs, a\n"
        "second start hands its files and folders to the running window and raises it.\n"
        "\n"
        "Options:\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "Qt's own options, such as -platform NAME or -style NAME, are taken as well.\n"
        "\n"
        "Files:\n"
        "  $XDG_CONFIG_HOME/quellix/conf_main.json\n"
        "                 the settings (the output folder); ~/.config/quellix when\n"
        "                 XDG_CONFIG_HOME is not set. The quellix command starts the\n"
        "                 program in that folder.\n"
        "  $XDG_STATE_HOME/quellix\n"
        "                 the saved file list; ~/.local/state/quellix when\n"
        "                 XDG_STATE_HOME is not set\n"
        "\n"
        "Environment:\n"
        "  QT_SCALE_FACTOR  scale of the whole window, such as 2 on a high-DPI screen\n"
        "  QT_QPA_PLATFORM  the windowing platform; a Wayland session runs the program\n"
        "                   on X11 through XWayland unless this names another\n"
        "  XDG_CONFIG_HOME  the folder of the settings folder\n"
        "  XDG_STATE_HOME   the folder of the saved file list's folder\n"
        "\n"
        "Exit status:\n"
        "  0    the window was closed, or the help or the version was shown\n"
        "  1    the settings folder could not be entered\n"
        "  2    the command line has an unknown option or lacks an option's value\n"
        "  134  no display could be reached (Qt stops the program)\n");
}
