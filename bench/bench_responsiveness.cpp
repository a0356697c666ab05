// Figure 1: gaps between the event-loop turns of the main window while a batch converts, on a
// real clip with H.265 (alone, and two at once) and with a stand-in transcoder that stays silent
// for 3 seconds, against the same window sitting idle.
// Usage: bench_responsiveness CLIP [runs]
#include "app/QuellixApplication.h"
#include "bench/BatchRun.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "convert/ConversionJob.h"
#include "tests/EventLoopWatch.h"
#include "tests/TestMedia.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace
{

constexpr double goalMs = 20.0;
constexpr int idleMs = 3000;
constexpr int batchTimeoutMs = 300000;
constexpr int h265Codec = 3;
// A precise 1 ms beat: the loop turns at most once per beat, and a turn longer than that shows.
constexpr int probeIntervalMs = 1;

// Silent for 3 s, then what a short conversion prints, and the output file.
const QByteArray silentStandIn = "sleep 3\n"
                                 "printf '  Duration: 00:00:03.00, start: 0.000000, bitrate: 9 "
                                 "kb/s\\nframe=   54 fps=18 q=-1.0 Lsize=  9kB time=00:00:03.00 "
                                 "bitrate= 24.6kbits/s speed=1x\\nvideo:1kB audio:1kB kb/s:1\\n'\n"
                                 "for last; do :; done\n"
                                 "printf data > \"$last\"";

struct GapFigures {
    Samples longest;
    Samples p99;
    bool allFinished = true;
};

void addRun(GapFigures &figures, const EventLoopWatch &probe)
{
    const Samples gaps(probe.gaps());
    figures.longest.add(gaps.largest());
    figures.p99.add(gaps.percentile(99));
}

GapFigures idleGaps(int runs)
{
    QTemporaryDir work;
    BatchRun window(work.path());
    GapFigures figures;
    EventLoopWatch probe(nullptr, probeIntervalMs);
    for (int run = 0; run < runs; ++run) {
        QEventLoop loop;
        QTimer::singleShot(idleMs, &loop, &QEventLoop::quit);
        probe.start();
        loop.exec();
        probe.stop();
        addRun(figures, probe);
    }
    return figures;
}

// One batch per run over `inputs`; `prepare` may change the jobs' settings before the start.
template <typename Prepare>
GapFigures batchGaps(const QStringList &inputs, int runs, Prepare prepare)
{
    GapFigures figures;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir work;
        const QString out = work.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        BatchRun window(out);
        window.addFiles(inputs);
        prepare(window);
        EventLoopWatch probe(nullptr, probeIntervalMs);
        const BatchRun::Result result = window.run(batchTimeoutMs, &probe);
        const QString success = QStringLiteral("成功： %1 个").arg(inputs.size());
        if (!result.finished || !result.summary.contains(success)) {
            std::fprintf(stderr, "batch did not succeed: %s\n", qPrintable(result.summary));
            figures.allFinished = false;
        }
        addRun(figures, probe);
    }
    return figures;
}

std::string describe(const GapFigures &figures)
{
    return "max " + fixed(figures.longest.median(), 1, " ms") + ", p99 " +
           fixed(figures.p99.median(), 1, " ms");
}

void printRow(const char *figure, const GapFigures &batch, const GapFigures &idle)
{
    ResultRow row;
    row.figure = figure;
    row.value = describe(batch);
    row.goal = "max <= " + fixed(goalMs, 0, " ms");
    row.comparison = "idle window: " + describe(idle);
    row.runs = int(batch.longest.size());
    row.verdict = verdictOf(batch.allFinished && batch.longest.median() <= goalMs);
    row.print();
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP [runs]\n", argv[0]);
        return 2;
    }
    const QString clip = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;

    const GapFigures idle = idleGaps(runs);

    const GapFigures h265 = batchGaps({clip}, runs, [](BatchRun &window) {
        for (ConversionJob *job : window.jobs()) {
            AVSettings settings = job->settings();
            settings.cv = h265Codec;
            job->setSettings(settings);
        }
    });
    printRow("1a loop gaps, batch of a 30 s clip to H.265", h265, idle);

    // The same clip twice, both converting at once.
    QTemporaryDir twice;
    const QStringList copies = {twice.filePath(QStringLiteral("one.mp4")),
                                twice.filePath(QStringLiteral("two.mp4"))};
    for (const QString &copy : copies)
        QFile::link(clip, copy);
    const GapFigures twoAtOnce = batchGaps(copies, runs, [](BatchRun &window) {
        window.convertAtOnce(2);
        for (ConversionJob *job : window.jobs()) {
            AVSettings settings = job->settings();
            settings.cv = h265Codec;
            job->setSettings(settings);
        }
    });
    printRow("1c loop gaps, two 30 s clips to H.265 at once", twoAtOnce, idle);

    QTemporaryDir inputs;
    QStringList names;
    for (const char *name : {"first.mp4", "second.mp4"}) {
        QFile file(inputs.filePath(QLatin1String(name)));
        file.open(QIODevice::WriteOnly);
        names << file.fileName();
    }
    TestMedia standIn;
    if (!standIn.installStandIn(silentStandIn))
        return 1;
    const GapFigures silent = batchGaps(names, runs, [](BatchRun &) {});
    printRow("1b loop gaps, 2 jobs of a transcoder silent 3 s", silent, idle);
    return 0;
}
