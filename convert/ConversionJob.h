#pragma once

#include "convert/ConvertState.h"
#include "convert/PassRun.h"
#include "convert/ProcessPipe.h"
#include "convert/TranscoderReport.h"
#include "params/AVParams.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QFileInfo;
class QTimer;
class SourceProbe;
class TakenFiles;

// One input file's conversion: its profile, the probe of its source, the transcoder run, its
// temporary output and the name it is published under, and the state each run ends in. A row of
// the file list shows it.
class ConversionJob final : public QObject
{
    Q_OBJECT

public:
    // Results besides 0: no file exists at the input's path; a run goes on already; the job is
    // Done. start() passes on the process runner's failures to start the transcoder.
    static constexpr int inputMissing = -202;
    static constexpr int alreadyRunning = ProcessPipe::alreadyRunning;
    static constexpr int alreadyDone = 102;

    explicit ConversionJob(QObject *parent = nullptr);
    ~ConversionJob() override;

    // 0, or inputMissing (nothing changes then).
    int setInput(const std::string &path, const AVSettings &settings);
    // The job as a saved list kept it; the file need not exist any more. A run that was going on
    // comes back waiting.
    void restore(const std::string &path, const AVSettings &settings, ConvertState state,
                 const std::string &errorText, const std::string &note);
    // Starts the run, its output in `outputDirectory` (UTF-8) under a temporary name until it is
    // done. The source is probed first and the transcoder starts once the probe has ended; the
    // job is Converting meanwhile. The finished output gets a distinct name when the composed one
    // exists, is a file of `taken` (inputs and outputs of other jobs, which must outlive the run)
    // or the input itself. 0, alreadyRunning, or ProcessPipe's missingArgument or startFailed
    // when the transcoder was started at once (no prober to run).
    int start(const std::string &outputDirectory, const TakenFiles &taken);
    int start(const std::string &outputDirectory);
    // 0, or alreadyDone.
    int cancel();
    // Holds the run where it is: a running transcoder is stopped, and a run whose source is still
    // being probed starts no transcoder until resume(). A job paused before its start starts so.
    // The run's clock stops meanwhile; the hold ends with the run.
    void pause();
    void resume();
    // A Converting job held by pause().
    bool isPaused() const { return m_paused && m_state == Converting; }
    // Learns the source while the job waits (the next of a batch while another converts), so
    // that its start need not wait for the prober. Nothing happens while it converts or once its
    // source is known.
    void probeAhead();

    int convertState() const { return m_state; }
    // 0 to 100.
    int progress() const { return m_progress; }
    // The run goes on but its input's duration is unknown, so no share of it can be told.
    bool isBusy() const { return m_busy; }
    // What a run that is Done still has to say, such as damaged data the transcoder skipped;
    // empty otherwise.
    const std::string &note() const { return m_note; }
    // What a run that is Done has to warn of, such as a source that ended before its declared
    // length (UTF-8, no line break); empty otherwise.
    const std::string &warning() const { return m_warning; }
    // The frame rate the output gets, once the source is known; 0 otherwise.
    double outputFrameRate() const { return m_params.outputFrameRate(); }
    // What becomes of an HDR source's picture, once the source is known; empty otherwise.
    std::string hdrNote() const { return m_params.hdrNote(); }
    // How the run in progress goes: milliseconds since its start, the transcoder's speed as a
    // multiple of real time (0 while unknown), and the seconds it still needs at that speed (-1
    // while the input's duration or the speed is unknown). Time paused counts in none of them.
    qint64 elapsedMs() const;
    double speed() const;
    int remainingSeconds() const;
    const std::string &inputPath() const { return m_inputPath; }
    const std::string &errorText() const { return m_errorText; }
    const std::string &outputPath() const { return m_outputPath; }
    const AVSettings &settings() const { return m_params.settings; }
    // True when the settings changed.
    bool setSettings(const AVSettings &settings);
    const QString &fileName() const { return m_fileName; }
    qint64 inputBytes() const { return m_inputBytes; }

signals:
    // The state or the progress changed.
    void changed();
    // A run has ended by itself, as Done or Failed; not sent on cancel or on a failed start.
    void finished(ConversionJob *job);
    // What a saved list keeps of the job changed: its state (and with it the reason or the note)
    // or its settings.
    void recordChanged();

private slots:
    // The poll tick, and the end of the transcoder: takes everything it has written so far.
    void onTimer();
    // The probe of the source has ended: the transcoder starts, or the run fails.
    void probeFinished(int result);

private:
    int startProbe();
    void makeProbe();
    static bool isProbeFailure(int result);
    void takeSource(int result);
    int startTranscoder();
    int startNextPass();
    void failRun(const std::string &reason);
    void takeInput(const QFileInfo &info, const std::string &path, const AVSettings &settings);
    void finishConversion();
    void prepareOutput();
    std::string publishOutput();
    void discardOutput();
    void endRun();
    void startClock();
    qint64 pausedMs() const;
    void endPause();
    void setState(ConvertState newState);
    void setProgress(int value);
    void setBusy(bool busy);

    AVParams m_params;
    ProcessPipe m_pipe;
    std::unique_ptr<char[]> m_readBuffer;
    QTimer *m_pollTimer = nullptr;
    TranscoderReport m_report;
    PassRun m_passes;
    // Why the last run failed, each message ending in "\n"; empty unless it failed.
    std::string m_errorText;
    ConvertState m_state = Waiting;
    int m_progress = 0;
    bool m_busy = false;
    std::string m_note;
    std::string m_warning;
    SourceProbe *m_probe = nullptr;
    // The result of a probe made ahead of the start, for the start to take.
    std::optional<int> m_probed;
    QElapsedTimer m_runClock;
    bool m_paused = false;
    // A probe that ended while the job was paused, for resume() to take.
    std::optional<int> m_heldProbe;
    // The run's time paused before the current pause, and the current one.
    qint64 m_pausedMs = 0;
    QElapsedTimer m_pauseClock;
    // The transcoder's speed counts a pause as time spent: its time over the time it ran, when it
    // last spoke.
    double m_speedScale = 1;
    // What the row was last told of the run's speed and time.
    double m_shownSpeed = 0;
    qint64 m_shownElapsedSeconds = 0;
    std::string m_baseName;
    std::string m_dotSuffix;
    std::string m_inputPath;
    // The output of the run: the temporary file while it is written, then the final name.
    std::string m_outputPath;
    std::string m_tempPath;
    std::string m_outputDirectory;
    std::string m_outputExtension;
    const TakenFiles *m_taken = nullptr;
    QString m_fileName;
    qint64 m_inputBytes = 0;
};
