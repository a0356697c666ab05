#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the job has learnt so far from the transcoder's output.
struct OutputFacts {
    std::string errorText; // recognised messages, each followed by "\n"
    bool outputSeen = false;
    int32_t durationSec = 0;
    int32_t timeSec = 0;
};

// The searches return 0 when the pattern was found (and the result stored), 103 when it is absent
// and -1 when there is no chunk. A chunk is a NUL-terminated byte string.
int containsText(const char *chunk, const char *pattern);
int detectRateSummary(const char *chunk, bool &flag);
int parseDuration(const char *chunk, int32_t &seconds);
int parseTime(const char *chunk, int32_t &seconds);

// Whole seconds of an HH:MM:SS clock read at fixed positions; -1 for a missing or short text.
int32_t clockToSeconds(const char *text);

// Examines one chunk of output and records what it finds. Returns the progress percentage to show
// when the chunk held a position and both position and duration are known; it is not clamped.
std::optional<int> analyseOutputChunk(const char *chunk, OutputFacts &facts);

// Lines of the transcoder's output that decide a run that ended with status 0. A file name
// never counts: the job hides its own paths in a line before asking.
// Writing or finishing the output failed (a full disk, an I/O error): the file is incomplete.
bool isWriteFailure(const char *line);
// A damaged packet of the input that the transcoder skipped.
bool isDecodeError(const char *line);

// Overwrites every occurrence of `text` in the chunk with '*'. The transcoder repeats the paths it
// was given; a file name that holds one of the searched texts must not be taken for the
// transcoder's own words.
void hideText(char *chunk, const std::string &text);
