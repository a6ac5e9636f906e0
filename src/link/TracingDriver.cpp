// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "FileKind.h"
#include "TraceText.h"
#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibErrors.h"
#include "zelmor/panel/CommandReader.h"

namespace zelmor::link {

namespace {

// One line per call, written before the call returns, so another process reading the file sees
// every call that has finished, even when this one dies right after it. The descriptor is
// non-blocking: a reader that falls behind costs lines, never the window's time.
class TracingDriver final : public GpibDriver {
public:
    TracingDriver(std::unique_ptr<GpibDriver> inner, int fd, std::string path)
        : inner_(std::move(inner)), fd_(fd), path_(std::move(path)) {
        inner_->setNoteSink([this](std::string_view line) { note(line); });
    }
    ~TracingDriver() override {
        inner_->setNoteSink(nullptr);
        if (fd_ >= 0) ::close(fd_);
    }
    TracingDriver(const TracingDriver&) = delete;
    TracingDriver& operator=(const TracingDriver&) = delete;

    std::int32_t ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) override {
        return explained(
            traced(inner_->ibconfig(unit, option, value), "ibconfig", unit, option, value));
    }
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override {
        return explained(traced(inner_->ibdev(board, pad, sad, tmo, eot, eos), "ibdev", board, pad,
                                sad, tmo, eot, eos));
    }
    std::int32_t ibclr(std::int32_t ud) override {
        return explained(traced(inner_->ibclr(ud), "ibclr", ud));
    }
    std::int32_t ibwrt(std::int32_t ud, std::string_view bytes) override {
        const std::int32_t result = inner_->ibwrt(ud, bytes);
        write(detail::callText("ibwrt", {ud}) + " " + panel::quoteText(bytes), result);
        return explained(result);
    }
    std::int32_t ibloc(std::int32_t ud) override {
        return explained(traced(inner_->ibloc(ud), "ibloc", ud));
    }
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override {
        return explained(traced(inner_->ibonl(ud, v), "ibonl", ud, v));
    }

    bool needsRegistration() const override { return inner_->needsRegistration(); }
    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* sta, std::int32_t* err,
                                              std::int32_t* cnt, std::int32_t* cntl) override {
        return traced(inner_->RegisterGpibGlobalsForThread(sta, err, cnt, cntl),
                      "RegisterGpibGlobalsForThread");
    }
    std::int32_t UnregisterGpibGlobalsForThread() override {
        return traced(inner_->UnregisterGpibGlobalsForThread(), "UnregisterGpibGlobalsForThread");
    }

    DriverStatus status() const override { return inner_->status(); }
    std::string endpoint() const override { return inner_->endpoint(); }

    // A decorator around this one hears the inner backend's lines too.
    void setNoteSink(NoteSink sink) override { outerSink_ = std::move(sink); }

private:
    template <typename... Args>
    std::int32_t traced(std::int32_t result, const char* name, Args... args) {
        write(detail::callText(name, {args...}), result);
        return result;
    }

    // A failed call is followed by its error in words, "# ENOL: no listener". Only a driver
    // that reports status directly can say; one that writes into registered fields cannot.
    std::int32_t explained(std::int32_t result) {
        const DriverStatus s = inner_->status();
        if ((s.ibsta & ERR) == 0) return result;
        const GpibError* e = findGpibError(s.iberr);
        append("# " + (e != nullptr ? std::string(e->name) + ": " + std::string(e->meaning)
                                    : "error " + std::to_string(s.iberr)));
        return result;
    }

    void write(const std::string& call, std::int32_t result) {
        append(call + " -> " + std::to_string(result));
    }

    void note(std::string_view line) {
        append(std::string(line));
        if (outerSink_) outerSink_(line);
    }

    // One write() per line, so lines of several copies tracing to one file never interleave
    // within a line. SIGPIPE is ignored by the program, so a reader that left shows as EPIPE.
    void append(std::string line) {
        if (fd_ < 0) return;
        line += '\n';
        std::size_t written = 0;
        while (written < line.size()) {
            const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN && written == 0) {
                // A full pipe: its reader may catch up, so only this line is lost.
                if (!dropping_) say("is not read fast enough; lines that do not fit are dropped");
                dropping_ = true;
                return;
            } else {
                // Also half a line refused: what follows it would be garbled.
                say("can no longer be written (" + std::string(std::strerror(n < 0 ? errno : EIO)) +
                    "); tracing stops");
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }

    void say(const std::string& what) const {
        std::fprintf(stderr, "zelmor: the trace file %s %s\n", path_.c_str(), what.c_str());
    }

    std::unique_ptr<GpibDriver> inner_;
    int fd_;  // -1 once tracing has stopped
    std::string path_;
    bool dropping_ = false;  // said once
    NoteSink outerSink_;
};

// Why the trace cannot go to `path`, or nothing when `fd` takes it.
std::string refusal(const std::string& path, int fd) {
    const auto wrongKind = [](mode_t mode) {
        return std::string("it is ") + detail::fileKind(mode) +
               ", not a file, a terminal or a pipe";
    };
    struct stat st {};
    if (fd < 0) {
        const int error = errno;
        // ENXIO from a non-blocking open: a FIFO with no reader, or a socket.
        if (error == ENXIO && ::stat(path.c_str(), &st) == 0) {
            return S_ISFIFO(st.st_mode) ? "nothing reads from that FIFO" : wrongKind(st.st_mode);
        }
        return std::strerror(error);
    }
    if (::fstat(fd, &st) != 0) return std::strerror(errno);
    if (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) return {};
    return wrongKind(st.st_mode);
}

}  // namespace

std::unique_ptr<GpibDriver> makeTracing(std::unique_ptr<GpibDriver> inner,
                                        const std::string& path) {
    if (!inner) return inner;
    // Opened without blocking: a FIFO that nobody reads fails at once instead of hanging the
    // window's thread, and a terminal never becomes the controlling one.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    const std::string why = refusal(path, fd);
    if (!why.empty()) {
        if (fd >= 0) ::close(fd);
        // The program runs on without a trace; say so once, where the user started it.
        std::fprintf(stderr, "zelmor: cannot open the trace file %s: %s\n", path.c_str(),
                     why.c_str());
        return inner;
    }
    return std::make_unique<TracingDriver>(std::move(inner), fd, path);
}

}  // namespace zelmor::link
