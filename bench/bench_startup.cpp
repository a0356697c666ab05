// Figure 6: from process start to the main window on screen, and resident memory when idle, each
// against a bare Qt 5 window started the same way on the same display.
// Usage: bench_startup RUNS BARE_PROGRAM QUELLIX_PROGRAM
//
// The clock starts just before fork. The window counts as on screen from the first moment its
// pixels are what they will stay: rows of the window are read back from the X server every
// 2 ms until they have not changed for a second, and the earliest sample of that final picture
// is taken. Idle memory is VmRSS three seconds after that moment.
#include "bench/ResultRow.h"
#include "bench/Samples.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr double startupRatioGoal = 1.2;
constexpr double memoryGoalMb = 40.0;
constexpr auto sampleEvery = std::chrono::milliseconds(2);
constexpr auto stableFor = std::chrono::milliseconds(1000);
constexpr auto idleAfter = std::chrono::milliseconds(3000);
constexpr auto giveUpAfter = std::chrono::seconds(20);

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The programs start in a folder of their own: a relative name would no longer lead to them.
std::string absolutePath(const char *path)
{
    char *resolved = realpath(path, nullptr);
    if (!resolved)
        return path;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

pid_t launch(const std::string &program, const std::string &workDir)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

long windowPid(Display *display, Window window)
{
    static const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && count == 1 && format == 32)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// The top-level window that `pid` maps, or None when it maps none within the time allowed.
Window waitForMap(Display *display, pid_t pid, Clock::time_point deadline)
{
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect &&
                windowPid(display, event.xmap.window) == pid)
                return event.xmap.window;
        }
        poll(&fd, 1, 10);
    }
    return None;
}

// A fingerprint of five rows across the window.
size_t picture(Display *display, Window window, int width, int height)
{
    std::string pixels;
    for (int tenth : {1, 3, 5, 7, 9}) {
        XImage *row = XGetImage(display, window, 0, height * tenth / 10, unsigned(width), 1,
                                AllPlanes, ZPixmap);
        if (!row)
            return 0;
        pixels.append(row->data, size_t(row->bytes_per_line));
        XDestroyImage(row);
    }
    return std::hash<std::string>()(pixels);
}

// When the window's pixels reached their final state; a time point in the past of `deadline`
// on success, the deadline itself when they never settled.
Clock::time_point waitForFinalPicture(Display *display, Window window, Clock::time_point deadline)
{
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    size_t last = 0;
    Clock::time_point since = Clock::now();
    while (Clock::now() < deadline) {
        const size_t now = picture(display, window, attributes.width, attributes.height);
        const Clock::time_point at = Clock::now();
        if (now != last) {
            last = now;
            since = at;
        } else if (at - since >= stableFor) {
            return since;
        }
        std::this_thread::sleep_for(sampleEvery);
    }
    return deadline;
}

double residentMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

struct Launch {
    double startupMs = -1;
    double residentMb = -1;
};

Launch measure(Display *display, const std::string &program, const std::string &workDir)
{
    Launch result;
    const Clock::time_point start = Clock::now();
    const pid_t pid = launch(program, workDir);
    const Clock::time_point deadline = start + giveUpAfter;
    const Window window = pid > 0 ? waitForMap(display, pid, deadline) : None;
    if (window != None) {
        const Clock::time_point shown = waitForFinalPicture(display, window, deadline);
        if (shown < deadline) {
            result.startupMs = msSince(start, shown);
            std::this_thread::sleep_until(shown + idleAfter);
            result.residentMb = residentMb(pid);
        }
    }
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return result;
}

std::string makeWorkDir()
{
    char pattern[] = "/tmp/bench_startup-XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (!dir)
        return std::string();
    std::ofstream config(std::string(dir) + "/conf_main.json");
    config << "{\"VideosDir\":\"" << dir << "\"}\n";
    return dir;
}

void printRows(const Samples &bareMs, const Samples &ownMs, const Samples &ratios,
               const Samples &bareMb, const Samples &ownMb, bool allValid)
{
    ResultRow startup;
    startup.figure = "6 start-up to the main window on screen";
    startup.value = fixed(ownMs.median(), 0, " ms, ratio ") + fixed(ratios.median(), 2);
    startup.goal = "ratio <= " + fixed(startupRatioGoal, 1);
    startup.comparison = "bare Qt window: " + fixed(bareMs.median(), 0, " ms");
    startup.runs = int(ratios.size());
    startup.verdict = verdictOf(allValid && ratios.median() <= startupRatioGoal);
    startup.print();

    ResultRow memory;
    memory.figure = "6 resident memory when idle";
    memory.value =
        fixed(ownMb.median(), 1, " MB (+") + fixed(ownMb.median() - bareMb.median(), 1, " MB)");
    memory.goal = "<= bare + " + fixed(memoryGoalMb, 0, " MB");
    memory.comparison = "bare Qt window: " + fixed(bareMb.median(), 1, " MB");
    memory.runs = int(ownMb.size());
    memory.verdict = verdictOf(allValid && ownMb.median() - bareMb.median() <= memoryGoalMb);
    memory.print();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RUNS BARE_PROGRAM QUELLIX_PROGRAM\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const std::string workDir = makeWorkDir();
    const std::string bare = absolutePath(argv[2]);
    const std::string own = absolutePath(argv[3]);

    Samples bareMs, ownMs, ratios, bareMb, ownMb;
    bool allValid = !workDir.empty();
    for (int run = 0; run < runs && allValid; ++run) {
        // Taking turns at going first spreads any drift of the machine's load over both sides.
        Launch b, o;
        if (run % 2 == 0) {
            b = measure(display, bare, workDir);
            o = measure(display, own, workDir);
        } else {
            o = measure(display, own, workDir);
            b = measure(display, bare, workDir);
        }
        if (b.startupMs < 0 || o.startupMs < 0 || b.residentMb < 0 || o.residentMb < 0) {
            std::fprintf(stderr, "a window did not come up (bare %.0f ms, own %.0f ms)\n",
                         b.startupMs, o.startupMs);
            allValid = false;
            break;
        }
        bareMs.add(b.startupMs);
        ownMs.add(o.startupMs);
        ratios.add(o.startupMs / b.startupMs);
        bareMb.add(b.residentMb);
        ownMb.add(o.residentMb);
    }
    printRows(bareMs, ownMs, ratios, bareMb, ownMb, allValid);
    XCloseDisplay(display);
    if (!workDir.empty()) {
        std::remove((workDir + "/conf_main.json").c_str());
        rmdir(workDir.c_str());
    }
    return 0;
}
