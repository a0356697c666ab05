#include "convert/ConversionJob.h"
#include "convert/EarlyEnd.h"
#include "convert/OutputName.h"
#include "convert/OutputPublisher.h"
#include "convert/SourceProbe.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr int readBufferSize = 8192;
constexpr int pollIntervalMs = 200;
// Chunks taken in one turn of the event loop at most: a flooding transcoder's output is taken
// over several turns, so that the window keeps answering.
constexpr int chunksPerTurn = 64;

// The transcoder's speed on a progress line ("speed=2.5x", "speed=   0x", "speed=N/A"); -1 when
// the line tells none.
double speedOf(const std::string &line)
{
    const size_t at = line.find("speed=");
    if (at == std::string::npos)
        return -1;
    const char *start = line.c_str() + at + 6;
    char *end = nullptr;
    const double speed = std::strtod(start, &end);
    return end != start && *end == 'x' ? speed : 0;
}

// The position of a progress line ("time=00:01:02.35") in seconds; -1 when the line tells none
// ("time=N/A"). Read without the locale, whose decimal mark may be a comma.
double positionOf(const std::string &line)
{
    const size_t at = line.find("time=");
    if (at == std::string::npos || line.size() < at + 13 || line[at + 7] != ':' ||
        line[at + 10] != ':')
        return -1;
    bool hoursOk = false;
    bool minutesOk = false;
    bool secondsOk = false;
    const int hours = QByteArray(line.c_str() + at + 5, 2).toInt(&hoursOk);
    const int minutes = QByteArray(line.c_str() + at + 8, 2).toInt(&minutesOk);
    const size_t end = line.find_first_not_of("0123456789.", at + 11);
    const double seconds =
        QByteArray(line.c_str() + at + 11,
                   int((end == std::string::npos ? line.size() : end) - (at + 11)))
            .toDouble(&secondsOk);
    if (!hoursOk || !minutesOk || !secondsOk || hours < 0)
        return -1;
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

} // namespace

ConversionJob::ConversionJob(QObject *parent) : QObject(parent)
{
    // The end of the transcoder is taken at once rather than at the next tick: in a batch the
    // next file starts as soon as this one is written.
    connect(&m_pipe, &ProcessPipe::ended, this, &ConversionJob::onTimer);
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
        return -202;
    takeInput(info, path, settings);
    return 0;
}

void ConversionJob::restore(const std::string &path, const AVSettings &settings, ConvertState state,
                            const std::string &errorText, const std::string &note)
{
    takeInput(QFileInfo(QString::fromStdString(path)), path, settings);
    m_facts.errorText = errorText;
    m_note = note;
    m_state = state == Converting ? Waiting : state;
    m_progress = m_state == Done ? 100 : 0;
}

void ConversionJob::setSettings(const AVSettings &settings)
{
    if (settings == m_params.settings)
        return;
    m_params.settings = settings;
    emit recordChanged();
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
        return -103;
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
    if (m_probed && !isProbeFailure(*m_probed)) {
        takeSource(*m_probed);
        m_probed.reset();
        return startTranscoder();
    }
    if (m_probed) {
        // Failed once the start has returned, as a run that fails does.
        QMetaObject::invokeMethod(
            this, [this, result = *m_probed] { probeFinished(result); }, Qt::QueuedConnection);
    } else if (!m_probe || !m_probe->running()) {
        makeProbe();
        if (m_probe->start(QString::fromStdString(m_params.input)) != ProbeOk)
            return startTranscoder();
    }
    m_probed.reset();
    m_facts = OutputFacts();
    m_note.clear();
    m_warning.clear();
    m_progress = 0;
    m_speed = 0;
    m_runClock.start();
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
    if (result == ProbeTimedOut) {
        failRun("无法读取源文件信息：分析程序超时\n");
        return;
    }
    if (result == ProbeCrashed) {
        failRun("无法读取源文件信息：分析程序异常退出\n");
        return;
    }
    takeSource(result);
    const int started = startTranscoder();
    if (started != 0)
        failRun("启动失败！错误码：" + std::to_string(started) + "\n");
}

// Ends a run that has not reached the transcoder as Failed, so that a batch goes on.
void ConversionJob::failRun(const std::string &reason)
{
    discardOutput();
    m_facts.errorText = reason;
    m_busy = false;
    setState(Failed);
    emit finished(this);
}

int ConversionJob::startTranscoder()
{
    const int result = m_pipe.start(m_params.commandArguments());
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
    m_facts = OutputFacts();
    m_tail.clear();
    m_writeFailureLine.clear();
    m_decodeErrorLine.clear();
    m_note.clear();
    m_warning.clear();
    m_lastTimeSeconds = -1;
    takeDeclaredDuration();
    m_progress = 0;
    m_busy = false;
    m_speed = 0;
    m_statsChanged = false;
    m_shownElapsedSeconds = 0;
    m_runClock.start();
    setState(Converting);
    m_pollTimer->start();
    return 0;
}

int ConversionJob::cancel()
{
    if (m_state == Done)
        return 102;
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
        if (result == 102) {
            finishConversion();
            return;
        }
        if (result != 0 || bytesRead == 0)
            break;
        analyseChunk(m_readBuffer.get());
    }
    // The row's figures follow the transcoder's progress lines and the clock, once per tick at
    // most.
    const qint64 elapsedSeconds = m_runClock.elapsed() / 1000;
    if (elapsedSeconds != m_shownElapsedSeconds) {
        m_shownElapsedSeconds = elapsedSeconds;
        m_statsChanged = true;
    }
    if (m_statsChanged) {
        m_statsChanged = false;
        emit changed();
    }
}

qint64 ConversionJob::elapsedMs() const
{
    return m_state == Converting && m_runClock.isValid() ? m_runClock.elapsed() : 0;
}

int ConversionJob::remainingSeconds() const
{
    if (m_state != Converting || m_speed <= 0 || m_facts.durationSec <= 0 || m_facts.timeSec <= 0)
        return -1;
    return int(std::lround(double(qMax(0, m_facts.durationSec - m_facts.timeSec)) / m_speed));
}

// The source's declared length stands for the transcoder's own while that is missing, so that
// the progress can still be told.
void ConversionJob::takeDeclaredDuration()
{
    if (m_facts.durationSec > 0 || !m_params.source || !(m_params.source->durationSeconds > 0))
        return;
    m_facts.durationSec =
        int32_t(std::clamp(std::round(m_params.source->durationSeconds), 1.0, 2e9));
}

void ConversionJob::analyseChunk(char *chunk)
{
    takeDeclaredDuration();
    m_tail.append(chunk, [this](const std::string &line) { inspectLine(line); });
    hidePaths(chunk);
    if (const std::optional<int> progress = analyseOutputChunk(chunk, m_facts)) {
        // A value past 100 (a position beyond the duration) is not taken, as a bar would not.
        if (*progress <= 100)
            setProgress(*progress);
    }
    setBusy(m_facts.timeSec > 0 && m_facts.durationSec <= 0);
}

// The transcoder repeats the paths it was given; a file name that holds one of the searched texts
// must not be taken for the transcoder's own words. The longer path goes first: hiding the other
// first could break it apart.
void ConversionJob::hidePaths(char *text) const
{
    const bool inputLonger = m_params.input.size() > m_outputPath.size();
    hideText(text, inputLonger ? m_params.input : m_outputPath);
    hideText(text, inputLonger ? m_outputPath : m_params.input);
}

// Every whole line of the output passes here, a flooding transcoder's too: most lines are
// dismissed by a look at the line itself, and only a line that reads like a failure is looked at
// again with the paths hidden (hiding can only take a match away).
void ConversionJob::inspectLine(const std::string &line)
{
    if (line.compare(0, 6, "frame=") == 0 || line.compare(0, 5, "size=") == 0) {
        const double position = positionOf(line);
        if (position >= 0)
            m_lastTimeSeconds = position;
        const double speed = speedOf(line);
        if (speed >= 0 && speed != m_speed) {
            m_speed = speed;
            m_statsChanged = true;
        }
        return;
    }
    const bool writeFailure = m_writeFailureLine.empty() && isWriteFailure(line.c_str());
    const bool decodeError = m_decodeErrorLine.empty() && isDecodeError(line.c_str());
    if (!writeFailure && !decodeError)
        return;
    std::string hidden = line;
    hidePaths(hidden.data());
    if (writeFailure && isWriteFailure(hidden.c_str()))
        m_writeFailureLine = line;
    if (decodeError && isDecodeError(hidden.c_str()))
        m_decodeErrorLine = line;
}

void ConversionJob::finishConversion()
{
    m_tail.finish([this](const std::string &line) { inspectLine(line); });
    std::string failure = verdict();
    if (failure.empty())
        failure = publishOutput();
    else
        discardOutput();
    endRun();
    if (failure.empty()) {
        m_facts.errorText.clear();
        if (!m_decodeErrorLine.empty())
            m_note = "源文件中有损坏的数据，已跳过：\n" + m_decodeErrorLine + "\n";
        checkEarlyEnd();
        m_progress = 100;
        setState(Done);
    } else {
        m_facts.errorText = failure;
        setState(Failed);
    }
    emit finished(this);
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
        finalPath);
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
    if (m_tempPath.empty())
        return;
    OutputPublisher::forThisUser().discard(m_tempPath);
    m_tempPath.clear();
}

// A job whose run is over keeps what its row and the summary show, not what it read.
void ConversionJob::endRun()
{
    if (m_pollTimer)
        m_pollTimer->stop();
    m_busy = false;
    m_readBuffer.reset();
    m_tail.release();
}

// A source that declares more than the transcoder could read from it: the output is all there is.
void ConversionJob::checkEarlyEnd()
{
    const double declared = m_params.source ? m_params.source->durationSeconds : -1;
    if (endedEarly(declared, m_lastTimeSeconds))
        m_warning = earlyEndWarning(declared, m_lastTimeSeconds);
}

// Why the run failed; empty when it is Done. The exit status comes first: the transcoder exits
// with 0 after skipping damaged packets of a playable input, and for a full disk that it notices
// only while finishing the file.
std::string ConversionJob::verdict() const
{
    if (!m_pipe.lastExitedNormally() || m_pipe.lastExitCode() != 0)
        return m_facts.errorText.empty() ? exitFailureText() : m_facts.errorText;
    if (!m_writeFailureLine.empty())
        return writeFailureText();
    if (QFileInfo(QString::fromStdString(m_outputPath)).size() > 0)
        return std::string();
    if (!m_facts.errorText.empty())
        return m_facts.errorText;
    return m_facts.outputSeen ? "没有生成输出文件！\n" : "模糊信息\n";
}

// Why a transcoder that ended by a signal or with a non-zero status failed.
std::string ConversionJob::exitFailureText() const
{
    std::string text =
        m_pipe.lastExitedNormally()
            ? "转码程序异常退出，退出码：" + std::to_string(m_pipe.lastExitCode()) + "\n"
            : "转码程序被信号 " + std::to_string(m_pipe.lastSignal()) + " 终止\n";
    const std::string reason = m_tail.lastErrorLine();
    if (!reason.empty())
        text += reason + "\n";
    return text;
}

// The output is incomplete although the transcoder exited normally.
std::string ConversionJob::writeFailureText() const
{
    std::string hidden = m_writeFailureLine;
    hidePaths(hidden.data());
    std::string reason = "写入输出文件失败，输出文件不完整！\n";
    if (hidden.find("No space left on device") != std::string::npos)
        reason = "磁盘空间不足，输出文件没有写完整！\n";
    else if (hidden.find("Disk quota exceeded") != std::string::npos)
        reason = "超出磁盘配额，输出文件没有写完整！\n";
    return reason + m_writeFailureLine + "\n";
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
