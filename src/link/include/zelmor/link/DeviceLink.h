// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibBinding.h"

namespace zelmor::link {

// Where the generator sits on the bus. Owned by the main window; the link reads it at every
// open.
struct GpibAddress {
    std::int16_t Board = 0;
    std::int16_t PAd = 7;
    std::int16_t SAd = 0;
    bool operator==(const GpibAddress&) const = default;
};

// Why the last open or write failed, kept until one succeeds.
struct LinkFailure {
    std::string call;        // the driver call that failed: "ibdev", "ibclr", "ibwrt"...
    std::int32_t iberr = 0;  // the driver's error code
    std::int32_t cause = 0;  // its long count: errno after EDVR
    std::string loadError;   // set instead when the driver itself could not be loaded
    std::chrono::system_clock::time_point since;  // the first failure since the link last worked
};

// The one link to the generator. Runs on the UI thread; each call may block for up to the
// 3-second bus time-out.
class DeviceLink {
public:
    using DriverSource = std::function<DriverLoad()>;
    // Shows a critical message to the user (the driver library could not be loaded).
    using CriticalMessage = std::function<void(const std::string& text)>;

    DeviceLink(const GpibAddress& address, DriverSource source, CriticalMessage message);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    bool OpenDevice();
    bool SendCommand(std::string_view text);
    void CloseDevice();

    bool DeviceOpen() const { return deviceOpen_; }
    // Empty while the last open or write reached the generator.
    const std::optional<LinkFailure>& failure() const { return failure_; }
    // The failure in words for the user: what failed, where and since when (local time), and
    // what to check; empty while the link works.
    std::string failureText() const;
    // An adapter's port, for messages; empty for a board.
    std::string endpoint() const { return driver_ ? driver_->endpoint() : std::string(); }

    // A user action begins (a key, a click, a request). Within one action, a link that failed to
    // open or to write is not opened again for the same address, so a dead bus blocks the window
    // for one bus time-out per action, not one per command of a burst.
    void beginAction() { failedLinks_.clear(); }
    // Whether an open or a write has failed within the last `span`, for a sweep that retries
    // only so often.
    bool failedWithin(std::chrono::milliseconds span) const;
    std::int16_t DeviceId() const { return deviceId_; }

    // The binding over the loaded driver, loading it on first use; nullptr when it cannot be
    // loaded (the critical message has then been shown). Used by the configuration dialog's
    // test, which opens a descriptor of its own.
    GpibBinding* binding();

private:
    // Takes the held descriptor off line, if any.
    void releaseDescriptor();
    void since();                   // a failure begins now, unless one goes on
    bool failed(const char* call);  // records the binding's status; always false
    bool openFailed(const char* call);
    void linkFailed();  // within this action, and when
    void worked() { failure_.reset(); }

    const GpibAddress& address_;
    DriverSource source_;
    CriticalMessage message_;
    std::unique_ptr<GpibDriver> driver_;
    std::unique_ptr<GpibBinding> binding_;
    bool deviceOpen_ = false;
    bool haveDescriptor_ = false;  // deviceId_ came from a successful ibdev not yet released
    std::int16_t deviceId_ = 0;
    std::optional<LinkFailure> failure_;
    std::vector<GpibAddress> failedLinks_;  // in the current action
    std::optional<std::chrono::steady_clock::time_point> lastFailure_;
};

}  // namespace zelmor::link
