// Figure 5: adding 1,000 and 10,000 files in one drop: the time until the list is complete and
// the window answers, the longest turn of the event loop meanwhile, resident memory per listed
// file, and whether time and memory grow linearly with the count.
// Usage: bench_addfiles [runs]
//        bench_addfiles --memory COUNT   (one fresh window; prints kilobytes per listed file)
#include "bench/BenchApplication.h"
#include "bench/ListSizes.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "gui/InputItem.h"
#include "tests/DialogAnswerer.h"
#include "tests/EventLoopWatch.h"
#include "tests/WindowFixture.h"

#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace
{

constexpr double turnGoalMs = 50;
constexpr double memoryGoalKb = 10;
// Per-file cost at 10,000 files may exceed that at 1,000 by this factor and still count as
// linear growth.
constexpr double linearSlack = 1.25;
constexpr int probeIntervalMs = 1;

struct Count {
    int files;
    double goalSeconds;
};

struct Measured {
    Samples seconds;
    Samples longestTurnMs;
    Samples kbPerFile;
    Samples deleteTurnMs; // deleting the last row, then clearing the list
    Samples clearTurnMs;
    bool valid = true;
};

// The longest turn of the event loop while a button of the window asks its question, is answered
// with OK and does what it does.
double longestTurnOfAnswered(QPushButton *button)
{
    DialogAnswerer answerer;
    EventLoopWatch watch(nullptr, probeIntervalMs);
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::qWait(50);
    watch.stop();
    return answerer.texts.size() == 1 ? Samples(watch.gaps()).largest() : -1;
}

// Memory in a process of its own: what the allocator keeps from earlier windows would hide it.
int printMemory(int count)
{
    QTemporaryDir dir;
    const QList<QUrl> urls = makeListFiles(dir, count, QStringLiteral("clip"));
    WindowFixture fixture;
    if (!fixture.open())
        return 1;
    QApplication::processEvents();
    const double before = residentKb();
    if (dropAndWait(fixture, urls) < 0)
        return 1;
    std::printf("%.3f\n", (residentKb() - before) / count);
    return 0;
}

double memoryOf(int count)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--memory"), QString::number(count)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble();
}

Measured measure(const Count &count, int runs)
{
    QTemporaryDir dir;
    const QList<QUrl> urls = makeListFiles(dir, count.files, QStringLiteral("clip"));
    Measured result;
    for (int run = 0; run < runs; ++run) {
        WindowFixture fixture;
        fixture.open();
        QApplication::processEvents();
        EventLoopWatch watch(nullptr, probeIntervalMs);
        const double seconds = dropAndWait(fixture, urls);
        watch.stop();
        result.valid = result.valid && seconds >= 0;
        result.seconds.add(seconds);
        result.longestTurnMs.add(Samples(watch.gaps()).largest());
        fixture.list()->scrollToBottom();
        QApplication::processEvents();
        InputItem *last = fixture.row(count.files - 1);
        const double deleteMs =
            last ? longestTurnOfAnswered(last->findChild<QPushButton *>(QStringLiteral("btnDel")))
                 : -1;
        const double clearMs = longestTurnOfAnswered(fixture.child<QPushButton>("btnInputClear"));
        result.valid =
            result.valid && deleteMs >= 0 && clearMs >= 0 && fixture.list()->count() == 0;
        result.deleteTurnMs.add(deleteMs);
        result.clearTurnMs.add(clearMs);
        const double kb = memoryOf(count.files);
        result.valid = result.valid && kb >= 0;
        result.kbPerFile.add(kb);
    }
    return result;
}

void printCountRow(const Count &count, const Measured &m)
{
    ResultRow row;
    row.figure = "5 add " + std::to_string(count.files) + " files in one drop";
    row.value = fixed(m.seconds.median(), 2, " s, longest turn ") +
                fixed(m.longestTurnMs.median(), 0, " ms, ") +
                fixed(m.kbPerFile.median(), 1, " KB per file");
    row.goal = "<= " + fixed(count.goalSeconds, 1, " s, ") + fixed(turnGoalMs, 0, " ms, ") +
               fixed(memoryGoalKb, 0, " KB");
    row.comparison = "until the window answers; resident memory over the empty window";
    row.runs = int(m.seconds.size());
    row.verdict =
        verdictOf(m.valid && m.seconds.median() <= count.goalSeconds &&
                  m.longestTurnMs.median() <= turnGoalMs && m.kbPerFile.median() <= memoryGoalKb);
    row.print();

    ResultRow edits;
    edits.figure = "5 delete a row, then clear " + std::to_string(count.files) + " files";
    edits.value = "longest turn " + fixed(m.deleteTurnMs.median(), 0, " ms, ") +
                  fixed(m.clearTurnMs.median(), 0, " ms");
    edits.goal = "<= " + fixed(turnGoalMs, 0, " ms");
    edits.comparison = "each answered with OK";
    edits.runs = int(m.deleteTurnMs.size());
    edits.verdict = verdictOf(m.valid && m.deleteTurnMs.median() <= turnGoalMs &&
                              m.clearTurnMs.median() <= turnGoalMs);
    edits.print();
}

void printGrowthRow(const Count &small, const Measured &s, const Count &large, const Measured &l)
{
    const double scale = double(large.files) / small.files;
    const double timeGrowth = l.seconds.median() / s.seconds.median();
    const double memoryGrowth = scale * l.kbPerFile.median() / s.kbPerFile.median();
    ResultRow row;
    row.figure = "5 growth from " + std::to_string(small.files) + " to " +
                 std::to_string(large.files) + " files";
    row.value = "time x" + fixed(timeGrowth, 1) + ", memory x" + fixed(memoryGrowth, 1);
    row.goal = "linear: each <= x" + fixed(scale * linearSlack, 1);
    row.comparison = "per file: " + fixed(1e6 * s.seconds.median() / small.files, 0, " us at ") +
                     std::to_string(small.files);
    row.runs = int(std::min(s.seconds.size(), l.seconds.size()));
    row.verdict = verdictOf(s.valid && l.valid && timeGrowth <= scale * linearSlack &&
                            memoryGrowth <= scale * linearSlack);
    row.print();
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--memory")
        return printMemory(std::atoi(argv[2]));
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const Count small{1000, 0.5};
    const Count large{10000, 5.0};
    const Measured s = measure(small, runs);
    printCountRow(small, s);
    const Measured l = measure(large, runs);
    printCountRow(large, l);
    printGrowthRow(small, s, large, l);
    return 0;
}
