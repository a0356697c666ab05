#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzz run with a message when an invariant does not hold; libFuzzer then saves the
// input.
inline void fuzzCheck(bool holds, const char *invariant)
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}
