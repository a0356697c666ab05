#pragma once

#include <string>

// One line of the benchmark table. Every program prints its rows on standard output with the
// prefix "ROW" and tab-separated fields; bench/run.sh gathers them into one table.
struct ResultRow {
    enum Verdict { Pass, Miss, Info };

    std::string figure;     // what was measured
    std::string value;      // the median, with its unit
    std::string goal;       // the goal it is held against
    std::string comparison; // what it was measured side by side with
    int runs = 0;           // how many runs the median is taken over
    Verdict verdict = Miss; // Info: a figure given for comparison, with no goal

    void print() const;
};

ResultRow::Verdict verdictOf(bool goalMet);

// A number with a fixed count of decimals and an optional unit, e.g. fixed(0.4012, 2, " s").
std::string fixed(double value, int decimals, const char *unit = "");
