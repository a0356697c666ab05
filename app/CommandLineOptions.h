#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The program's command line: the usage or the version, or a start with files and folders to
// list. Read before the application object exists, so that --help and --version need no display;
// Qt's own options (-platform NAME, -style NAME, ...) are recognised and left to the application.
class CommandLineOptions final
{
public:
    enum Request { Start, ShowHelp, ShowVersion };

    // Exit status of a command line that cannot be followed (an unknown option, a missing value).
    static constexpr int usageError = 2;

    // The arguments of main, program name first, in the locale's encoding.
    static QStringList argumentsOf(int argc, char **argv);

    // `arguments` starts with the program name; relative paths are taken from `workingDirectory`.
    // Returns 0, or usageError with errorText() saying why.
    int parse(const QStringList &arguments, const QString &workingDirectory);

    Request request() const { return m_requested; }
    // The files and folders to list, absolute, in the order given.
    const QStringList &paths() const { return m_givenPaths; }
    const QString &errorText() const { return m_error; }

    // What the usage, the version or an error prints, on `out` or, for an error, on `err`.
    // Returns the exit status.
    int answer(std::FILE *out, std::FILE *err) const;

    static QString helpText();
    static QString versionText();

private:
    Request m_requested = Start;
    QStringList m_givenPaths;
    QString m_error;
};
