// Renders the file list with a row in each state of a job (waiting, converting, done, failed,
// cancelled), for comparing the look of the rows pixel for pixel before and after a change.
// Usage: quellix_rowlook RUNNING.png ENDED.png (under an X server, e.g. xvfb-run)
#include "app/QuellixApplication.h"
#include "tests/DialogAnswerer.h"
#include "tests/TestMedia.h"
#include "tests/WindowFixture.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <cstdio>

namespace
{

// Done, failed, or half-way and then silent, by the name of the input.
const QByteArray standIn = "for last; do :; done\n"
                           "echo '  Duration: 00:00:10.00, start: 0.000000, bitrate: 9 kb/s'\n"
                           "printf 'frame=  50 time=00:00:05.00 bitrate= 1.6kbits/s speed=1x\\r'\n"
                           "case \"$3\" in\n"
                           "*fail*) exit 1 ;;\n"
                           "*hang*) exec sleep 60 ;;\n"
                           "esac\n"
                           "printf data > \"$last\"";

bool grabList(const WindowFixture &fixture, const char *file)
{
    QApplication::processEvents();
    return fixture.list()->viewport()->grab().save(QString::fromLocal8Bit(file));
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNNING.png ENDED.png\n", argv[0]);
        return 2;
    }
    TestMedia media;
    if (!media.installStandIn(standIn))
        return 1;
    WindowFixture fixture;
    if (!fixture.open(media.path(QString())))
        return 1;
    for (const char *name : {"a done.mp4", "b fail.avi", "c hang.mkv", "d waiting.mov"})
        fixture.add(media.makeFile(QString::fromLatin1(name), 1572864));
    DialogAnswerer answerer;
    fixture.clickStart();
    QTest::qWait(1500); // the first two end, the third stays half-way
    if (!grabList(fixture, argv[1]))
        return 1;
    fixture.clickStart(); // cancel: the question, then the summary
    if (!WindowFixture::waitForDialogs(answerer, 2, 10000) || !grabList(fixture, argv[2]))
        return 1;
    return 0;
}
