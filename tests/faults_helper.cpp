// Converts the files named on its command line through the main window, as a program of its own,
// so that the fault suite can kill it during a conversion or run it as another user.
//   faults_helper OUTPUT_DIR INPUT...
// The window restores the list saved in $XDG_STATE_HOME/quellix. Prints the states of the listed
// files once the list is complete ("listed 2 0 0"), "started" once the batch runs, then the text of
// the first dialog the window shows, and ends when that dialog has been answered.
#include "DialogAnswerer.h"
#include "WindowFixture.h"
#include "app/QuellixApplication.h"
#include "convert/ConversionJob.h"
#include "gui/MainWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

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
    if (args.size() < 3 || !fixture.open(args.at(1), WindowFixture::KeptState)) {
        print(QStringLiteral("usage: faults_helper OUTPUT_DIR INPUT...\n"));
        return 2;
    }
    for (const QString &input : args.mid(2))
        fixture.add(input);
    if (!QTest::qWaitFor([&] { return !fixture.window()->isAddingFiles(); }, 30000)) {
        print(QStringLiteral("the list did not come complete\n"));
        return 2;
    }
    QString states = QStringLiteral("listed");
    for (int row = 0; fixture.job(row); ++row)
        states += QStringLiteral(" %1").arg(fixture.job(row)->convertState());
    print(states + QStringLiteral("\n"));

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
