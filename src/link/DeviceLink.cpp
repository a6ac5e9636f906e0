// SPDX-License-Identifier: MIT
#include "zelmor/link/DeviceLink.h"

#include <utility>

namespace zelmor::link {

namespace {
constexpr std::int16_t kTimeoutT3s = 12;  // 3 s for each I/O call on the device
constexpr std::int16_t kEoiOnLastByte = 1;
constexpr std::int16_t kNoEos = 0;
constexpr char kProbe[] = "XX";
constexpr char kInstallHint[] = "\rInstall National Instruments drivers";
}  // namespace

DeviceLink::DeviceLink(const GpibAddress& address, DriverSource source, CriticalMessage message)
    : address_(address), source_(std::move(source)), message_(std::move(message)) {}

// Off line, the panel leaves an open link alone even when the program ends: the generator is
// only handed back to local control by switching off or by closing the window on line.
DeviceLink::~DeviceLink() = default;

GpibBinding* DeviceLink::binding() {
    if (binding_) return binding_.get();
    DriverLoad load = source_ ? source_() : DriverLoad{};
    if (!load.driver) {
        // Nothing is kept, so the next open tries the source again.
        std::string text = load.error.empty() ? "The GPIB driver could not be loaded." : load.error;
        if (load.fileNotFound) text += kInstallHint;
        if (message_) message_(text);
        return nullptr;
    }
    driver_ = std::move(load.driver);
    binding_ = std::make_unique<GpibBinding>(*driver_);
    return binding_.get();
}

bool DeviceLink::OpenDevice() {
    GpibBinding* gpib = binding();
    if (!gpib) {
        deviceOpen_ = false;
        return false;
    }
    releaseDescriptor();  // reopening an open link must not strand its descriptor
    deviceOpen_ = true;
    gpib->ibconfig(address_.Board, IbcSendLLO, 1);  // may fail on a board that lacks it
    deviceId_ = gpib->ibdev(address_.Board, address_.PAd, address_.SAd, kTimeoutT3s, kEoiOnLastByte,
                            kNoEos);
    if (gpib->err()) {
        deviceOpen_ = false;
        return false;
    }
    haveDescriptor_ = true;
    gpib->ibclr(deviceId_);
    if (!gpib->err()) gpib->ibwrt(deviceId_, kProbe);
    if (gpib->err()) {
        deviceOpen_ = false;
        releaseDescriptor();
        return false;
    }
    return true;
}

bool DeviceLink::SendCommand(std::string_view text) {
    if (!deviceOpen_ && !OpenDevice()) return false;
    binding_->ibwrt(deviceId_, text);
    if (binding_->err()) {
        // The command is lost; the next one reopens with a fresh descriptor.
        deviceOpen_ = false;
        releaseDescriptor();
        return false;
    }
    return true;
}

void DeviceLink::CloseDevice() {
    if (!deviceOpen_) return;
    deviceOpen_ = false;
    binding_->ibloc(deviceId_);
    releaseDescriptor();
}

void DeviceLink::releaseDescriptor() {
    if (!haveDescriptor_) return;
    haveDescriptor_ = false;
    binding_->ibonl(deviceId_, 0);  // status not looked at: the descriptor is gone either way
}

}  // namespace zelmor::link
