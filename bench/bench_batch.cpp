// Figures 3 and 4: a batch of clips converted through the main window with default settings,
// against the same command lines run one after another by a shell; and the program's own
// processor time during that batch.
// Usage: bench_batch RUNS CLIP...
#include "app/QuellixApplication.h"
#include "bench/BatchRun.h"
#include "bench/ResultRow.h"
#include "bench/Samples.h"
#include "convert/ConversionJob.h"
#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

constexpr double ratioGoal = 1.05;
constexpr double cpuGoalPercent = 1.0;
constexpr int batchTimeoutMs = 600000;

struct Command {
    std::vector<std::string> arguments;
    QString output;
};

// What a job runs for `input`: default settings, the output in `outputDir` under the program's
// prefix and the container's extension.
Command commandFor(const QString &input, const QString &outputDir)
{
    const QFileInfo info(input);
    AVParams params;
    params.init(makeAVSettings(0, QualityMedium, QualityMedium));
    params.input = info.absoluteFilePath().toStdString();
    const QString output = outputDir + QStringLiteral("/Quellix转码-") + info.completeBaseName() +
                           QString::fromStdString(*lookupText(containerExts, 0));
    params.output = output.toStdString();
    return {params.commandArguments(), output};
}

QByteArray shellQuoted(const std::string &argument)
{
    QByteArray quoted = QByteArray::fromStdString(argument);
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

// One line per command, the transcoder told not to read the terminal, its chatter discarded.
bool writeScript(const QString &path, const std::vector<Command> &commands)
{
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    script.write("set -e\n");
    for (const Command &command : commands) {
        QByteArray line = shellQuoted(command.arguments.front()) + " -nostdin";
        for (size_t i = 1; i < command.arguments.size(); ++i)
            line += ' ' + shellQuoted(command.arguments[i]);
        script.write(line + " >/dev/null 2>&1\n");
    }
    return true;
}

double shellSeconds(const QString &script)
{
    QProcess shell;
    shell.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("/bin/sh"), {script});
    if (!shell.waitForFinished(batchTimeoutMs) || shell.exitStatus() != QProcess::NormalExit ||
        shell.exitCode() != 0) {
        std::fprintf(stderr, "the shell's batch failed\n");
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

void removeOutputs(const std::vector<Command> &commands)
{
    for (const Command &command : commands)
        QFile::remove(command.output);
}

struct Figures {
    Samples programSeconds;
    Samples shellSeconds;
    Samples ratios;
    Samples cpuPercent;
    bool allValid = true;
};

// The program's batch; false unless every file converted to the very output the shell writes.
bool programRun(const QString &outDir, const QStringList &clips,
                const std::vector<Command> &commands, Figures &figures, double &seconds)
{
    BatchRun window(outDir);
    if (window.addFiles(clips) != clips.size())
        return false;
    const BatchRun::Result result = window.run(batchTimeoutMs);
    const QString success = QStringLiteral("成功： %1 个").arg(clips.size());
    if (!result.finished || !result.summary.contains(success)) {
        std::fprintf(stderr, "the program's batch failed: %s\n", qPrintable(result.summary));
        return false;
    }
    const QList<ConversionJob *> jobs = window.jobs();
    for (int i = 0; i < jobs.size(); ++i) {
        if (QString::fromStdString(jobs[i]->outputPath()) != commands[size_t(i)].output) {
            std::fprintf(stderr, "job %d wrote %s\n", i, jobs[i]->outputPath().c_str());
            return false;
        }
    }
    seconds = result.wallSeconds;
    figures.cpuPercent.add(100.0 * result.cpuSeconds / result.wallSeconds);
    return true;
}

void printRows(const Figures &f, int clipCount)
{
    ResultRow batch;
    batch.figure = "3 batch of " + std::to_string(clipCount) + " clips, default settings";
    batch.value = fixed(f.programSeconds.median(), 2, " s, ratio ") + fixed(f.ratios.median(), 3);
    batch.goal = "ratio <= " + fixed(ratioGoal, 2);
    batch.comparison = "same command lines run by sh: " + fixed(f.shellSeconds.median(), 2, " s");
    batch.runs = int(f.ratios.size());
    batch.verdict = verdictOf(f.allValid && f.ratios.median() <= ratioGoal);
    batch.print();

    ResultRow cpu;
    cpu.figure = "4 program's own CPU time during the batch";
    cpu.value = fixed(f.cpuPercent.median(), 2, " % of wall");
    cpu.goal = "<= " + fixed(cpuGoalPercent, 0, " %");
    cpu.comparison = "batch wall time " + fixed(f.programSeconds.median(), 2, " s");
    cpu.runs = int(f.cpuPercent.size());
    cpu.verdict = verdictOf(f.allValid && f.cpuPercent.median() <= cpuGoalPercent);
    cpu.print();
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNS CLIP...\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    QStringList clips;
    for (int i = 2; i < argc; ++i)
        clips << QFileInfo(QFile::decodeName(argv[i])).absoluteFilePath();

    initParamTables();
    QTemporaryDir work;
    const QString outDir = work.filePath(QStringLiteral("out"));
    QDir().mkpath(outDir);
    std::vector<Command> commands;
    for (const QString &clip : clips)
        commands.push_back(commandFor(clip, outDir));
    const QString script = work.filePath(QStringLiteral("batch.sh"));
    if (!writeScript(script, commands))
        return 1;

    Figures figures;
    for (int run = 0; run < runs; ++run) {
        // Taking turns at going first spreads any drift of the machine's load over both sides.
        double shell = 0;
        double program = 0;
        for (int side = 0; side < 2; ++side) {
            removeOutputs(commands);
            if ((side + run) % 2 == 0)
                shell = shellSeconds(script);
            else if (!programRun(outDir, clips, commands, figures, program))
                figures.allValid = false;
        }
        if (shell <= 0 || program <= 0) {
            figures.allValid = false;
            continue;
        }
        figures.shellSeconds.add(shell);
        figures.programSeconds.add(program);
        figures.ratios.add(program / shell);
    }
    removeOutputs(commands);
    printRows(figures, clips.size());
    return 0;
}
