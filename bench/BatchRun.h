#pragma once

#include "tests/WindowFixture.h"

#include <QObject>
#include <QString>
#include <QStringList>

class ConversionJob;
class EventLoopWatch;
class QEventLoop;

// The main window set up the way a user finds it, with a list to convert: the output folder
// named in conf_main.json of its working folder, the window on screen, the files dropped in.
// run() presses the start button and answers the summary with OK.
class BatchRun final : public QObject
{
    Q_OBJECT

public:
    struct Result {
        bool finished = false;  // the summary appeared before the time-out
        double wallSeconds = 0; // from the press of the start button to the summary
        double cpuSeconds = 0;  // the program's own processor time (all its threads, no child)
        QString summary;
    };

    explicit BatchRun(const QString &outputDir);
    ~BatchRun() override;

    // Drops the files on the window; returns how many entries the list holds then.
    int addFiles(const QStringList &paths);
    QList<ConversionJob *> jobs() const;
    // Picks how many files the batch converts at once, as a user does in the window.
    void convertAtOnce(int files);
    // Runs the whole list; the probe, if given, runs from the press to the summary.
    Result run(int timeoutMs, EventLoopWatch *probe = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    WindowFixture fixture;
    EventLoopWatch *activeProbe = nullptr;
    QEventLoop *waiting = nullptr;
    Result current;
    qint64 startNs = 0;
    double startCpu = 0;
};

// Processor time of this process so far, user plus system, in seconds.
double ownCpuSeconds();
