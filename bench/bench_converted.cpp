// Figure 8: what a converted file costs the program afterwards: resident memory per converted
// file over a batch of short conversions, and the open files and child processes left. A first
// batch of a third of the files warms up what a program allocates once (caches, the first run's
// buffers); the figure is the growth over the batch of the other two thirds that follows it.
// Usage: bench_converted CLIP [count]
#include "bench/BenchApplication.h"
#include "bench/ListSizes.h"
#include "bench/ResultRow.h"
#include "tests/DialogAnswerer.h"
#include "tests/TestMedia.h"
#include "tests/WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace
{

constexpr double goalKb = 4;
constexpr int batchTimeoutMs = 1800000;

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP [count]\n", argv[0]);
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 300;
    const int warmUp = count / 3;
    QTemporaryDir inputs;
    QTemporaryDir out;
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString link =
            inputs.filePath(QStringLiteral("short %1.mp4").arg(i, 4, 10, QLatin1Char('0')));
        QFile::link(QFile::decodeName(argv[1]), link);
        urls << QUrl::fromLocalFile(link);
    }
    WindowFixture fixture;
    DialogAnswerer answerer;
    if (!fixture.open(out.path()) || dropAndWait(fixture, urls.mid(0, warmUp)) < 0)
        return 1;
    const double kbAtStart = residentKb();
    const auto batch = [&](int dialogs) {
        fixture.clickStart();
        const bool finished = WindowFixture::waitForDialogs(answerer, dialogs, batchTimeoutMs);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
        return finished;
    };
    bool finished = batch(1);
    const double firstBatchKb = (residentKb() - kbAtStart) / warmUp;
    if (dropAndWait(fixture, urls.mid(warmUp)) < 0)
        return 1;
    const double kbBefore = residentKb();
    const int filesBefore = openFiles();
    finished = batch(2) && finished;
    const double perFile = (residentKb() - kbBefore) / (count - warmUp);
    const bool allDone =
        answerer.texts.value(0).contains(QStringLiteral("成功： %1 个").arg(warmUp)) &&
        answerer.texts.value(1).contains(QStringLiteral("成功： %1 个").arg(count - warmUp));

    ResultRow row;
    row.figure = "8 memory per converted file, batch of " + std::to_string(count - warmUp) +
                 " after " + std::to_string(warmUp);
    row.value = fixed(perFile, 2, " KB; open files ") + std::to_string(openFiles()) + " (" +
                std::to_string(filesBefore) + " before), child processes " +
                std::to_string(TestMedia::childPids().size());
    row.goal = "<= " + fixed(goalKb, 0, " KB; no more files or children");
    row.comparison = "resident memory after the batch less before it; the first batch " +
                     fixed(firstBatchKb, 2, " KB per file");
    row.runs = 1;
    row.verdict = verdictOf(finished && allDone && perFile <= goalKb &&
                            openFiles() <= filesBefore && TestMedia::childPids().isEmpty());
    row.print();
    return 0;
}
