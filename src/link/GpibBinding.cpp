// SPDX-License-Identifier: MIT
#include "zelmor/link/GpibBinding.h"

namespace zelmor::link {

namespace {
// Long count left behind when the status fields could not be registered.
constexpr std::int32_t kUnregisteredCount = static_cast<std::int32_t>(0xDEAD37F0u);
}  // namespace

GpibBinding::~GpibBinding() {
    if (status_.registered) driver_.UnregisterGpibGlobalsForThread();
}

std::int16_t GpibBinding::ibconfig(std::int16_t unit, std::int16_t option, std::int16_t value) {
    return call([&] { return driver_.ibconfig(unit, option, value); });
}

std::int16_t GpibBinding::ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad,
                                std::int16_t tmo, std::int16_t eot, std::int16_t eos) {
    return call([&] { return driver_.ibdev(board, pad, sad, tmo, eot, eos); });
}

std::int16_t GpibBinding::ibclr(std::int16_t ud) {
    return call([&] { return driver_.ibclr(ud); });
}

std::int16_t GpibBinding::ibwrt(std::int16_t ud, std::string_view bytes) {
    return call([&] { return driver_.ibwrt(ud, bytes); });
}

std::int16_t GpibBinding::ibloc(std::int16_t ud) {
    return call([&] { return driver_.ibloc(ud); });
}

std::int16_t GpibBinding::ibonl(std::int16_t ud, std::int16_t v) {
    return call([&] { return driver_.ibonl(ud, v); });
}

void GpibBinding::registerIfNeeded() {
    if (status_.registered || !driver_.needsRegistration()) return;
    auto registerFields = [this] {
        return driver_.RegisterGpibGlobalsForThread(&status_.ibsta32, &status_.iberr32,
                                                    &status_.ibcnt32, &status_.ibcntl32);
    };
    std::int32_t rc = registerFields();
    if (rc == 1) {
        // Another set of fields is registered for this thread: swap ours in. Only a 0 from the
        // second attempt means the driver will write here.
        driver_.UnregisterGpibGlobalsForThread();
        rc = registerFields();
    } else if (rc == 2 || rc == 3) {
        driver_.UnregisterGpibGlobalsForThread();
    }
    if (rc == 0) {
        status_.registered = true;
        return;
    }
    // The driver cannot report this call's outcome, so it must read as failed: the marks go
    // into the 32-bit fields, which nothing overwrites before finish() narrows them.
    status_.ibsta32 = ERR;
    status_.iberr32 = EDVR;
    status_.ibcntl32 = kUnregisteredCount;
    status_.ibsta = narrow(ERR);
    status_.iberr = EDVR;
}

std::int16_t GpibBinding::finish(std::int32_t result) {
    if (!driver_.needsRegistration()) {
        const DriverStatus s = driver_.status();
        status_.ibsta32 = s.ibsta;
        status_.iberr32 = s.iberr;
        status_.ibcnt32 = s.ibcnt;
        status_.ibcntl32 = s.ibcntl;
    }
    status_.ibsta = narrow(status_.ibsta32);
    status_.iberr = narrow(status_.iberr32);
    status_.ibcnt = narrow(status_.ibcntl32);
    return narrow(result);
}

}  // namespace zelmor::link
