#include "app/CommandLineOptions.h"
#include "app/MainWindow.h"
#include "app/QuellixApplication.h"

#include <QDir>

#include <clocale>

int main(int argc, char *argv[])
{
    // The arguments are decoded before QApplication exists, which would set the locale itself.
    std::setlocale(LC_ALL, "");
    // The launcher runs the program in its settings folder and names the folder it was started in.
    const QByteArray startDir = qgetenv("QUELLIX_START_DIR");
    qunsetenv("QUELLIX_START_DIR");
    CommandLineOptions options;
    const int parsed =
        options.parse(CommandLineOptions::argumentsOf(argc, argv),
                      startDir.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(startDir));
    if (parsed != 0 || options.request() != CommandLineOptions::Start)
        return options.answer(stdout, stderr);

    QuellixApplication app(argc, argv);
    MainWindow window(nullptr);
    window.show();
    return QuellixApplication::exec();
}
