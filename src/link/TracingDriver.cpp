// SPDX-License-Identifier: MIT
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "TraceText.h"
#include "zelmor/link/Backends.h"
#include "zelmor/panel/CommandReader.h"

namespace zelmor::link {

namespace {

// One line per call, written and flushed before the call returns, so another process reading
// the file sees every call that has finished, even when this one dies right after it.
class TracingDriver final : public GpibDriver {
public:
    TracingDriver(std::unique_ptr<GpibDriver> inner, std::FILE* file)
        : inner_(std::move(inner)), file_(file) {
        inner_->setNoteSink([this](std::string_view line) { note(line); });
    }
    ~TracingDriver() override {
        inner_->setNoteSink(nullptr);
        std::fclose(file_);
    }
    TracingDriver(const TracingDriver&) = delete;
    TracingDriver& operator=(const TracingDriver&) = delete;

    std::int32_t ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) override {
        return traced(inner_->ibconfig(unit, option, value), "ibconfig", unit, option, value);
    }
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override {
        return traced(inner_->ibdev(board, pad, sad, tmo, eot, eos), "ibdev", board, pad, sad, tmo,
                      eot, eos);
    }
    std::int32_t ibclr(std::int32_t ud) override { return traced(inner_->ibclr(ud), "ibclr", ud); }
    std::int32_t ibwrt(std::int32_t ud, std::string_view bytes) override {
        const std::int32_t result = inner_->ibwrt(ud, bytes);
        write(detail::callText("ibwrt", {ud}) + " " + panel::quoteText(bytes), result);
        return result;
    }
    std::int32_t ibloc(std::int32_t ud) override { return traced(inner_->ibloc(ud), "ibloc", ud); }
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override {
        return traced(inner_->ibonl(ud, v), "ibonl", ud, v);
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

    // A decorator around this one hears the inner backend's lines too.
    void setNoteSink(NoteSink sink) override { outerSink_ = std::move(sink); }

private:
    template <typename... Args>
    std::int32_t traced(std::int32_t result, const char* name, Args... args) {
        write(detail::callText(name, {args...}), result);
        return result;
    }

    void write(const std::string& call, std::int32_t result) {
        std::fprintf(file_, "%s -> %ld\n", call.c_str(), static_cast<long>(result));
        std::fflush(file_);
    }

    void note(std::string_view line) {
        std::fprintf(file_, "%.*s\n", static_cast<int>(line.size()), line.data());
        std::fflush(file_);
        if (outerSink_) outerSink_(line);
    }

    std::unique_ptr<GpibDriver> inner_;
    std::FILE* file_;
    NoteSink outerSink_;
};

}  // namespace

std::unique_ptr<GpibDriver> makeTracing(std::unique_ptr<GpibDriver> inner,
                                        const std::string& path) {
    if (!inner) return inner;
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file) {
        // The program runs on without a trace; say so once, where the user started it.
        std::fprintf(stderr, "zelmor: cannot open the trace file %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return inner;
    }
    return std::make_unique<TracingDriver>(std::move(inner), file);
}

}  // namespace zelmor::link
