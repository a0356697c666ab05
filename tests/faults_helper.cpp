// Converts the files named on its command line through the main window, as a program of its own,
// so that the fault suite can kill it during a conversion or run it as another user.
//   faults_helper OUTPUT_DIR INPUT...
// Prints "started" once the batch runs, then the text of the first dialog the window shows, and
// ends when that dialog has been answered.
#include "DialogAnswerer.h"
#include "app/MainWindow.h"
#include "player/VideoOutputInit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace
{

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// A working folder of the helper's own, holding a configuration that names the output folder.
bool prepareWorkingDir(const QTemporaryDir &work, const QString &outputDir)
{
    if (!work.isValid() || !QDir::setCurrent(work.path()))
        return false;
    QFile config(QStringLiteral("conf_main.json"));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    const QJsonObject object{{QStringLiteral("VideosDir"), outputDir}};
    return config.write(QJsonDocument(object).toJson(QJsonDocument::Compact)) > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    initVideoOutput();
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    QTemporaryDir work;
    if (args.size() < 3 || !prepareWorkingDir(work, args.at(1))) {
        print(QStringLiteral("usage: faults_helper OUTPUT_DIR INPUT...\n"));
        return 2;
    }
    MainWindow window;
    for (const QString &input : args.mid(2))
        window.addInputFile(input.toStdString());

    DialogAnswerer answerer;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!answerer.texts.isEmpty())
            QApplication::quit();
    });
    watch.start(20);
    window.findChild<QPushButton *>(QStringLiteral("btnConvertStart"))->click();
    if (window.isConverting())
        print(QStringLiteral("started\n"));
    const int result = QApplication::exec();
    print(answerer.texts.value(0));
    return result;
}
