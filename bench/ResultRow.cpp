#include "bench/ResultRow.h"

#include <cstdio>

void ResultRow::print() const
{
    static const char *const texts[] = {"pass", "MISS", "info"};
    std::printf("ROW\t%s\t%s\t%s\t%s\t%d\t%s\n", figure.c_str(), value.c_str(), goal.c_str(),
                comparison.c_str(), runs, texts[verdict]);
    std::fflush(stdout);
}

ResultRow::Verdict verdictOf(bool goalMet)
{
    return goalMet ? ResultRow::Pass : ResultRow::Miss;
}

std::string fixed(double value, int decimals, const char *unit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f%s", decimals, value, unit);
    return text;
}
