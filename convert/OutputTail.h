#pragma once

#include <functional>
#include <string>
#include <vector>

// Keeps the last lines of the transcoder's output across chunks, so that a failed run can name
// the transcoder's own reason, and hands every whole line to whoever watches them.
class OutputTail final
{
public:
    using LineHandler = std::function<void(const std::string &line)>;

    void clear();
    // Frees what the tail holds once nobody needs its lines any more.
    void release();
    void append(const char *chunk, const LineHandler &onLine = nullptr);
    // The end of the output: a last line without its line break counts as a whole line.
    void finish(const LineHandler &onLine = nullptr);
    // The last line that reads like an error, else the last line that is no progress report nor
    // listing; empty when there is none.
    std::string lastErrorLine() const;

private:
    void pushLine(std::string line, const LineHandler &onLine);

    std::vector<std::string> m_lines; // oldest first
    std::string m_partial;
};
