#pragma once

#include <deque>
#include <string>

// Keeps the last lines of the transcoder's output across chunks, so that a failed run can name
// the transcoder's own reason.
class OutputTail final
{
public:
    void clear();
    void append(const char *chunk);
    // The last line that reads like an error, else the last line that is no progress report nor
    // listing; empty when there is none.
    std::string lastErrorLine() const;

private:
    void pushLine(std::string line);

    std::deque<std::string> lines;
    std::string partial;
};
