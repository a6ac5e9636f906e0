// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibBinding.h"

namespace zelmor::link {

// Where the generator sits on the bus. Owned by the main window; the link reads it at every
// open.
struct GpibAddress {
    std::int16_t Board = 0;
    std::int16_t PAd = 7;
    std::int16_t SAd = 0;
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
    std::int16_t DeviceId() const { return deviceId_; }

    // The binding over the loaded driver, loading it on first use; nullptr when it cannot be
    // loaded (the critical message has then been shown). Used by the configuration dialog's
    // test, which opens a descriptor of its own.
    GpibBinding* binding();

private:
    // Takes the held descriptor off line, if any.
    void releaseDescriptor();

    const GpibAddress& address_;
    DriverSource source_;
    CriticalMessage message_;
    std::unique_ptr<GpibDriver> driver_;
    std::unique_ptr<GpibBinding> binding_;
    bool deviceOpen_ = false;
    bool haveDescriptor_ = false;  // deviceId_ came from a successful ibdev not yet released
    std::int16_t deviceId_ = 0;
};

}  // namespace zelmor::link
