#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// Measurements of one quantity, summarised the way the benchmark table reports them.
class Samples final
{
public:
    Samples() = default;
    explicit Samples(std::vector<double> measured) : values(std::move(measured)) {}

    void add(double value) { values.push_back(value); }
    std::size_t size() const { return values.size(); }
    bool empty() const { return values.empty(); }

    double median() const;
    // Nearest-rank percentile, p in (0, 100].
    double percentile(double p) const;
    double largest() const;

private:
    std::vector<double> sorted() const;

    std::vector<double> values;
};
