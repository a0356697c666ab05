#include "app/CommandLineOptions.h"
#include "app/QuellixApplication.h"
#include "app/SingleInstance.h"
#include "gui/MainWindow.h"

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

    // A program already running on this desktop lists the files and comes to the front instead.
    SingleInstance instance;
    if (instance.handOver(options.paths()) == 0)
        return 0;

    QuellixApplication app(argc, argv);
    MainWindow window(nullptr);
    QObject::connect(&instance, &SingleInstance::pathsReceived, &window, &MainWindow::openPaths);
    instance.listen();
    window.show();
    window.addPaths(options.paths());
    return QuellixApplication::exec();
}
