// Figures 10 and 12: how busy a batch keeps the machine: a batch of short clips converted with
// one, two and the automatic number of files at once through the queue alone, and two at once
// through the main window; each batch's transcoders' processor time over its wall time times the
// cores. The batches run in turns, so that other work weighs on each alike.
// Usage: bench_atonce CLIP [files] [rounds]
#include "app/QuellixApplication.h"
#include "batch/BatchQueue.h"
#include "bench/BatchRun.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "params/ParamTables.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace
{

constexpr double goalBusy = 0.90;
constexpr int batchTimeoutMs = 1800000;

// Processor seconds of every child the program has waited for.
double childrenSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// `files` links to the clip, each a file of its own to the program.
QStringList linksTo(const QString &clip, int files, const QTemporaryDir &folder)
{
    QStringList links;
    for (int i = 0; i < files; ++i) {
        links << folder.filePath(QStringLiteral("clip %1.mp4").arg(i));
        QFile::link(clip, links.last());
    }
    return links;
}

double busyOver(double cpuBefore, double wallSeconds)
{
    return (childrenSeconds() - cpuBefore) / (wallSeconds * QThread::idealThreadCount());
}

// One batch of `files` links to the clip with `atOnce` files at a time: the share of the machine
// its transcoders kept busy, or -1 when the batch did not convert every file.
double busyShare(const QString &clip, int files, int atOnce)
{
    QTemporaryDir inputs;
    QTemporaryDir out;
    BatchQueue queue;
    queue.setOutputDirectory(out.path());
    queue.setMaxRunning(atOnce);
    for (const QString &link : linksTo(clip, files, inputs))
        queue.add(link.toStdString(), makeAVSettings(0, QualityMedium, QualityMedium));
    QEventLoop loop;
    QObject::connect(&queue, &BatchQueue::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(batchTimeoutMs, &loop, &QEventLoop::quit);
    const double cpuBefore = childrenSeconds();
    QElapsedTimer wall;
    wall.start();
    if (queue.start() != 0)
        return -1;
    loop.exec();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    if (queue.succeededCount() != files)
        return -1;
    return busyOver(cpuBefore, seconds);
}

// The same through the main window, from the press of its start button to its summary.
double windowBusyShare(const QString &clip, int files, int atOnce)
{
    QTemporaryDir inputs;
    QTemporaryDir out;
    BatchRun window(out.path());
    if (window.addFiles(linksTo(clip, files, inputs)) != files)
        return -1;
    window.convertAtOnce(atOnce);
    const double cpuBefore = childrenSeconds();
    const BatchRun::Result result = window.run(batchTimeoutMs);
    if (!result.finished || !result.summary.contains(QStringLiteral("成功： %1 个").arg(files)))
        return -1;
    return busyOver(cpuBefore, result.wallSeconds);
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP [files] [rounds]\n", argv[0]);
        return 2;
    }
    initParamTables();
    const QString clip = QFile::decodeName(argv[1]);
    const int files = argc > 2 ? std::atoi(argv[2]) : 6;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const int automatic = BatchQueue::automaticRunning();
    const int choices[] = {1, 2, 0};
    Samples shares[3];
    Samples throughWindow;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < 3; ++i) {
            const double share = busyShare(clip, files, choices[i]);
            if (share < 0)
                return 1;
            shares[i].add(share);
        }
        const double share = windowBusyShare(clip, files, 2);
        if (share < 0)
            return 1;
        throughWindow.add(share);
    }
    const std::string batch = std::to_string(files) + " clips";
    ResultRow{"10 cores busy, one file at a time",
              fixed(shares[0].median() * 100, 1, " %"),
              "",
              batch,
              rounds,
              ResultRow::Info}
        .print();
    ResultRow{"10 cores busy, two files at once",
              fixed(shares[1].median() * 100, 1, " %"),
              "90 % or more",
              batch,
              rounds,
              verdictOf(shares[1].median() >= goalBusy)}
        .print();
    ResultRow{"10 cores busy, automatic (" + std::to_string(automatic) + " at once)",
              fixed(shares[2].median() * 100, 1, " %"),
              "90 % or more",
              batch,
              rounds,
              verdictOf(shares[2].median() >= goalBusy)}
        .print();
    ResultRow{"13 cores busy, two files at once through the window",
              fixed(throughWindow.median() * 100, 1, " %"),
              "90 % or more",
              "the queue alone: " + fixed(shares[1].median() * 100, 1, " %"),
              rounds,
              verdictOf(throughWindow.median() >= goalBusy)}
        .print();
    return 0;
}
