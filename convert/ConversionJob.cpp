#include "convert/ConversionJob.h"
#include "convert/OutputName.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstring>

namespace
{
constexpr int readBufferSize = 8192;
constexpr int pollIntervalMs = 200;
} // namespace

ConversionJob::ConversionJob(QObject *parent) : QObject(parent)
{
    // The end of the transcoder is taken at once rather than at the next tick: in a batch the
    // next file starts as soon as this one is written.
    connect(&pipe, &ProcessPipe::ended, this, &ConversionJob::onTimer);
}

ConversionJob::~ConversionJob()
{
    pipe.closeRead();
}

int ConversionJob::setInput(const std::string &path, const AVSettings &settings)
{
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
        return -202;
    m_fileName = info.fileName();
    m_inputBytes = info.size();
    m_inputPath = path;
    baseName = info.completeBaseName().toStdString();
    dotSuffix = "." + info.suffix().toStdString();
    params.init(settings);
    // Absolute, so that no input name can be taken for an option of the transcoder.
    params.input = info.absoluteFilePath().toStdString();
    return 0;
}

int ConversionJob::start()
{
    return start(TakenFiles());
}

int ConversionJob::start(const TakenFiles &taken)
{
    if (pipe.running())
        return -103;
    const std::string ext = lookupText(containerExts, params.settings.vc).value_or(dotSuffix);
    const FileIdentity input = FileIdentity::of(QString::fromStdString(m_inputPath));
    m_outputPath = composeOutputPath(outputDir, baseName, ext, [&](const FileIdentity &file) {
        return file.sameFileAs(input) || taken.contains(file);
    });
    params.output = m_outputPath;
    const int result = pipe.start(params.commandArguments());
    if (result != 0)
        return result;
    // Allocated once per job, at its first run: a long list of waiting files needs none.
    if (!readBuffer)
        readBuffer = std::make_unique<char[]>(readBufferSize);
    if (!pollTimer) {
        pollTimer = new QTimer(this);
        pollTimer->setInterval(pollIntervalMs);
        connect(pollTimer, &QTimer::timeout, this, &ConversionJob::onTimer);
    }
    facts = OutputFacts();
    tail.clear();
    m_progress = 0;
    setState(Converting);
    pollTimer->start();
    return 0;
}

int ConversionJob::cancel()
{
    if (state == Done)
        return 102;
    if (state == Converting) {
        if (pipe.terminate() == 0)
            QFile::remove(QString::fromStdString(m_outputPath));
        pollTimer->stop();
    }
    setState(Cancelled);
    return 0;
}

// Takes everything the transcoder has written since the last tick, one chunk at a time, without
// ever waiting for more.
void ConversionJob::onTimer()
{
    if (!pipe.running()) {
        if (pollTimer)
            pollTimer->stop();
        return;
    }
    for (;;) {
        std::memset(readBuffer.get(), 0, readBufferSize);
        uint32_t bytesRead = 0;
        const int result = pipe.read(readBuffer.get(), readBufferSize - 1, bytesRead, 0);
        if (result == 102) {
            finishConversion();
            return;
        }
        if (result != 0 || bytesRead == 0)
            return;
        analyseChunk(readBuffer.get());
    }
}

void ConversionJob::analyseChunk(char *chunk)
{
    tail.append(chunk);
    // The longer path first: hiding the other first could break it apart.
    const bool inputLonger = params.input.size() > m_outputPath.size();
    hideText(chunk, inputLonger ? params.input : m_outputPath);
    hideText(chunk, inputLonger ? m_outputPath : params.input);
    if (const std::optional<int> progress = analyseOutputChunk(chunk, facts)) {
        // A value past 100 (a position beyond the duration) is not taken, as a bar would not.
        if (*progress <= 100)
            setProgress(*progress);
    }
}

void ConversionJob::finishConversion()
{
    if (facts.errorText.empty())
        facts.errorText = exitFailureText();
    // A short run can print all of its output before its first whole second, and some encoders
    // print no rate summary: a clean exit that left an output file is a success too.
    if (facts.errorText.empty() && !facts.outputSeen &&
        QFileInfo(QString::fromStdString(m_outputPath)).size() > 0)
        facts.outputSeen = true;
    if (!facts.errorText.empty()) {
        setState(Failed);
    } else if (facts.outputSeen) {
        m_progress = 100;
        setState(Done);
    } else {
        facts.errorText += "模糊信息\n";
        setState(Failed);
    }
    pollTimer->stop();
    emit finished(this);
}

// Why a transcoder that ended by a signal or with a non-zero status failed; empty after a clean
// exit. The text alone cannot tell: a full disk or a refused codec prints nothing recognisable.
std::string ConversionJob::exitFailureText() const
{
    std::string text;
    if (!pipe.lastExitedNormally())
        text = "转码程序被信号 " + std::to_string(pipe.lastSignal()) + " 终止\n";
    else if (pipe.lastExitCode() != 0)
        text = "转码程序异常退出，退出码：" + std::to_string(pipe.lastExitCode()) + "\n";
    else
        return text;
    const std::string reason = tail.lastErrorLine();
    if (!reason.empty())
        text += reason + "\n";
    return text;
}

void ConversionJob::setState(ConvertState newState)
{
    state = newState;
    emit changed();
}

void ConversionJob::setProgress(int value)
{
    if (value == m_progress)
        return;
    m_progress = value;
    emit changed();
}
