// SPDX-License-Identifier: MIT
// zelmor and a minimal Qt program side by side on the X server DISPLAY names, as a desktop runs
// them: start-up until the window is mapped and the memory it then holds, a key sent with XTest
// until its write enters the driver, and a running sweep's CPU time and clock. Both load the stamp
// library (ZELMOR_GPIB=lib:PATH), which notes CLOCK_MONOTONIC on entry to each ibwrt. Each figure
// is the median of the runs, the two programs taking turns.
//
// bench_x11 ZELMOR MINIMAL STAMPLIB [startup] [keys] [sweep]
// Environment: BENCH_RUNS (3), BENCH_PRESSES (300), BENCH_TICKS (500).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::int64_t monotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

int envInt(const char* name, int def) {
    const char* v = std::getenv(name);
    return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : def;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * v.size()));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

double median(const std::vector<double>& v) { return percentile(v, 50); }

[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

// Where zelmor's controls are, in twips from its client area (left, top, width, height), as in
// tests/e2e/lib.sh.
struct Place {
    int l, t, w, h;
};
constexpr Place kOnn{5560, 1600, 1200, 330};
constexpr Place kFrq2{795, 320, 375, 615};
constexpr Place kExc0{4560, 320, 375, 615};
constexpr Place kSwp{6360, 560, 340, 660};

class X {
public:
    X() : dpy_(XOpenDisplay(nullptr)) {
        if (dpy_ == nullptr) fail("cannot open the display");
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(dpy_, &event, &error, &major, &minor)) fail("no XTest");
        root_ = DefaultRootWindow(dpy_);
        XSelectInput(dpy_, root_, SubstructureNotifyMask);
        pidAtom_ = XInternAtom(dpy_, "_NET_WM_PID", False);
    }
    ~X() { XCloseDisplay(dpy_); }

    // The first top-level window `pid` maps, when the map is reported.
    std::optional<Window> waitMapped(pid_t pid, milliseconds limit) {
        const Clock::time_point end = Clock::now() + limit;
        while (Clock::now() < end) {
            while (XPending(dpy_) > 0) {
                XEvent e;
                XNextEvent(dpy_, &e);
                if (e.type == MapNotify && pidOf(e.xmap.window) == pid) return e.xmap.window;
            }
            pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
            poll(&p, 1, 10);
        }
        return std::nullopt;
    }
    bool focused(Window w) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(dpy_, &focus, &revert);
        return focus == w;
    }
    void click(Window w, Place at) {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(dpy_, w, root_, 0, 0, &x, &y, &child);
        XTestFakeMotionEvent(dpy_, -1, x + (at.l + at.w / 2) / 15, y + (at.t + at.h / 2) / 15, 0);
        XTestFakeButtonEvent(dpy_, 1, True, 0);
        XTestFakeButtonEvent(dpy_, 1, False, 0);
        XFlush(dpy_);
    }
    void key(KeySym sym, bool press) {
        XTestFakeKeyEvent(dpy_, XKeysymToKeycode(dpy_, sym), press ? True : False, 0);
        XFlush(dpy_);
    }

private:
    pid_t pidOf(Window w) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        pid_t pid = -1;
        if (XGetWindowProperty(dpy_, w, pidAtom_, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) == Success &&
            data != nullptr && items == 1 && format == 32) {
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        }
        if (data != nullptr) XFree(data);
        return pid;
    }

    Display* dpy_;
    Window root_;
    Atom pidAtom_;
};

struct Stamp {
    std::int64_t ns;
    std::string text;
};

// One program started for one measurement, with its own settings folder, its stamps on a pipe.
class Program {
public:
    Program(X& x, const std::string& path, const std::vector<std::string>& args,
            const std::string& driver)
        : x_(x) {
        char folder[] = "/tmp/bench_x11-XXXXXX";
        if (mkdtemp(folder) == nullptr) fail("mkdtemp");
        folder_ = folder;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) fail("pipe");
        stamps_ = fds[0];
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("ZELMOR_", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0 &&
                entry.rfind("XDG_CONFIG_HOME=", 0) != 0) {
                env.push_back(entry);
            }
        }
        env.insert(env.end(),
                   {"ZELMOR_GPIB=lib:" + driver, "ZELMOR_SIM_DISPLAY=0", "BENCH_STAMP_FD=3",
                    "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + folder_});
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        started_ = Clock::now();
        const int rc =
            posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) fail("cannot start " + path);
        const std::optional<Window> w = x_.waitMapped(pid_, milliseconds(20'000));
        if (!w) {
            stop();
            fail(path + " mapped no window");
        }
        mapped_ = Clock::now();
        cpuAtMap_ = cpuNs();
        window_ = *w;
    }
    ~Program() { stop(); }

    double startupMs() const {
        return std::chrono::duration<double, std::milli>(mapped_ - started_).count();
    }
    // CPU time it took to get there, which the machine's load does not stretch.
    double startupCpuMs() const { return cpuAtMap_ / 1e6; }
    double residentMb() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
        }
        return 0;
    }
    // CPU time of all its threads, in nanoseconds, from the scheduler's own count.
    std::int64_t cpuNs() const {
        std::int64_t total = 0;
        const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
        if (DIR* dir = opendir(tasks.c_str())) {
            while (dirent* d = readdir(dir)) {
                if (d->d_name[0] == '.') continue;
                std::ifstream s(tasks + "/" + d->d_name + "/schedstat");
                std::int64_t ns = 0;
                if (s >> ns) total += ns;
            }
            closedir(dir);
        }
        return total;
    }
    void waitFocus() {
        for (int i = 0; i < 500 && !x_.focused(window_); ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        if (!x_.focused(window_)) fail("the window never had the focus");
    }
    void click(Place at) { x_.click(window_, at); }
    std::optional<Stamp> next(milliseconds limit) {
        const Clock::time_point end = Clock::now() + limit;
        for (;;) {
            if (const std::size_t nl = buffer_.find('\n'); nl != std::string::npos) {
                Stamp s;
                std::istringstream line(buffer_.substr(0, nl));
                line >> s.ns;
                std::getline(line >> std::ws, s.text);
                buffer_.erase(0, nl + 1);
                return s;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
            if (left <= 0) return std::nullopt;
            pollfd p{stamps_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char chunk[4096];
            const ssize_t n = read(stamps_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Reads writes until none came for `quiet`.
    void drain(milliseconds quiet) {
        while (next(quiet)) {
        }
    }

private:
    // SIGTERM closes zelmor as a user would; what has not gone after 3 s is killed.
    void stop() {
        kill(pid_, SIGTERM);
        for (int i = 0; i < 300 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(stamps_);
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    X& x_;
    pid_t pid_ = -1;
    int stamps_ = -1;
    std::string folder_, buffer_;
    Window window_ = 0;
    Clock::time_point started_, mapped_;
    std::int64_t cpuAtMap_ = 0;
};

struct Setup {
    std::string zelmor, minimal, driver;
    int presses, ticks;
};

using Figures = std::map<std::string, double>;

Figures startup(X& x, const Setup& s, bool real) {
    Program p(x, real ? s.zelmor : s.minimal, {}, s.driver);
    const double ms = p.startupMs();
    std::this_thread::sleep_for(milliseconds(1000));  // painted and settled
    return {{"startup_ms", ms}, {"startup_cpu_ms", p.startupCpuMs()}, {"rss_mb", p.residentMb()}};
}

// The key goes to the focused 1 MHz box on line, or to the minimal window.
Figures keys(X& x, const Setup& s, bool real) {
    Program p(x, real ? s.zelmor : s.minimal, {}, s.driver);
    p.waitFocus();
    if (real) {
        p.click(kOnn);
        p.drain(milliseconds(300));
        p.click(kFrq2);
        p.drain(milliseconds(300));
    }
    std::vector<double> us;
    constexpr int kWarmUp = 10;  // the first keys of a program load what later keys reuse
    for (int i = -kWarmUp; i < s.presses; ++i) {
        const KeySym key = (i + kWarmUp) % 2 == 0 ? XK_Up : XK_Down;
        const std::int64_t sent = monotonicNs();
        x.key(key, true);
        const std::optional<Stamp> written = p.next(milliseconds(3000));
        x.key(key, false);
        if (!written) fail("a key made no write");
        if (i >= 0) us.push_back((written->ns - sent) / 1e3);
        std::this_thread::sleep_for(milliseconds(25 + (i + kWarmUp) % 7));  // a fast typist's pace
    }
    return {{"key_p50_us", percentile(us, 50)}, {"key_p99_us", percentile(us, 99)}};
}

// A frequency sweep on line at 120 ms, or the bare timer (or, with `show`, the minimal window
// showing each tick): the tick period, its error, the drift over the ticks, and the CPU time of
// the program over the wall time.
Figures sweepOnce(X& x, const Setup& s, bool real, bool show) {
    constexpr double kPeriodMs = 120;
    std::vector<std::string> args;
    if (!real) args = {"--sweep", "120"};
    if (show) args.emplace_back("--show");
    Program p(x, real ? s.zelmor : s.minimal, args, s.driver);
    if (real) {
        p.waitFocus();
        p.click(kOnn);
        p.drain(milliseconds(300));
        p.click(kExc0);  // an excursion of 100 steps
        std::this_thread::sleep_for(milliseconds(100));
        x.key(XK_Up, true), x.key(XK_Up, false), x.key(XK_Return, true), x.key(XK_Return, false);
        p.drain(milliseconds(300));
        p.click(kSwp);
    }
    for (int i = 0; i < 5; ++i) {  // settled
        if (!p.next(milliseconds(2000))) fail("the sweep does not tick");
    }
    const std::int64_t cpu0 = p.cpuNs();
    const std::int64_t wall0 = monotonicNs();
    std::vector<std::int64_t> at;
    for (int i = 0; i < s.ticks; ++i) {
        const std::optional<Stamp> tick = p.next(milliseconds(2000));
        if (!tick) fail("the sweep stopped ticking");
        at.push_back(tick->ns);
    }
    const double cpu =
        static_cast<double>(p.cpuNs() - cpu0) / static_cast<double>(monotonicNs() - wall0);
    std::vector<double> error;
    for (std::size_t i = 1; i < at.size(); ++i) {
        error.push_back(std::fabs((at[i] - at[i - 1]) / 1e6 - kPeriodMs));
    }
    const double span = (at.back() - at.front()) / 1e6;
    const double n = static_cast<double>(at.size() - 1);
    return {{"cpu_percent", 100 * cpu},
            {"period_ms", span / n},
            {"error_p50_ms", percentile(error, 50)},
            {"error_p99_ms", percentile(error, 99)},
            {"drift_ms", span - n * kPeriodMs}};
}

// The bare timer's run also measures the minimal window that shows each tick, so that the sweep's
// CPU time can be set beside the least a window that shows the steps spends.
Figures sweep(X& x, const Setup& s, bool real) {
    Figures figures = sweepOnce(x, s, real, false);
    if (!real) figures["shown_cpu_percent"] = sweepOnce(x, s, false, true).at("cpu_percent");
    return figures;
}

const char* verdict(bool met) { return met ? "ok" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s ZELMOR MINIMAL STAMPLIB [startup] [keys] [sweep]\n",
                     argv[0]);
        return 2;
    }
    const Setup setup{argv[1], argv[2], argv[3], envInt("BENCH_PRESSES", 300),
                      envInt("BENCH_TICKS", 500)};
    const int runs = envInt("BENCH_RUNS", 3);
    std::vector<std::string> what(argv + 4, argv + argc);
    if (what.empty()) what = {"startup", "keys", "sweep"};
    const std::map<std::string, std::function<Figures(X&, const Setup&, bool)>> measures{
        {"startup", startup}, {"keys", keys}, {"sweep", sweep}};
    try {
        X x;
        for (const std::string& w : what) {
            const auto measure = measures.find(w);
            if (measure == measures.end()) fail("unknown measurement " + w);
            std::map<std::string, std::vector<double>> real, bare;
            for (int run = 0; run < runs; ++run) {
                for (const auto& [name, value] : measure->second(x, setup, true))
                    real[name].push_back(value);
                for (const auto& [name, value] : measure->second(x, setup, false))
                    bare[name].push_back(value);
            }
            const auto r = [&](const char* n) { return median(real[n]); };
            const auto b = [&](const char* n) { return median(bare[n]); };
            if (w == "startup") {
                std::printf(
                    "start-up to the window mapped  zelmor %.0f ms  minimal window %.0f ms  "
                    "ratio %.2f (goal <= 1.3)  %s\n",
                    r("startup_ms"), b("startup_ms"), r("startup_ms") / b("startup_ms"),
                    verdict(r("startup_ms") <= 1.3 * b("startup_ms")));
                std::printf(
                    "  CPU time to the window mapped  zelmor %.0f ms  minimal window %.0f ms  "
                    "ratio %.2f\n",
                    r("startup_cpu_ms"), b("startup_cpu_ms"),
                    r("startup_cpu_ms") / b("startup_cpu_ms"));
                std::printf(
                    "resident memory once mapped    zelmor %.1f MB  minimal window %.1f MB  "
                    "ratio %.2f (goal <= 1.3)  %s\n",
                    r("rss_mb"), b("rss_mb"), r("rss_mb") / b("rss_mb"),
                    verdict(r("rss_mb") <= 1.3 * b("rss_mb")));
            } else if (w == "keys") {
                std::printf(
                    "keystroke through X (XTest to the write, %d keys)  zelmor p50 %.0f us  "
                    "p99 %.0f us  minimal window p50 %.0f us  p99 %.0f us  ratio at p50 "
                    "%.2f (goal <= 1.25)  %s\n",
                    setup.presses, r("key_p50_us"), r("key_p99_us"), b("key_p50_us"),
                    b("key_p99_us"), r("key_p50_us") / b("key_p50_us"),
                    verdict(r("key_p50_us") <= 1.25 * b("key_p50_us")));
            } else {
                std::printf(
                    "sweep CPU at 120 ms  zelmor %.3f %%  bare timer %.3f %% (goal < 0.15 "
                    "%%)  %s\n",
                    r("cpu_percent"), b("cpu_percent"), verdict(r("cpu_percent") < 0.15));
                std::printf(
                    "  minimal window showing each tick %.3f %%  zelmor/that window %.2f\n",
                    b("shown_cpu_percent"), r("cpu_percent") / b("shown_cpu_percent"));
                std::printf(
                    "sweep clock, %d ticks at 120 ms  zelmor: mean %.3f ms, error p50 %.2f "
                    "p99 %.2f ms, drift %+.1f ms  bare Qt::PreciseTimer: mean %.3f ms, "
                    "error p50 %.2f p99 %.2f ms, drift %+.1f ms  (goal: as good, within "
                    "0.5 ms at p50 and p99 and in drift)  %s\n",
                    setup.ticks, r("period_ms"), r("error_p50_ms"), r("error_p99_ms"),
                    r("drift_ms"), b("period_ms"), b("error_p50_ms"), b("error_p99_ms"),
                    b("drift_ms"),
                    verdict(r("error_p50_ms") <= b("error_p50_ms") + 0.5 &&
                            r("error_p99_ms") <= b("error_p99_ms") + 0.5 &&
                            std::fabs(r("drift_ms")) <= std::fabs(b("drift_ms")) + 0.5));
            }
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_x11: %s\n", e.what());
        return 1;
    }
    return 0;
}
