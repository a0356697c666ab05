// Converts the files named on its command line through the main window, as a program of its own,
// so that the fault suite can kill it during a conversion or run it as another user.
//   faults_helper OUTPUT_DIR INPUT...
// Prints "started" once the batch runs, then the text of the first dialog the window shows, and
// ends when that dialog has been answered.
#include "DialogAnswerer.h"
#include "WindowFixture.h"
#include "app/QuellixApplication.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace
{

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    WindowFixture fixture;
    if (args.size() < 3 || !fixture.open(args.at(1))) {
        print(QStringLiteral("usage: faults_helper OUTPUT_DIR INPUT...\n"));
        return 2;
    }
    for (const QString &input : args.mid(2))
        fixture.add(input);

    DialogAnswerer answerer;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!answerer.texts.isEmpty())
            QApplication::quit();
    });
    watch.start(20);
    fixture.startButton()->click();
    if (fixture.window()->isConverting())
        print(QStringLiteral("started\n"));
    const int result = QApplication::exec();
    print(answerer.texts.value(0));
    return result;
}
