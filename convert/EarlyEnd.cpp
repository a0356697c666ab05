#include "convert/EarlyEnd.h"

#include <QString>

#include <cmath>

bool endedEarly(double declaredSeconds, double convertedSeconds)
{
    constexpr double shareMissing = 0.05;
    constexpr double secondsMissing = 1.0;
    if (!(declaredSeconds > 0) || !(convertedSeconds >= 0) || !std::isfinite(declaredSeconds))
        return false;
    const double missing = declaredSeconds - convertedSeconds;
    return missing > secondsMissing && missing > declaredSeconds * shareMissing;
}

std::string earlyEndWarning(double declaredSeconds, double convertedSeconds)
{
    // Down for what was converted, so that a near miss never reads as the whole.
    return QStringLiteral("源文件可能不完整：只转换了 %1 秒（共 %2 秒）")
        .arg(std::floor(convertedSeconds), 0, 'f', 0)
        .arg(std::round(declaredSeconds), 0, 'f', 0)
        .toStdString();
}
