#pragma once

#include "convert/ConvertState.h"
#include "params/AVSettings.h"

#include <string>

// One row of the saved list: the file, its own settings, its state and what its last run said.
struct SavedEntry {
    std::string inputPath; // UTF-8
    AVSettings settings;
    ConvertState state = Waiting;
    std::string errorText; // the reason of a failure, each message ending in "\n"
    std::string note;      // what a run that is Done still has to say

    bool operator==(const SavedEntry &other) const;
    bool operator!=(const SavedEntry &other) const { return !(*this == other); }

    // The row as a new start shows it: a run that was going on when the program ended comes back
    // waiting, with nothing of that run kept; every other state stays as saved, a reason too.
    SavedEntry restored() const;
};
