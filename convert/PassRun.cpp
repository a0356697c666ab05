#include "convert/PassRun.h"
#include "convert/EncoderOptions.h"
#include "params/AVParams.h"

#include <QFile>

#include <algorithm>

namespace
{

const char *const logSuffix = ".passlog";

} // namespace

void PassRun::prepare(const AVParams &params, const std::string &tempPath)
{
    clear();
    m_count = params.passCount();
    m_pass = 1;
    // The hidden temporary name keeps the statistics out of sight and tied to this run.
    m_logPrefix = m_count > 1 ? tempPath + logSuffix : std::string();
    const double seconds = params.source ? params.source->durationSeconds : 0;
    m_expectedFrames = seconds > 0 ? seconds * params.outputFrameRate() : 0;
}

std::vector<std::string> PassRun::arguments(const AVParams &params) const
{
    return m_count > 1 ? params.passArguments(m_pass, m_logPrefix) : params.commandArguments();
}

std::string PassRun::writtenFile(const std::string &outputPath) const
{
    return hasNext() ? EncoderOptions::passLogFile(m_logPrefix) : outputPath;
}

int PassRun::overall(int passProgress, long frames) const
{
    if (hasNext() && m_expectedFrames > 0)
        passProgress = int(std::min(100.0, double(frames) * 100 / m_expectedFrames));
    return ((m_pass - 1) * 100 + passProgress) / m_count;
}

void PassRun::clear()
{
    if (m_logPrefix.empty())
        return;
    QFile::remove(QString::fromStdString(EncoderOptions::passLogFile(m_logPrefix)));
    m_logPrefix.clear();
}

std::string PassRun::logFileOf(const std::string &tempPath)
{
    return EncoderOptions::passLogFile(tempPath + logSuffix);
}
