#include "bench/Samples.h"

#include <algorithm>
#include <cmath>

std::vector<double> Samples::sorted() const
{
    std::vector<double> copy = values;
    std::sort(copy.begin(), copy.end());
    return copy;
}

double Samples::median() const
{
    if (values.empty())
        return 0.0;
    const std::vector<double> s = sorted();
    const std::size_t mid = s.size() / 2;
    return s.size() % 2 == 1 ? s[mid] : (s[mid - 1] + s[mid]) / 2.0;
}

double Samples::percentile(double p) const
{
    if (values.empty())
        return 0.0;
    const std::vector<double> s = sorted();
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(s.size())));
    return s[std::clamp<std::size_t>(rank, 1, s.size()) - 1];
}

double Samples::largest() const
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}
