// Figure 2: a stand-in transcoder printing 20 MB of console text as fast as it can, run through a
// conversion job, against the same program with its output sent to the null device, and against
// the same program writing into a pipe that cat empties: the least any reader of a pipe costs.
// Usage: bench_reader [runs]
#include "app/QuellixApplication.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "convert/ConversionJob.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace
{

constexpr double ratioGoal = 1.05;
constexpr int runTimeoutMs = 120000;
constexpr double megabytes = 20.0;

QString chatterProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bench_chatter");
}

double nullSeconds(const QStringList &arguments)
{
    QProcess chatter;
    chatter.setStandardInputFile(QProcess::nullDevice());
    chatter.setStandardOutputFile(QProcess::nullDevice());
    chatter.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    chatter.start(chatterProgram(), arguments);
    if (!chatter.waitForFinished(runTimeoutMs) || chatter.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

double catSeconds(const QStringList &arguments)
{
    QProcess chatter;
    QProcess cat;
    chatter.setStandardInputFile(QProcess::nullDevice());
    chatter.setProcessChannelMode(QProcess::MergedChannels);
    chatter.setStandardOutputProcess(&cat);
    cat.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    cat.start(QStringLiteral("cat"), QStringList());
    chatter.start(chatterProgram(), arguments);
    if (!chatter.waitForFinished(runTimeoutMs) || !cat.waitForFinished(runTimeoutMs) ||
        chatter.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

// From the start of the job to its verdict, with every byte read and looked at.
double jobSeconds(const QString &input)
{
    ConversionJob job;
    if (job.setInput(input.toStdString(), makeAVSettings(0, QualityMedium, QualityMedium)) != 0)
        return -1;
    QEventLoop loop;
    QObject::connect(&job, &ConversionJob::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(runTimeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    if (job.start(QFileInfo(input).path().toStdString()) != 0)
        return -1;
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return job.convertState() == Done ? seconds : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;

    initParamTables();
    QTemporaryDir work;
    const QString input = work.filePath(QStringLiteral("in.mp4"));
    QFile(input).open(QIODevice::WriteOnly);
    TestMedia standIn;
    if (!standIn.installStandInLink(chatterProgram()))
        return 1;
    const QStringList arguments = {QStringLiteral("-y"), QStringLiteral("-i"), input,
                                   work.filePath(QStringLiteral("null-out.mp4"))};

    Samples job, null, cat, ratios, catRatios;
    bool allValid = true;
    for (int run = 0; run < runs; ++run) {
        // Taking turns at going first spreads any drift of the machine's load over all sides.
        double viaJob = 0, alone = 0, viaCat = 0;
        for (int side = 0; side < 3; ++side) {
            switch ((side + run) % 3) {
            case 0:
                viaJob = jobSeconds(input);
                break;
            case 1:
                alone = nullSeconds(arguments);
                break;
            default:
                viaCat = catSeconds(arguments);
            }
        }
        if (viaJob <= 0 || alone <= 0 || viaCat <= 0) {
            allValid = false;
            continue;
        }
        job.add(viaJob);
        null.add(alone);
        cat.add(viaCat);
        ratios.add(viaJob / alone);
        catRatios.add(viaJob / viaCat);
    }

    ResultRow row;
    row.figure = "2 reader: 20 MB of console text through a job";
    row.value = fixed(job.median(), 3, " s, ratio ") + fixed(ratios.median(), 2);
    row.goal = "ratio <= " + fixed(ratioGoal, 2);
    row.comparison = "same program to /dev/null: " + fixed(null.median(), 3, " s");
    row.runs = int(ratios.size());
    row.verdict = verdictOf(allValid && ratios.median() <= ratioGoal);
    row.print();

    ResultRow floor;
    floor.figure = "2 reader, against the cheapest pipe reader";
    floor.value = "ratio " + fixed(catRatios.median(), 2);
    floor.goal = "(no goal)";
    floor.comparison = "same program into a pipe read by cat: " + fixed(cat.median(), 3, " s");
    floor.runs = int(catRatios.size());
    floor.verdict = allValid ? ResultRow::Info : ResultRow::Miss;
    floor.print();
    return 0;
}
