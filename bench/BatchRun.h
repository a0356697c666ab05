#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class InputItem;
class LoopGapProbe;
class MainWindow;
class QEventLoop;

// The main window set up the way a user finds it, with a list to convert: the output folder
// named in conf_main.json of the working directory, the window on screen, the files dropped in.
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

    BatchRun(const QString &workDir, const QString &outputDir);
    ~BatchRun() override;

    // Drops the files on the window; returns how many entries the list holds then.
    int addFiles(const QStringList &paths);
    QList<InputItem *> jobs() const;
    // Runs the whole list; the probe, if given, runs from the press to the summary.
    Result run(int timeoutMs, LoopGapProbe *probe = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<MainWindow> window;
    LoopGapProbe *activeProbe = nullptr;
    QEventLoop *waiting = nullptr;
    Result current;
    qint64 startNs = 0;
    double startCpu = 0;
};

// Processor time of this process so far, user plus system, in seconds.
double ownCpuSeconds();
