// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "zelmor/link/GpibDriver.h"

namespace zelmor::bench {

// A generator that always answers at once and notes when each write entered the driver.
class StampDriver final : public link::GpibDriver {
public:
    using Clock = std::chrono::steady_clock;

    std::int32_t ibconfig(std::int32_t, std::int32_t, std::int32_t) override { return done(0); }
    std::int32_t ibdev(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                       std::int32_t) override {
        return done(1);
    }
    std::int32_t ibclr(std::int32_t) override { return done(0); }
    std::int32_t ibwrt(std::int32_t, std::string_view bytes) override {
        lastWrite = Clock::now();  // first: the rest of the call is not the panel's time
        ++writes;
        return done(static_cast<std::int32_t>(bytes.size()));
    }
    std::int32_t ibloc(std::int32_t) override { return done(0); }
    std::int32_t ibonl(std::int32_t, std::int32_t) override { return done(0); }
    link::DriverStatus status() const override { return status_; }

    Clock::time_point lastWrite;
    long writes = 0;

private:
    std::int32_t done(std::int32_t count) {
        status_ = {link::CMPL, 0, count, count};
        return count;
    }
    link::DriverStatus status_;
};

}  // namespace zelmor::bench
