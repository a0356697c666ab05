#include "convert/ConversionJob.h"
#include "convert/OutputName.h"
#include "convert/OutputPublisher.h"
#include "convert/SourceProbe.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <cstring>
#include <utility>

namespace
{

constexpr int readBufferSize = 8192;
constexpr int pollIntervalMs = 200;
// Chunks taken in one turn of the event loop at most: a flooding transcoder's output is taken
// over several turns, so that the window keeps answering.
constexpr int chunksPerTurn = 64;

} // namespace

ConversionJob::ConversionJob(QObject *parent) : QObject(parent)
{
    // The end of the transcoder is taken at once rather than at the next tick: in a batch the
    // next file starts as soon as this one is written.
    connect(&m_pipe, &ProcessPipe::ended, this, &ConversionJob::onTimer);
    connect(&m_pipe, &ProcessPipe::outputWaiting, this, &ConversionJob::onTimer);
}

ConversionJob::~ConversionJob()
{
    // A run nobody will finish leaves no temporary file behind.
    if (m_state == Converting) {
        m_pipe.terminate();
        discardOutput();
    }
    m_pipe.closeRead();
}

int ConversionJob::setInput(const std::string &path, const AVSettings &settings)
{
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
        return inputMissing;
    takeInput(info, path, settings);
    return 0;
}

void ConversionJob::restore(const std::string &path, const AVSettings &settings, ConvertState state,
                            const std::string &errorText, const std::string &note)
{
    takeInput(QFileInfo(QString::fromStdString(path)), path, settings);
    m_errorText = errorText;
    m_note = note;
    m_state = state == Converting ? Waiting : state;
    m_progress = m_state == Done ? 100 : 0;
}

bool ConversionJob::setSettings(const AVSettings &settings)
{
    if (settings == m_params.settings)
        return false;
    m_params.settings = settings;
    emit recordChanged();
    return true;
}

void ConversionJob::takeInput(const QFileInfo &info, const std::string &path,
                              const AVSettings &settings)
{
    m_fileName = info.fileName();
    m_inputBytes = info.size();
    m_inputPath = path;
    m_baseName = info.completeBaseName().toStdString();
    m_dotSuffix = "." + info.suffix().toStdString();
    m_params.init(settings);
    m_probed.reset();
    if (m_probe)
        m_probe->cancel();
    // Absolute, so that no input name can be taken for an option of the transcoder.
    m_params.input = info.absoluteFilePath().toStdString();
}

int ConversionJob::start(const std::string &outputDirectory)
{
    static const TakenFiles nothingTaken;
    return start(outputDirectory, nothingTaken);
}

int ConversionJob::start(const std::string &outputDirectory, const TakenFiles &taken)
{
    if (m_pipe.running() || m_state == Converting)
        return alreadyRunning;
    m_outputDirectory = outputDirectory;
    m_outputExtension = lookupText(containerExts, m_params.settings.vc).value_or(m_dotSuffix);
    m_taken = &taken;
    prepareOutput();
    m_params.output = m_outputPath;
    return startProbe();
}

// The source is learnt before the transcoder runs, so that its options fit the source. Without a
// prober to run the transcoder starts at once, as it did before there was one.
int ConversionJob::startProbe()
{
    m_params.source.reset();
    if (m_probed && !isProbeFailure(*m_probed) && !m_paused) {
        takeSource(*m_probed);
        if (m_params.copyProblem().empty()) {
            m_probed.reset();
            return startTranscoder();
        }
    }
    if (m_probed) {
        // Failed (or held by a pause) once the start has returned, as a run that fails is.
        QMetaObject::invokeMethod(
            this, [this, result = *m_probed] { probeFinished(result); }, Qt::QueuedConnection);
    } else if (!m_probe || !m_probe->running()) {
        makeProbe();
        const int probing = m_probe->start(QString::fromStdString(m_params.input));
        if (probing != ProbeOk && !m_paused)
            return startTranscoder();
        if (probing != ProbeOk)
            m_heldProbe = probing;
    }
    m_probed.reset();
    m_errorText.clear();
    m_note.clear();
    m_warning.clear();
    m_progress = 0;
    m_report.newRun(m_params.input, m_outputPath, -1);
    startClock();
    m_busy = true;
    setState(Converting);
    return 0;
}

void ConversionJob::probeAhead()
{
    if (m_state == Converting || m_probed || (m_probe && m_probe->running()))
        return;
    makeProbe();
    m_probe->start(QString::fromStdString(m_params.input));
}

void ConversionJob::pause()
{
    if (m_paused)
        return;
    m_paused = true;
    m_pauseClock.start();
    if (m_pipe.running())
        m_pipe.pause();
    if (m_state == Converting)
        emit changed();
}

void ConversionJob::resume()
{
    if (!m_paused)
        return;
    m_pausedMs = pausedMs();
    m_paused = false;
    if (m_pipe.running())
        m_pipe.resume();
    if (m_state != Converting)
        return;
    emit changed();
    if (const std::optional<int> held = std::exchange(m_heldProbe, std::nullopt))
        probeFinished(*held);
}

void ConversionJob::endPause()
{
    m_paused = false;
    m_heldProbe.reset();
}

void ConversionJob::startClock()
{
    m_runClock.start();
    m_pausedMs = 0;
    m_speedScale = 1;
    if (m_paused)
        m_pauseClock.start();
}

qint64 ConversionJob::pausedMs() const
{
    return m_pausedMs + (m_paused ? m_pauseClock.elapsed() : 0);
}

void ConversionJob::makeProbe()
{
    if (m_probe)
        return;
    m_probe = new SourceProbe(this);
    connect(m_probe, &SourceProbe::finished, this, &ConversionJob::probeFinished);
}

bool ConversionJob::isProbeFailure(int result)
{
    return result == ProbeTimedOut || result == ProbeCrashed;
}

// A file the prober refuses goes to the transcoder all the same: its verdict says why.
void ConversionJob::takeSource(int result)
{
    if (result == ProbeOk)
        m_params.source = m_probe->info();
}

void ConversionJob::probeFinished(int result)
{
    // A probe ahead of the start is kept for it.
    if (m_state != Converting) {
        m_probed = result;
        return;
    }
    if (m_paused) {
        m_heldProbe = result;
        return;
    }
    if (result == ProbeTimedOut) {
        failRun("无法读取源文件信息：分析程序超时\n");
        return;
    }
    if (result == ProbeCrashed) {
        failRun("无法读取源文件信息：分析程序异常退出\n");
        return;
    }
    takeSource(result);
    // A stream copy the container cannot hold fails here, before the transcoder writes anything.
    if (const std::string problem = m_params.copyProblem(); !problem.empty()) {
        failRun(problem);
        return;
    }
    const int started = startTranscoder();
    if (started != 0)
        failRun("启动失败！错误码：" + std::to_string(started) + "\n");
}

// Ends a run that has not reached the transcoder as Failed, so that a batch goes on.
void ConversionJob::failRun(const std::string &reason)
{
    endPause();
    discardOutput();
    m_errorText = reason;
    m_busy = false;
    setState(Failed);
    emit finished(this);
}

int ConversionJob::startTranscoder()
{
    m_passes.prepare(m_params, m_tempPath);
    const int result = m_pipe.start(m_passes.arguments(m_params));
    if (result != 0) {
        discardOutput();
        return result;
    }
    // Held only while the job runs: a long list of waiting or finished files needs none.
    if (!m_readBuffer)
        m_readBuffer = std::make_unique<char[]>(readBufferSize);
    if (!m_pollTimer) {
        m_pollTimer = new QTimer(this);
        m_pollTimer->setInterval(pollIntervalMs);
        connect(m_pollTimer, &QTimer::timeout, this, &ConversionJob::onTimer);
    }
    m_report.newRun(m_params.input, m_outputPath,
                    m_params.source ? m_params.source->durationSeconds : -1);
    m_errorText.clear();
    m_note = m_params.sourceNote();
    m_warning.clear();
    m_progress = 0;
    m_busy = false;
    m_shownSpeed = 0;
    m_shownElapsedSeconds = 0;
    startClock();
    setState(Converting);
    m_pollTimer->start();
    return 0;
}

int ConversionJob::cancel()
{
    if (m_state == Done)
        return alreadyDone;
    endPause();
    if (m_probe)
        m_probe->cancel();
    if (m_state == Converting) {
        m_pipe.terminate();
        discardOutput();
        endRun();
    }
    setState(Cancelled);
    return 0;
}

// Takes everything the transcoder has written since the last tick, one chunk at a time, without
// ever waiting for more.
void ConversionJob::onTimer()
{
    if (!m_pipe.running()) {
        if (m_pollTimer)
            m_pollTimer->stop();
        return;
    }
    for (int chunk = 0;; ++chunk) {
        if (chunk == chunksPerTurn) {
            QMetaObject::invokeMethod(this, &ConversionJob::onTimer, Qt::QueuedConnection);
            break;
        }
        std::memset(m_readBuffer.get(), 0, readBufferSize);
        uint32_t bytesRead = 0;
        const int result = m_pipe.read(m_readBuffer.get(), readBufferSize - 1, bytesRead, 0);
        if (result == ProcessPipe::outputEnded) {
            finishConversion();
            return;
        }
        if (result != 0 || bytesRead == 0)
            break;
        m_speedScale = double(m_runClock.elapsed()) / double(qMax<qint64>(1, elapsedMs()));
        const std::optional<int> progress = m_report.take(m_readBuffer.get());
        if (progress || m_passes.hasNext())
            setProgress(m_passes.overall(progress.value_or(0), m_report.frames()));
        setBusy(m_report.isBusy());
    }
    // The row's figures follow the transcoder's progress lines and the clock, once per tick at
    // most.
    const qint64 elapsedSeconds = elapsedMs() / 1000;
    if (elapsedSeconds != m_shownElapsedSeconds || speed() != m_shownSpeed) {
        m_shownElapsedSeconds = elapsedSeconds;
        m_shownSpeed = speed();
        emit changed();
    }
}

qint64 ConversionJob::elapsedMs() const
{
    return m_state == Converting && m_runClock.isValid() ? m_runClock.elapsed() - pausedMs() : 0;
}

double ConversionJob::speed() const
{
    return m_state == Converting ? m_report.speed() * m_speedScale : 0;
}

int ConversionJob::remainingSeconds() const
{
    return m_state == Converting ? m_report.remainingSeconds(speed()) : -1;
}

void ConversionJob::finishConversion()
{
    m_report.finish();
    const QFileInfo written(QString::fromStdString(m_passes.writtenFile(m_outputPath)));
    std::string failure = m_report.failure(
        {m_pipe.lastExitedNormally(), m_pipe.lastExitCode(), m_pipe.lastSignal(), written.size()});
    if (failure.empty() && m_passes.hasNext()) {
        const int next = startNextPass();
        if (next == 0)
            return;
        failure = "启动失败！错误码：" + std::to_string(next) + "\n";
    }
    if (failure.empty())
        failure = publishOutput();
    else
        discardOutput();
    endRun();
    m_errorText = failure;
    if (failure.empty()) {
        m_note = m_params.sourceNote() + m_report.note();
        m_warning = m_report.warning();
        m_progress = 100;
        setState(Done);
    } else {
        setState(Failed);
    }
    emit finished(this);
}

// The second pass goes on from the first as the same run, paused if the run is.
int ConversionJob::startNextPass()
{
    m_passes.next();
    if (const int result = m_pipe.start(m_passes.arguments(m_params)); result != 0)
        return result;
    if (m_paused)
        m_pipe.pause();
    m_report.newRun(m_params.input, m_outputPath,
                    m_params.source ? m_params.source->durationSeconds : -1);
    m_pollTimer->start();
    return 0;
}

// The transcoder writes under a hidden temporary name, recorded so that a killed run's file can be
// removed later; only a finished file gets its final name. A folder that takes no file still gets
// a name, so that the transcoder itself tells why it cannot write there.
void ConversionJob::prepareOutput()
{
    if (OutputPublisher::forThisUser().createTemp(m_outputDirectory, m_baseName, m_outputExtension,
                                                  m_tempPath) != 0) {
        const QString token = QString::number(QRandomGenerator::global()->generate(), 16);
        m_tempPath = composeTempOutputPath(m_outputDirectory, m_baseName, m_outputExtension,
                                           token.rightJustified(8, QLatin1Char('0')).toStdString());
    }
    m_outputPath = m_tempPath;
}

// Gives the finished file its final name, never over a file that is there: an empty text, or why
// it could not.
std::string ConversionJob::publishOutput()
{
    const FileIdentity input = FileIdentity::of(QString::fromStdString(m_inputPath));
    std::string finalPath;
    const int result = OutputPublisher::forThisUser().publish(
        m_tempPath, m_outputDirectory, m_baseName, m_outputExtension,
        [&](const FileIdentity &file) { return file.sameFileAs(input) || m_taken->contains(file); },
        finalPath, m_inputPath);
    if (result != 0) {
        discardOutput();
        return "无法保存输出文件，错误码：" + std::to_string(result) + "\n";
    }
    m_tempPath.clear();
    m_outputPath = finalPath;
    return std::string();
}

void ConversionJob::discardOutput()
{
    m_passes.clear();
    if (m_tempPath.empty())
        return;
    OutputPublisher::forThisUser().discard(m_tempPath);
    m_tempPath.clear();
}

// A job whose run is over keeps what its row and the summary show, not what it read.
void ConversionJob::endRun()
{
    endPause();
    m_passes.clear();
    if (m_pollTimer)
        m_pollTimer->stop();
    m_busy = false;
    m_readBuffer.reset();
    m_report.release();
}

void ConversionJob::setState(ConvertState newState)
{
    const bool changedState = newState != m_state;
    m_state = newState;
    emit changed();
    if (changedState)
        emit recordChanged();
}

void ConversionJob::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit changed();
}

void ConversionJob::setProgress(int value)
{
    if (value == m_progress)
        return;
    m_progress = value;
    emit changed();
}
