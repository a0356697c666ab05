// Renders the README's pictures of the main window: a few clips in the list, one of them playing
// in the preview; with --converting, the first of them being converted (by a stand-in transcoder
// that writes nothing), the panel locked. Usage: quellix_screenshot OUTPUT.png [--converting]
// (under an X server, e.g. xvfb-run; QT_SCALE_FACTOR=2 for the high-DPI pictures).
#include "app/QuellixApplication.h"
#include "player/vlcplayer.h"
#include "tests/FileDrop.h"
#include "tests/TestMedia.h"
#include "tests/WindowFixture.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [--converting]\n", argv[0]);
        return 2;
    }
    const bool converting = argc > 2 && qstrcmp(argv[2], "--converting") == 0;
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    TestMedia media;
    const QStringList names = {QStringLiteral("周末旅行.mp4"), QStringLiteral("birthday party.avi"),
                               QStringLiteral("interview-2026.mkv"),
                               QStringLiteral("lecture 03.mov")};
    for (const QString &name : names) {
        if (!media.makeClip(name, 8, QStringLiteral("640x360")))
            return 1;
    }
    WindowFixture fixture;
    if (!fixture.open())
        return 1;
    MainWindow &window = *fixture.window();
    // Dropped on the window, as a user would.
    QList<QUrl> urls;
    for (const QString &name : names)
        urls << QUrl::fromLocalFile(media.path(name));
    dropUrls(&window, urls);
    fixture.list()->setCurrentRow(1);
    window.previewPlayer()->openMedia(media.path(names.at(0)), true);
    QTest::qWait(2500);
    if (converting) {
        if (!media.installStandIn("printf '  Duration: 00:00:08.00, start: 0.000000\\n"
                                  "time=00:00:03.00\\r'; sleep 5"))
            return 1;
        fixture.startButton()->click();
        QTest::qWait(1000);
    }
    // The screen's pixels, so that the video drawn by the player is in the picture too.
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, window.x(), window.y(), window.width(), window.height());
    return shot.save(output) ? 0 : 1;
}
