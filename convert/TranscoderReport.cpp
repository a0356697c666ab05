#include "convert/TranscoderReport.h"

#include "convert/EarlyEnd.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace
{

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

// The frames a progress line counts ("frame=  120"); -1 when it counts none.
long framesOf(const std::string &line)
{
    if (line.compare(0, 6, "frame=") != 0)
        return -1;
    char *end = nullptr;
    const long frames = std::strtol(line.c_str() + 6, &end, 10);
    return end != line.c_str() + 6 && frames >= 0 ? frames : -1;
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

void TranscoderReport::newRun(const std::string &inputPath, const std::string &outputPath,
                              double declaredSeconds)
{
    m_inputPath = inputPath;
    m_outputPath = outputPath;
    m_declaredSeconds = declaredSeconds;
    m_facts = OutputFacts();
    m_frames = 0;
    m_tail.clear();
    m_writeFailureLine.clear();
    m_decodeErrorLine.clear();
    m_lastTimeSeconds = -1;
    m_speed = 0;
    takeDeclaredDuration();
}

// The source's declared length stands for the transcoder's own while that is missing, so that
// the progress can still be told.
void TranscoderReport::takeDeclaredDuration()
{
    if (m_facts.durationSec <= 0 && m_declaredSeconds > 0)
        m_facts.durationSec = int32_t(std::clamp(std::round(m_declaredSeconds), 1.0, 2e9));
}

std::optional<int> TranscoderReport::take(char *chunk)
{
    takeDeclaredDuration();
    m_tail.append(chunk, [this](const std::string &line) { inspectLine(line); });
    hidePaths(chunk);
    const std::optional<int> progress = analyseOutputChunk(chunk, m_facts);
    // A value past 100 (a position beyond the duration) is not taken, as a bar would not.
    if (progress && *progress > 100)
        return std::nullopt;
    return progress;
}

void TranscoderReport::finish()
{
    m_tail.finish([this](const std::string &line) { inspectLine(line); });
}

void TranscoderReport::release()
{
    m_tail.release();
}

int TranscoderReport::remainingSeconds(double speed) const
{
    if (speed <= 0 || m_facts.durationSec <= 0 || m_facts.timeSec <= 0)
        return -1;
    return int(std::lround(double(qMax(0, m_facts.durationSec - m_facts.timeSec)) / speed));
}

// The transcoder repeats the paths it was given; a file name that holds one of the searched texts
// must not be taken for the transcoder's own words. The longer path goes first: hiding the other
// first could break it apart.
void TranscoderReport::hidePaths(char *text) const
{
    const bool inputLonger = m_inputPath.size() > m_outputPath.size();
    hideText(text, inputLonger ? m_inputPath : m_outputPath);
    hideText(text, inputLonger ? m_outputPath : m_inputPath);
}

// Every whole line of the output passes here, a flooding transcoder's too: most lines are
// dismissed by a look at the line itself, and only a line that reads like a failure is looked at
// again with the paths hidden (hiding can only take a match away).
void TranscoderReport::inspectLine(const std::string &line)
{
    if (line.compare(0, 6, "frame=") == 0 || line.compare(0, 5, "size=") == 0) {
        const double position = positionOf(line);
        if (position >= 0)
            m_lastTimeSeconds = position;
        const double speed = speedOf(line);
        if (speed >= 0)
            m_speed = speed;
        if (const long frames = framesOf(line); frames >= 0)
            m_frames = frames;
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

std::string TranscoderReport::failure(const Exit &exit) const
{
    if (!exit.normal || exit.code != 0)
        return m_facts.errorText.empty() ? exitFailureText(exit) : m_facts.errorText;
    if (!m_writeFailureLine.empty())
        return writeFailureText();
    if (exit.outputBytes > 0)
        return std::string();
    if (!m_facts.errorText.empty())
        return m_facts.errorText;
    return m_facts.outputSeen ? "没有生成输出文件！\n" : "模糊信息\n";
}

std::string TranscoderReport::note() const
{
    if (m_decodeErrorLine.empty())
        return std::string();
    return "源文件中有损坏的数据，已跳过：\n" + m_decodeErrorLine + "\n";
}

std::string TranscoderReport::warning() const
{
    if (!endedEarly(m_declaredSeconds, m_lastTimeSeconds))
        return std::string();
    return earlyEndWarning(m_declaredSeconds, m_lastTimeSeconds);
}

// Why a transcoder that ended by a signal or with a non-zero status failed.
std::string TranscoderReport::exitFailureText(const Exit &exit) const
{
    std::string text = exit.normal ? "转码程序异常退出，退出码：" + std::to_string(exit.code) + "\n"
                                   : "转码程序被信号 " + std::to_string(exit.signal) + " 终止\n";
    const std::string reason = m_tail.lastErrorLine();
    if (!reason.empty())
        text += reason + "\n";
    return text;
}

// The output is incomplete although the transcoder exited normally.
std::string TranscoderReport::writeFailureText() const
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
