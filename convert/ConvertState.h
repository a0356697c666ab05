#pragma once

#include <cstdint>

// State of one conversion job; the main window compares against Done (2).
enum ConvertState : int32_t {
    Waiting = 0,
    Converting = 1,
    Done = 2,
    Cancelled = 3,
    Failed = 4,
};
