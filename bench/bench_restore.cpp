// Figure 11: a saved list of 10,000 files brought back by a new window: the time from creating the
// window until the list is complete, and the longest turn of its event loop meanwhile, from its
// first turn on.
// Usage: bench_restore [runs] [files]
#include "batch/SavedList.h"
#include "bench/BenchApplication.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "params/AVSettings.h"
#include "tests/EventLoopWatch.h"
#include "tests/WindowFixture.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace
{

constexpr double goalSeconds = 1.5;
constexpr double turnGoalMs = 50;

// A list as a long session leaves it: most files done, some failed, the rest waiting.
std::vector<SavedEntry> savedList(const QString &folder, int files)
{
    std::vector<SavedEntry> entries;
    entries.reserve(size_t(files));
    for (int i = 0; i < files; ++i) {
        SavedEntry entry;
        entry.inputPath =
            QString(folder + QStringLiteral("/holiday clip %1.mp4").arg(i)).toStdString();
        entry.settings = makeAVSettings(i % 4, QualityMedium, QualityMedium);
        entry.state = i % 10 == 0 ? Failed : (i % 3 == 0 ? Waiting : Done);
        if (entry.state == Failed)
            entry.errorText = "未识别的输入文件格式！\n";
        entries.push_back(entry);
    }
    return entries;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10000;
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const std::vector<SavedEntry> entries = savedList(state.path(), files);
    Samples seconds;
    Samples turns;
    for (int run = 0; run < runs; ++run) {
        if (SavedList(SavedList::defaultFileName()).save(entries) != 0)
            return 1;
        WindowFixture fixture;
        QElapsedTimer clock;
        clock.start();
        // The turns of the running window count, not the making of it, which is start-up.
        EventLoopWatch watch;
        QTimer::singleShot(0, &watch, [&watch] { watch.start(); });
        if (!fixture.open(QString(), WindowFixture::KeptState))
            return 1;
        if (!QTest::qWaitFor([&] { return !fixture.window()->isAddingFiles(); }, 60000) ||
            fixture.list()->count() != files) {
            std::fprintf(stderr, "listed %d of %d files\n", fixture.list()->count(), files);
            return 1;
        }
        watch.stop();
        seconds.add(double(clock.nsecsElapsed()) / 1e9);
        turns.add(double(watch.longestStallMs()));
    }
    const std::string count = std::to_string(files) + " files";
    ResultRow{"11 restore a saved list of " + count + ": until complete",
              fixed(seconds.median(), 2, " s"),
              "about a second",
              "",
              runs,
              verdictOf(seconds.median() <= goalSeconds)}
        .print();
    ResultRow{"11 restore a saved list of " + count + ": longest turn",
              fixed(turns.median(), 1, " ms"),
              "50 ms",
              "",
              runs,
              verdictOf(turns.median() <= turnGoalMs)}
        .print();
    return 0;
}
