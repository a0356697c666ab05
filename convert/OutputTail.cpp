#include "convert/OutputTail.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr size_t keptLines = 16;
constexpr size_t maxLineLength = 512;

bool contains(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

bool startsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Progress reports, the keyboard hint, the banner and the indented listings of the build, the
// streams and their metadata never say why a run failed.
bool isChatter(const std::string &line)
{
    return startsWith(line, "frame=") || startsWith(line, "size=") ||
           startsWith(line, "Press [q]") || startsWith(line, "ffmpeg version ") ||
           startsWith(line, " ");
}

bool looksLikeError(const std::string &line)
{
    static const char *const signs[] = {"rror",           "nvalid",        "ailed",   "not ",
                                        "No such",        "denied",        "annot",   "nsupported",
                                        "nable",          "No space",      "refused", "Broken",
                                        "Is a directory", "quota exceeded"};
    return !isChatter(line) &&
           std::any_of(std::begin(signs), std::end(signs),
                       [&line](const char *sign) { return contains(line, sign); });
}

// Closing lines that the transcoder prints after the line that names the reason.
bool isSummary(const std::string &line)
{
    return startsWith(line, "Conversion failed!") ||
           startsWith(line, "Error initializing output stream") ||
           startsWith(line, "Could not write header");
}

} // namespace

void OutputTail::clear()
{
    m_lines.clear();
    m_partial.clear();
}

void OutputTail::release()
{
    std::vector<std::string>().swap(m_lines);
    std::string().swap(m_partial);
}

void OutputTail::append(const char *chunk, const LineHandler &onLine)
{
    if (!chunk)
        return;
    // Progress reports end in a carriage return, everything else in a line feed. Taken a run at a
    // time rather than byte by byte: a flooding transcoder sends megabytes between two ticks.
    for (const char *c = chunk; *c; ++c) {
        const size_t run = std::strcspn(c, "\r\n");
        m_partial.append(c, std::min(run, maxLineLength - m_partial.size()));
        c += run;
        if (*c == '\0')
            break;
        pushLine(std::move(m_partial), onLine);
        m_partial.clear();
    }
}

void OutputTail::finish(const LineHandler &onLine)
{
    if (m_partial.empty())
        return;
    pushLine(std::move(m_partial), onLine);
    m_partial.clear();
}

std::string OutputTail::lastErrorLine() const
{
    std::vector<std::string> all = m_lines;
    if (!m_partial.empty())
        all.push_back(m_partial);
    const auto lastWhere = [&all](auto predicate) {
        const auto found = std::find_if(all.rbegin(), all.rend(), predicate);
        return found != all.rend() ? *found : std::string();
    };
    const auto failed = [](const std::string &line) {
        return startsWith(line, "Conversion failed!");
    };
    for (const std::string &line :
         {lastWhere([](const std::string &l) { return looksLikeError(l) && !isSummary(l); }),
          lastWhere([&](const std::string &l) { return looksLikeError(l) && !failed(l); }),
          lastWhere([&](const std::string &l) { return !isChatter(l) && !failed(l); })}) {
        if (!line.empty())
            return line;
    }
    return std::string();
}

void OutputTail::pushLine(std::string line, const LineHandler &onLine)
{
    if (line.find_first_not_of(" \t") == std::string::npos)
        return;
    if (onLine)
        onLine(line);
    m_lines.push_back(std::move(line));
    if (m_lines.size() > keptLines)
        m_lines.erase(m_lines.begin());
}
