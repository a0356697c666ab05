// Figure 7: a batch of ten short clips at the head of a list of 10, 1,000 and 10,000 files: the
// program's own processor time as a share of the batch's wall time, and the longest turn of the
// event loop, which is a switch from one file to the next.
// Usage: bench_biglist CLIP [runs]   (each run is two batches: one timed, one probed)
#include "bench/BatchRun.h"
#include "bench/BenchApplication.h"
#include "bench/ListSizes.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "convert/ConversionJob.h"
#include "tests/DialogAnswerer.h"
#include "tests/EventLoopWatch.h"
#include "tests/WindowFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{

constexpr int clips = 10;
constexpr double cpuGoalPercent = 1.0;
constexpr double switchGoalMs = 20;
constexpr int batchTimeoutMs = 600000;
constexpr int probeIntervalMs = 1;

struct Figures {
    Samples cpuPercent;
    Samples longestTurnMs;
    bool valid = true;
};

// From the press of the start button to the end of the tenth clip's run. The processor time is
// taken without the probe, whose beats cost time of their own, and the turns with it.
bool runClips(WindowFixture &fixture, Figures &figures, bool probe)
{
    ConversionJob *last = fixture.job(clips - 1);
    QEventLoop ended;
    double endCpu = 0;
    qint64 endNs = 0;
    QElapsedTimer clock;
    // The verdict is given before the window reacts to it by starting the next file, or by
    // showing the summary of a list of ten, which is answered once the clock has stopped.
    std::unique_ptr<DialogAnswerer> answerer;
    QObject::connect(last, &ConversionJob::changed, &ended, [&] {
        if (endNs == 0 && (last->convertState() == Done || last->convertState() == Failed)) {
            endNs = clock.nsecsElapsed();
            endCpu = ownCpuSeconds();
            answerer = std::make_unique<DialogAnswerer>();
            ended.quit();
        }
    });
    QTimer::singleShot(batchTimeoutMs, &ended, &QEventLoop::quit);
    std::unique_ptr<EventLoopWatch> watch;
    if (probe)
        watch = std::make_unique<EventLoopWatch>(nullptr, probeIntervalMs);
    const double startCpu = ownCpuSeconds();
    clock.start();
    fixture.clickStart();
    ended.exec();
    if (endNs == 0 || last->convertState() != Done)
        return false;
    if (watch) {
        watch->stop();
        figures.longestTurnMs.add(Samples(watch->gaps()).largest());
    } else {
        figures.cpuPercent.add(100.0 * (endCpu - startCpu) / (double(endNs) / 1e9));
    }
    return true;
}

Figures measure(const QString &clip, int listed, int runs)
{
    Figures figures;
    QTemporaryDir inputs;
    QList<QUrl> urls;
    for (int i = 0; i < clips; ++i) {
        const QString copy = inputs.filePath(QStringLiteral("short %1.mp4").arg(i));
        QFile::copy(clip, copy);
        urls << QUrl::fromLocalFile(copy);
    }
    urls += makeListFiles(inputs, listed - clips, QStringLiteral("listed"));
    for (int run = 0; run < 2 * runs; ++run) {
        QTemporaryDir out;
        WindowFixture fixture;
        const bool ready = fixture.open(out.path()) && dropAndWait(fixture, urls) >= 0;
        figures.valid = ready && runClips(fixture, figures, run % 2 == 1) && figures.valid;
    }
    return figures;
}

void printRow(int listed, const Figures &f)
{
    ResultRow row;
    row.figure = "7 batch of 10 short clips, " + std::to_string(listed) + " files listed";
    row.value = fixed(f.cpuPercent.median(), 2, " % CPU, longest turn ") +
                fixed(f.longestTurnMs.median(), 1, " ms");
    row.goal = "<= " + fixed(cpuGoalPercent, 0, " %") +
               (listed >= 10000 ? ", " + fixed(switchGoalMs, 0, " ms") : std::string());
    row.comparison = "the program's own time over the batch's wall time";
    row.runs = int(f.cpuPercent.size());
    row.verdict = verdictOf(f.valid && f.cpuPercent.median() <= cpuGoalPercent &&
                            (listed < 10000 || f.longestTurnMs.median() <= switchGoalMs));
    row.print();
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP [runs]\n", argv[0]);
        return 2;
    }
    const QString clip = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    for (int listed : {10, 1000, 10000})
        printRow(listed, measure(clip, listed, runs));
    return 0;
}
