// A stand-in transcoder that prints 20 MB of console text as fast as it can, the way the real
// one prints: one write per line on standard error, warnings ending in a line feed and progress
// reports in a carriage return. It then names a rate summary and leaves a small output file
// (its last argument), so that a job counts the run as a success.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr long totalBytes = 20L * 1000 * 1000;

bool writeAll(const char *text, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(STDERR_FILENO, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text += written;
        length -= size_t(written);
    }
    return true;
}

int formatLine(char *line, size_t size, long n)
{
    const long centis = n * 4;
    if (n % 2 == 0)
        return std::snprintf(line, size,
                             "[h264 @ 0x55e0c4a3c840] concealing %ld DC, %ld AC, %ld MV errors "
                             "in P frame\n",
                             n % 1700, n % 1700, n % 1700);
    return std::snprintf(line, size,
                         "frame=%6ld fps=%5.1f q=28.0 size=%8ldkB time=%02ld:%02ld:%02ld.%02ld "
                         "bitrate=%6.1fkbits/s speed=%5.2fx    \r",
                         n, 25.0 + double(n % 7), n / 4, centis / 360000, centis / 6000 % 60,
                         centis / 100 % 60, centis % 100, 400.0 + double(n % 13), 2.5);
}

} // namespace

int main(int argc, char *argv[])
{
    const char header[] = "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'in.mp4':\n"
                          "  Duration: 99:00:00.00, start: 0.000000, bitrate: 500 kb/s\n";
    if (!writeAll(header, sizeof header - 1))
        return 1;
    long written = 0;
    char line[256];
    for (long n = 0; written < totalBytes; ++n) {
        const int length = formatLine(line, sizeof line, n);
        if (!writeAll(line, size_t(length)))
            return 1;
        written += length;
    }
    const char summary[] = "\nvideo:1024kB audio:128kB subtitle:0kB other streams:0kB "
                           "global headers:0kB muxing overhead: 0.5% kb/s:1\n";
    if (!writeAll(summary, sizeof summary - 1))
        return 1;
    if (argc > 1) {
        const int fd = open(argv[argc - 1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            // A run is done only when it leaves a file with something in it.
            const bool written = write(fd, "data", 4) == 4;
            close(fd);
            if (!written)
                return 1;
        }
    }
    return 0;
}
