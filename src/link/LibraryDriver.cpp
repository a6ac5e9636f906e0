// SPDX-License-Identifier: MIT
#include "LibraryDriver.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "FileKind.h"

namespace zelmor::link::detail {

namespace {

static_assert(sizeof(int) == sizeof(std::int32_t), "the libraries' int is the driver's 32 bits");

struct HandleCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The entry points, with the C signatures both library families export.
struct Api {
    int (*ibconfig)(int, int, int) = nullptr;
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibloc)(int) = nullptr;
    int (*ibonl)(int, int) = nullptr;

    // Status functions: per-thread (ThreadIbsta...) or process-wide (Ibsta...). The long count
    // is read as a long: the NI fallback to the count function returns unsigned long.
    int (*sta)() = nullptr;
    int (*err)() = nullptr;
    int (*cnt)() = nullptr;
    long (*cntl)() = nullptr;

    // Status variables.
    int* staVar = nullptr;
    int* errVar = nullptr;
    int* cntVar = nullptr;
    long* cntlVar = nullptr;

    int (*registerGlobals)(int*, int*, int*, long*) = nullptr;
    int (*unregisterGlobals)() = nullptr;
};

enum class StatusSource { Functions, Variables, Registration };

template <typename T>
T symbolAs(void* handle, const char* name) {
    return reinterpret_cast<T>(dlsym(handle, name));
}

class LibraryDriver final : public GpibDriver {
public:
    LibraryDriver(Handle handle, const Api& api, StatusSource source)
        : handle_(std::move(handle)), api_(api), source_(source) {}
    // The binding unregisters its fields before it goes; this is the last resort for a caller
    // that registered without one.
    ~LibraryDriver() override {
        if (cntlTarget_) api_.unregisterGlobals();
    }
    LibraryDriver(const LibraryDriver&) = delete;
    LibraryDriver& operator=(const LibraryDriver&) = delete;

    std::int32_t ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) override {
        return done(api_.ibconfig(unit, option, value));
    }
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override {
        return done(api_.ibdev(board, pad, sad, tmo, eot, eos));
    }
    std::int32_t ibclr(std::int32_t ud) override { return done(api_.ibclr(ud)); }
    std::int32_t ibwrt(std::int32_t ud, std::string_view bytes) override {
        return done(api_.ibwrt(ud, bytes.data(), static_cast<long>(bytes.size())));
    }
    std::int32_t ibloc(std::int32_t ud) override { return done(api_.ibloc(ud)); }
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override { return done(api_.ibonl(ud, v)); }

    bool needsRegistration() const override { return source_ == StatusSource::Registration; }

    // The library's long count is a C long, wider than the caller's field here: the library
    // gets a long of ours, copied into the caller's field after every call while registered.
    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* sta, std::int32_t* err,
                                              std::int32_t* cnt, std::int32_t* cntl) override {
        if (!api_.registerGlobals) return -1;
        const int rc = api_.registerGlobals(sta, err, cnt, &registeredCntl_);
        cntlTarget_ = rc == 0 ? cntl : nullptr;
        return rc;
    }
    std::int32_t UnregisterGpibGlobalsForThread() override {
        if (!api_.unregisterGlobals) return -1;
        cntlTarget_ = nullptr;
        return api_.unregisterGlobals();
    }

    DriverStatus status() const override { return last_; }

private:
    static std::int32_t low32(long v) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    }

    // Status is read right after the call, on the calling thread, as the per-thread functions
    // require.
    std::int32_t done(int result) {
        switch (source_) {
            case StatusSource::Functions:
                last_ = {api_.sta(), api_.err(), api_.cnt(),
                         api_.cntl ? low32(api_.cntl()) : api_.cnt()};
                break;
            case StatusSource::Variables:
                last_ = {*api_.staVar, *api_.errVar, *api_.cntVar,
                         api_.cntlVar ? low32(*api_.cntlVar) : *api_.cntVar};
                break;
            case StatusSource::Registration:
                if (cntlTarget_) *cntlTarget_ = low32(registeredCntl_);
                break;
        }
        return result;
    }

    Handle handle_;
    Api api_;
    StatusSource source_;
    DriverStatus last_;
    long registeredCntl_ = 0;
    std::int32_t* cntlTarget_ = nullptr;
};

std::string dlerrorText() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

// Picks the first complete way of reading status; false when the library offers none.
bool resolveStatus(void* handle, Api& api, StatusSource& source) {
    api.sta = symbolAs<int (*)()>(handle, "ThreadIbsta");
    api.err = symbolAs<int (*)()>(handle, "ThreadIberr");
    api.cnt = symbolAs<int (*)()>(handle, "ThreadIbcnt");
    api.cntl = symbolAs<long (*)()>(handle, "ThreadIbcntl");
    if (!api.cntl) api.cntl = symbolAs<long (*)()>(handle, "ThreadIbcnt");
    if (api.sta && api.err && api.cnt) {
        source = StatusSource::Functions;
        return true;
    }
    api.sta = symbolAs<int (*)()>(handle, "Ibsta");
    api.err = symbolAs<int (*)()>(handle, "Iberr");
    api.cnt = symbolAs<int (*)()>(handle, "Ibcnt");
    api.cntl = symbolAs<long (*)()>(handle, "Ibcntl");
    if (!api.cntl) api.cntl = symbolAs<long (*)()>(handle, "Ibcnt");
    if (api.sta && api.err && api.cnt) {
        source = StatusSource::Functions;
        return true;
    }
    api.sta = api.err = api.cnt = nullptr;
    api.cntl = nullptr;
    api.staVar = symbolAs<int*>(handle, "ibsta");
    api.errVar = symbolAs<int*>(handle, "iberr");
    api.cntVar = symbolAs<int*>(handle, "ibcnt");
    api.cntlVar = symbolAs<long*>(handle, "ibcntl");
    if (api.staVar && api.errVar && api.cntVar) {
        source = StatusSource::Variables;
        return true;
    }
    api.registerGlobals =
        symbolAs<int (*)(int*, int*, int*, long*)>(handle, "RegisterGpibGlobalsForThread");
    api.unregisterGlobals = symbolAs<int (*)()>(handle, "UnregisterGpibGlobalsForThread");
    if (api.registerGlobals && api.unregisterGlobals) {
        source = StatusSource::Registration;
        return true;
    }
    return false;
}

DriverLoad fromHandle(Handle handle, const std::string& file) {
    Api api;
    std::string missing;
    auto need = [&](const char* name, auto& slot) {
        if (!missing.empty()) return;
        dlerror();
        slot = symbolAs<std::remove_reference_t<decltype(slot)>>(handle.get(), name);
        if (!slot) missing = std::string(name) + " (" + dlerrorText() + ")";
    };
    need("ibconfig", api.ibconfig);
    need("ibdev", api.ibdev);
    need("ibclr", api.ibclr);
    need("ibwrt", api.ibwrt);
    need("ibloc", api.ibloc);
    need("ibonl", api.ibonl);
    if (!missing.empty()) {
        return {nullptr, "The GPIB library " + file + " has no entry point " + missing + ".",
                false};
    }
    StatusSource source{};
    if (!resolveStatus(handle.get(), api, source)) {
        return {nullptr,
                "The GPIB library " + file +
                    " has no entry point for reading status: none of ThreadIbsta, Ibsta, "
                    "the variable ibsta or RegisterGpibGlobalsForThread.",
                false};
    }
    return {std::make_unique<LibraryDriver>(std::move(handle), api, source), {}, false};
}

}  // namespace

DriverLoad loadLibraryDriver(std::string_view path) {
    constexpr int kFlags = RTLD_NOW | RTLD_LOCAL;
    if (!path.empty()) {
        const std::string file(path);
        const std::string failed = "Could not load the GPIB library " + file + ": ";
        // Only a regular file goes to dlopen, whose open would wait for ever on a FIFO. Only a
        // file that is not there is cured by installing drivers.
        if (file.find('/') != std::string::npos) {
            struct stat st {};
            if (::stat(file.c_str(), &st) != 0) {
                const int error = errno;
                return {nullptr, failed + std::strerror(error), error == ENOENT};
            }
            if (!S_ISREG(st.st_mode)) {
                return {nullptr, failed + "it is " + fileKind(st.st_mode) + ", not a library file.",
                        false};
            }
        }
        Handle handle(dlopen(file.c_str(), kFlags));
        if (!handle) {
            // A bare name is looked for where the system's names are; a name longer than any
            // file's can be there is not missing drivers either.
            const bool missing = file.find('/') == std::string::npos && file.size() <= NAME_MAX;
            return {nullptr, failed + dlerrorText(), missing};
        }
        return fromHandle(std::move(handle), file);
    }
    std::string tried;
    std::string reasons;
    for (const std::string_view name : kSystemLibraryNames) {
        const std::string file(name);
        Handle handle(dlopen(file.c_str(), kFlags));
        if (handle) return fromHandle(std::move(handle), file);
        tried += (tried.empty() ? "" : ", ") + file;
        reasons += (reasons.empty() ? "" : "; ") + dlerrorText();
    }
    // What the user can do about it, on this system: which package brings which file, and how
    // to use the panel without a bus meanwhile.
    return {nullptr,
            "Could not find the GPIB library (tried " + tried + "): " + reasons +
                ".\nLinux GPIB (linux-gpib) provides libgpib.so.0; NI-488.2 for Linux provides "
                "libni4882.so and libgpibapi.so. To try the panel without a bus, start it with "
                "ZELMOR_GPIB=sim.",
            true};
}

}  // namespace zelmor::link::detail
