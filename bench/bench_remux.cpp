// A stream copy through the program's job against ffmpeg's own copy of the same file, and against
// the same file converted with the start-up settings: the median wall time of each, the three run
// in turns so that other work on the machine weighs on all alike.
// Usage: bench_remux RUNS INPUT.mkv
#include "ResultRow.h"
#include "Samples.h"
#include "convert/ConversionJob.h"
#include "params/ParamTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace
{

constexpr int runLimitMs = 1800000;
constexpr int probeWaitMs = 2000;

// Seconds one job takes from its start to its end, or -1 when it did not end Done. A source
// probed ahead is probed before the clock starts, as the next file of a batch is.
double jobSeconds(const QString &input, const QString &outputDir, const AVSettings &settings,
                  bool probedAhead = false)
{
    ConversionJob job;
    if (job.setInput(input.toStdString(), settings) != 0)
        return -1;
    if (probedAhead) {
        job.probeAhead();
        QTest::qWait(probeWaitMs);
    }
    QSignalSpy finished(&job, &ConversionJob::finished);
    QElapsedTimer clock;
    clock.start();
    if (job.start(outputDir.toStdString()) != 0 || !finished.wait(runLimitMs))
        return -1;
    const double seconds = clock.elapsed() / 1000.0;
    QFile::remove(QString::fromStdString(job.outputPath()));
    return job.convertState() == Done ? seconds : -1;
}

double plainCopySeconds(const QString &input, const QString &output)
{
    QElapsedTimer clock;
    clock.start();
    const int status =
        QProcess::execute(QStringLiteral("ffmpeg"),
                          {"-nostdin", "-v", "error", "-y", "-i", input, "-c", "copy", output});
    const double seconds = clock.elapsed() / 1000.0;
    QFile::remove(output);
    return status == 0 ? seconds : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_remux RUNS INPUT.mkv\n");
        return 2;
    }
    initParamTables();
    const int runs = std::atoi(argv[1]);
    const QString input = QDir().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir out;
    AVSettings copy = makeAVSettings(0, QualityMedium, QualityMedium);
    copy.cv = 6; // Copy
    copy.ca = 3; // Copy
    Samples job, ahead, plain, encoded;
    for (int run = 0; run < runs; ++run) {
        job.add(jobSeconds(input, out.path(), copy));
        ahead.add(jobSeconds(input, out.path(), copy, true));
        plain.add(plainCopySeconds(input, out.filePath(QStringLiteral("plain.mp4"))));
        encoded.add(jobSeconds(input, out.path(), makeAVSettings(0, QualityMedium, QualityMedium)));
    }
    const double toPlain = job.median() / plain.median();
    const double faster = encoded.median() / job.median();
    ResultRow{"12 remux MKV to MP4 with Copy through the job, against ffmpeg -c copy",
              fixed(job.median(), 2, " s") + " (x" + fixed(toPlain, 2) + ")",
              "1.1x",
              "ffmpeg " + fixed(plain.median(), 2, " s"),
              runs,
              verdictOf(toPlain <= 1.1)}
        .print();
    ResultRow{"12 the same remux with the source probed ahead, as the next file of a batch",
              fixed(ahead.median(), 2, " s") + " (x" + fixed(ahead.median() / plain.median(), 2) +
                  ")",
              "",
              "ffmpeg " + fixed(plain.median(), 2, " s"),
              runs,
              ResultRow::Info}
        .print();
    ResultRow{"12 the same file with the start-up settings, against the remux",
              fixed(encoded.median(), 1, " s") + " (" + fixed(faster, 0) + "x slower)",
              "50x",
              "remux " + fixed(job.median(), 2, " s"),
              runs,
              verdictOf(faster >= 50)}
        .print();
    return 0;
}
