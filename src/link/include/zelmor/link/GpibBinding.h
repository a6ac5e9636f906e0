// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zelmor/link/GpibDriver.h"

namespace zelmor::link {

// The driver status as the program sees it, refreshed after every call.
struct GpibStatus {
    std::int16_t ibsta = 0;  // bit 15 is ERR, so an error reads negative
    std::int16_t iberr = 0;
    std::int16_t ibcnt = 0;  // low 16 bits of the long count
    std::int32_t ibsta32 = 0;
    std::int32_t iberr32 = 0;
    std::int32_t ibcnt32 = 0;
    std::int32_t ibcntl32 = 0;
    bool registered = false;
};

// Narrows the driver's 32-bit results to the 16-bit values the rest of the program tests,
// and registers the status fields with drivers that need it.
class GpibBinding {
public:
    explicit GpibBinding(GpibDriver& driver) : driver_(driver) {}
    // A driver that outlives the binding (a library loaded elsewhere too) must not keep writing
    // into fields that are gone: they are unregistered through the driver, so a trace sees it.
    ~GpibBinding();
    // A registering driver writes into status_ through the addresses it was given.
    GpibBinding(const GpibBinding&) = delete;
    GpibBinding& operator=(const GpibBinding&) = delete;

    std::int16_t ibconfig(std::int16_t unit, std::int16_t option, std::int16_t value);
    std::int16_t ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
                       std::int16_t eot, std::int16_t eos);
    std::int16_t ibclr(std::int16_t ud);
    std::int16_t ibwrt(std::int16_t ud, std::string_view bytes);
    std::int16_t ibloc(std::int16_t ud);
    std::int16_t ibonl(std::int16_t ud, std::int16_t v);

    const GpibStatus& status() const { return status_; }
    // An adapter's port, for messages; empty for a board.
    std::string endpoint() const { return driver_.endpoint(); }
    // The only test the program makes on a call's outcome.
    bool err() const { return (status_.ibsta & 0x8000) != 0; }

    // The low 16 bits of a 32-bit value, read as signed.
    static std::int16_t narrow(std::int32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }

private:
    // Every driver call: the status fields registered first, then the call, then the 16-bit
    // view of its result and status.
    template <class DriverCall>
    std::int16_t call(DriverCall driverCall) {
        registerIfNeeded();
        return finish(driverCall());
    }
    void registerIfNeeded();
    std::int16_t finish(std::int32_t result);

    GpibDriver& driver_;
    GpibStatus status_;
};

}  // namespace zelmor::link
