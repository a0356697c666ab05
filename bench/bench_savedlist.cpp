// Figure 9: the saved file list with 10,000 rows: turning the rows into the file's text and back,
// and the whole save (written, flushed, renamed) and load. The window saves on the event loop, so
// each must stay well inside one turn of 50 ms. Usage: bench_savedlist [runs] [rows]
#include "batch/SavedList.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>

namespace
{

constexpr double turnGoalMs = 50;

// Rows as a long list holds them: paths of some depth with Chinese names, settings of every
// container, a failure now and then.
std::vector<SavedEntry> makeRows(int count)
{
    std::vector<SavedEntry> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        SavedEntry &row = rows[size_t(i)];
        row.inputPath = "/home/user/视频/2026 假期/第" + std::to_string(i) + "集 - clip.mp4";
        row.settings = makeAVSettings(i % 4, i % 3, (i + 1) % 4);
        row.state = ConvertState(i % 5);
        if (row.state == Failed)
            row.errorText = "未识别的输入文件格式！\n";
    }
    return rows;
}

double milliseconds(const std::function<bool()> &step)
{
    QElapsedTimer clock;
    clock.start();
    const bool ok = step();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return ok ? ms : -1;
}

void printRow(const char *figure, const Samples &samples, const char *comparison, bool valid)
{
    ResultRow row;
    row.figure = figure;
    row.value = fixed(samples.median(), 1, " ms");
    row.goal = "<= " + fixed(turnGoalMs, 0, " ms");
    row.comparison = comparison;
    row.runs = int(samples.size());
    row.verdict = verdictOf(valid && samples.median() <= turnGoalMs);
    row.print();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 9;
    const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
    const std::vector<SavedEntry> rows = makeRows(count);
    QTemporaryDir dir;
    const SavedList list(dir.filePath(QStringLiteral("list.json")));

    Samples serialising, parsing, saving, loading;
    bool valid = dir.isValid();
    QByteArray text;
    for (int run = 0; run < runs; ++run) {
        std::vector<SavedEntry> read;
        serialising.add(
            milliseconds([&] { return !(text = SavedList::serialise(rows)).isEmpty(); }));
        parsing.add(milliseconds([&] { return SavedList::parse(text, read) == 0; }));
        saving.add(milliseconds([&] { return list.save(rows) == 0; }));
        loading.add(milliseconds([&] { return list.load(read) == 0 && read == rows; }));
    }
    for (const Samples *samples : {&serialising, &parsing, &saving, &loading})
        valid = valid && samples->percentile(0.1) >= 0;

    const std::string rowsText =
        std::to_string(count) + " rows, " + fixed(double(text.size()) / 1e6, 2, " MB");
    printRow("saved list: serialise 10,000 rows", serialising, rowsText.c_str(), valid);
    printRow("saved list: parse 10,000 rows", parsing, rowsText.c_str(), valid);
    printRow("saved list: save (write, flush, rename)", saving, rowsText.c_str(), valid);
    printRow("saved list: load and check", loading, rowsText.c_str(), valid);
    return valid ? 0 : 1;
}
