// Times what a person sees. Starts a program (or presses a key, for a
// program already running), then reads three rows of the X root window
// across the area where an image will show, every few milliseconds, until
// each row shows the image's colour, and prints the milliseconds since the
// start. Without --area it finds that area instead, from whole-screen reads,
// for the timed runs that follow. With --memory-after-ms it then waits and
// prints the program's peak resident memory.
#include "ColourBand.h"
#include "ProcessMemory.h"
#include "ScreenReader.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* usage =
    "usage: kanvo_pixel_sampler --colour RRGGBB [--tolerance N] [--share F]\n"
    "           [--area X,Y,W,H] [--interval-ms N] [--timeout-ms N] [--shot FILE.ppm]\n"
    "           [--memory-after-ms N] (--key KEYSYM | -- PROGRAM [ARGUMENT...])\n"
    "With --area, prints pixels_ms: when three rows across the area show the colour.\n"
    "Without, prints area: where the colour shows once the screen has settled.\n"
    "--memory-after-ms adds peak_rss_mb: the program's peak resident memory N ms after.\n";

struct Options {
    ColourBand::Match match;
    std::optional<ColourBand::Rect> area;
    std::chrono::milliseconds interval{2};
    std::chrono::milliseconds timeout{60000};
    std::optional<std::chrono::milliseconds> memoryAfter;
    std::string shot;
    std::string key;
    std::vector<char*> program;
};

Options parse(int argc, char** argv) {
    Options options;
    bool colourGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--") {
            options.program.assign(argv + i + 1, argv + argc);
            break;
        }
        if (i + 1 >= argc) {
            throw std::invalid_argument(flag + " needs a value");
        }
        const char* value = argv[++i];
        if (flag == "--colour") {
            const unsigned long rgb = std::strtoul(value, nullptr, 16);
            options.match.colour = {std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8),
                                    std::uint8_t(rgb)};
            colourGiven = true;
        } else if (flag == "--tolerance") {
            options.match.tolerance = std::atoi(value);
        } else if (flag == "--share") {
            options.match.share = std::atof(value);
        } else if (flag == "--area") {
            ColourBand::Rect area;
            if (std::sscanf(value, "%d,%d,%d,%d", &area.x, &area.y, &area.width, &area.height) !=
                4) {
                throw std::invalid_argument("--area wants X,Y,W,H");
            }
            options.area = area;
        } else if (flag == "--interval-ms") {
            options.interval = std::chrono::milliseconds(std::atoi(value));
        } else if (flag == "--timeout-ms") {
            options.timeout = std::chrono::milliseconds(std::atoi(value));
        } else if (flag == "--memory-after-ms") {
            options.memoryAfter = std::chrono::milliseconds(std::atoi(value));
        } else if (flag == "--shot") {
            options.shot = value;
        } else if (flag == "--key") {
            options.key = value;
        } else {
            throw std::invalid_argument("unknown option " + flag);
        }
    }
    if (!colourGiven || options.key.empty() == options.program.empty()) {
        throw std::invalid_argument("needs --colour and one of --key or a program");
    }
    if (options.memoryAfter && options.program.empty()) {
        throw std::invalid_argument("--memory-after-ms needs a program");
    }
    options.program.push_back(nullptr);
    return options;
}

double cpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double millisecondsSince(Clock::time_point start, Clock::time_point now = Clock::now()) {
    return std::chrono::duration<double, std::milli>(now - start).count();
}

// The child's process group, for a termination signal to end it too.
volatile sig_atomic_t runningChild = 0;

void endChildAndExit(int signal) {
    if (runningChild != 0) {
        kill(-pid_t(runningChild), SIGTERM);
    }
    _exit(128 + signal);
}

// A child whose output and complaints are not ours to print, started in a session of its
// own as a desktop's launcher starts a program. Its process group (the
// program and any helper it starts) is ended when the sampler is done with
// it, or is itself ended.
class Child {
public:
    explicit Child(std::vector<char*>& argv) {
        std::signal(SIGTERM, endChildAndExit);
        std::signal(SIGINT, endChildAndExit);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        const int failed =
            posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " +
                                     std::strerror(failed));
        }
        runningChild = pid_;
    }
    ~Child() {
        runningChild = 0;
        kill(-pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    bool running() {
        if (exited_) {
            return false;
        }
        exited_ = waitpid(pid_, nullptr, WNOHANG) == pid_;
        return !exited_;
    }

private:
    pid_t pid_ = 0;
    bool exited_ = false;
};

// The three rows the timed runs read: a quarter, half and three quarters
// down the area.
std::vector<int> sampledRows(const ColourBand::Rect& area) {
    return {area.y + area.height / 4, area.y + area.height / 2, area.y + area.height * 3 / 4};
}

bool showsColour(ScreenReader& screen, const Options& options,
                 std::vector<ColourBand::Rgb>* middle = nullptr) {
    if (!options.area) {
        return ColourBand::locate(screen.frame(), options.match).has_value();
    }
    bool all = true;
    const std::vector<int> rows = sampledRows(*options.area);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<ColourBand::Rgb> pixels =
            screen.row(options.area->x, rows[i], options.area->width);
        all = options.match.row(pixels) && all;
        if (middle != nullptr && i == 1) {
            *middle = std::move(pixels);
        }
    }
    return all;
}

// The previous program's window may take a moment to go after its process
// ended; a run must start on a screen without the colour.
void waitForClearScreen(ScreenReader& screen, const Options& options) {
    const Clock::time_point start = Clock::now();
    while (showsColour(screen, options)) {
        if (Clock::now() - start > std::chrono::seconds(5)) {
            throw std::runtime_error("the colour is on screen before the start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The image arrived after the last sample without it began (previous_ms)
// and before the sample that saw it ended (pixels_ms, the figure): a read
// may wait in the server's queue behind the very paint it then sees.
void timeRows(ScreenReader& screen, const Options& options, Clock::time_point start, Child* child) {
    std::vector<double> sampleMicroseconds;
    std::vector<ColourBand::Rgb> before;
    std::vector<ColourBand::Rgb> middle;
    double previous = 0;
    for (Clock::time_point next = start;; next += options.interval) {
        std::this_thread::sleep_until(next);
        const Clock::time_point sampled = Clock::now();
        const bool shown = showsColour(screen, options, &middle);
        const Clock::time_point read = Clock::now();
        sampleMicroseconds.push_back(millisecondsSince(sampled, read) * 1000);
        if (shown) {
            std::sort(sampleMicroseconds.begin(), sampleMicroseconds.end());
            const ColourBand::Rgb was = ColourBand::mean(before);
            std::printf("pixels_ms=%.1f previous_ms=%.1f samples=%zu sample_us=%.0f "
                        "sample_max_us=%.0f cpu_ms=%.0f before=%02x%02x%02x\n",
                        millisecondsSince(start, read), previous, sampleMicroseconds.size(),
                        sampleMicroseconds[sampleMicroseconds.size() / 2],
                        sampleMicroseconds.back(), cpuMilliseconds(), was.red, was.green, was.blue);
            return;
        }
        previous = millisecondsSince(start, sampled);
        before.swap(middle);
        if (child != nullptr && !child->running()) {
            throw std::runtime_error("the program ended before its pixels showed");
        }
        if (sampled - start > options.timeout) {
            throw std::runtime_error("no pixels of the colour within the timeout");
        }
    }
}

// Settled: the same area on two whole-screen reads in a row.
void locateArea(ScreenReader& screen, const Options& options, Clock::time_point start,
                Child* child) {
    std::optional<ColourBand::Rect> last;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::optional<ColourBand::Rect> area =
            ColourBand::locate(screen.frame(), options.match);
        if (area && area == last) {
            std::printf("area=%d,%d,%d,%d\n", area->x, area->y, area->width, area->height);
            return;
        }
        last = area;
        if (child != nullptr && !child->running()) {
            throw std::runtime_error("the program ended before its pixels showed");
        }
        if (Clock::now() - start > options.timeout) {
            throw std::runtime_error("the colour did not settle on screen within the timeout");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parse(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kanvo_pixel_sampler: %s\n%s", error.what(), usage);
        return 2;
    }
    try {
        ScreenReader screen;
        waitForClearScreen(screen, options);
        std::optional<Child> child;
        const Clock::time_point start = Clock::now();
        if (options.key.empty()) {
            child.emplace(options.program);
        } else {
            screen.pressKey(options.key);
        }
        if (options.area) {
            timeRows(screen, options, start, child ? &*child : nullptr);
        } else {
            locateArea(screen, options, start, child ? &*child : nullptr);
        }
        if (!options.shot.empty()) {
            writePpm(screen.frame(), options.shot);
        }
        if (options.memoryAfter) {
            std::this_thread::sleep_for(*options.memoryAfter);
            std::printf("peak_rss_mb=%.0f\n", ProcessMemory::groupPeakMegabytes(child->pid()));
        }
        std::fflush(stdout);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kanvo_pixel_sampler: %s\n", error.what());
        return 1;
    }
    return 0;
}
