// Figure 5: time and peak memory of adding 1,000 and 10,000 files to the list in one drop, and
// whether both grow linearly with the count.
// Usage: bench_addfiles [runs]
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "player/VideoOutputInit.h"
#include "tests/FileDrop.h"
#include "tests/WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{

// Per-file cost at 10,000 files may exceed that at 1,000 by this factor and still count as
// linear growth.
constexpr double linearSlack = 1.25;

struct Count {
    int files;
    double goalSeconds;
    int runs;
};

double procStatusMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

QList<QUrl> makeFiles(const QTemporaryDir &dir, int count)
{
    QList<QUrl> urls;
    urls.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString path =
            dir.filePath(QStringLiteral("clip %1.mp4").arg(i, 5, 10, QLatin1Char('0')));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
        urls << QUrl::fromLocalFile(path);
    }
    return urls;
}

// Seconds from the drop until the list is laid out and usable; -1 if files went missing.
double dropSeconds(const QList<QUrl> &urls)
{
    WindowFixture fixture;
    if (!fixture.open())
        return -1;
    QElapsedTimer timer;
    timer.start();
    dropUrls(fixture.window(), urls);
    QApplication::processEvents(); // the list lays its entries out before it is usable
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const int added = fixture.list()->count();
    if (added != urls.size()) {
        std::fprintf(stderr, "only %d of %d files were added\n", added, int(urls.size()));
        return -1;
    }
    return seconds;
}

struct Measured {
    Samples seconds;
    double peakMb = 0;
    bool valid = true;
};

Measured measure(const Count &count)
{
    QTemporaryDir dir;
    const QList<QUrl> urls = makeFiles(dir, count.files);
    Measured result;
    for (int run = 0; run < count.runs; ++run) {
        const double seconds = dropSeconds(urls);
        result.valid = result.valid && seconds >= 0;
        result.seconds.add(seconds);
    }
    // The high-water mark only grows: measured in ascending order of counts it is this count's.
    result.peakMb = procStatusMb("VmHWM:");
    return result;
}

void printCountRow(const Count &count, const Measured &m, double baseMb)
{
    ResultRow row;
    row.figure = "5 add " + std::to_string(count.files) + " files in one drop";
    row.value = fixed(m.seconds.median(), 3, " s, peak RSS ") + fixed(m.peakMb, 0, " MB");
    row.goal = "<= " + fixed(count.goalSeconds, 1, " s");
    row.comparison = "empty window's peak RSS " + fixed(baseMb, 0, " MB");
    row.runs = int(m.seconds.size());
    row.verdict = verdictOf(m.valid && m.seconds.median() <= count.goalSeconds);
    row.print();
}

void printGrowthRow(const Count &small, const Measured &s, const Count &large, const Measured &l,
                    double baseMb)
{
    const double scale = double(large.files) / small.files;
    const double timeGrowth = l.seconds.median() / s.seconds.median();
    const double memoryGrowth = (l.peakMb - baseMb) / (s.peakMb - baseMb);
    ResultRow row;
    row.figure = "5 growth from " + std::to_string(small.files) + " to " +
                 std::to_string(large.files) + " files";
    row.value = "time x" + fixed(timeGrowth, 1) + ", memory x" + fixed(memoryGrowth, 1);
    row.goal = "linear: each <= x" + fixed(scale * linearSlack, 1);
    row.comparison = "per file: " + fixed(1e6 * s.seconds.median() / small.files, 0, " us, ") +
                     fixed(1024 * (s.peakMb - baseMb) / small.files, 1, " KB at ") +
                     std::to_string(small.files);
    row.runs = int(std::min(s.seconds.size(), l.seconds.size()));
    row.verdict = verdictOf(s.valid && l.valid && timeGrowth <= scale * linearSlack &&
                            memoryGrowth <= scale * linearSlack);
    row.print();
}

} // namespace

int main(int argc, char *argv[])
{
    initVideoOutput();
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    // An empty window first, so that the baseline holds everything but the entries.
    {
        WindowFixture fixture;
        fixture.open();
        QApplication::processEvents();
    }
    const double baseMb = procStatusMb("VmHWM:");

    const Count small{1000, 0.5, runs};
    const Count large{10000, 5.0, runs};
    const Measured s = measure(small);
    printCountRow(small, s, baseMb);
    const Measured l = measure(large);
    printCountRow(large, l, baseMb);
    printGrowthRow(small, s, large, l, baseMb);
    return 0;
}
