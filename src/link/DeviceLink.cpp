// SPDX-License-Identifier: MIT
#include "zelmor/link/DeviceLink.h"

#include <ctime>
#include <utility>

#include "zelmor/link/GpibErrors.h"

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
        since();
        failure_->loadError = text;
        if (load.fileNotFound) text += kInstallHint;
        if (message_) message_(text);
        return nullptr;
    }
    driver_ = std::move(load.driver);
    binding_ = std::make_unique<GpibBinding>(*driver_);
    return binding_.get();
}

void DeviceLink::since() {
    if (failure_) return;
    failure_.emplace();
    failure_->since = std::chrono::system_clock::now();
}

bool DeviceLink::failed(const char* call) {
    const GpibStatus& s = binding_->status();
    since();
    failure_->call = call;
    failure_->iberr = s.iberr32;
    failure_->cause = s.ibcntl32;
    failure_->loadError.clear();
    return false;
}

std::string DeviceLink::failureText() const {
    if (!failure_) return {};
    const std::time_t t = std::chrono::system_clock::to_time_t(failure_->since);
    std::tm local{};
    char clock[16] = "";
    if (localtime_r(&t, &local) != nullptr) std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    const std::string since = std::string(" since ") + clock + ": ";
    if (!failure_->loadError.empty()) {
        return "The GPIB driver could not be loaded" + since + failure_->loadError;
    }
    const FailureText text = describeFailure(failure_->iberr, failure_->cause, address_.Board,
                                             address_.PAd, address_.SAd, endpoint());
    return text.what + since + text.check;
}

bool DeviceLink::failedWithin(std::chrono::milliseconds span) const {
    return lastFailure_ && std::chrono::steady_clock::now() - *lastFailure_ < span;
}

void DeviceLink::linkFailed() {
    failedLinks_.push_back(address_);
    lastFailure_ = std::chrono::steady_clock::now();
    deviceOpen_ = false;
}

bool DeviceLink::openFailed(const char* call) {
    linkFailed();
    if (call != nullptr) failed(call);
    releaseDescriptor();
    return false;
}

bool DeviceLink::OpenDevice() {
    for (const GpibAddress& a : failedLinks_) {
        if (a == address_) return deviceOpen_ = false;  // already failed in this action
    }
    GpibBinding* gpib = binding();
    if (!gpib) return openFailed(nullptr);
    releaseDescriptor();  // reopening an open link must not strand its descriptor
    deviceOpen_ = true;
    gpib->ibconfig(address_.Board, IbcSendLLO, 1);  // may fail on a board that lacks it
    deviceId_ = gpib->ibdev(address_.Board, address_.PAd, address_.SAd, kTimeoutT3s, kEoiOnLastByte,
                            kNoEos);
    if (gpib->err()) return openFailed("ibdev");
    haveDescriptor_ = true;
    gpib->ibclr(deviceId_);
    if (gpib->err()) return openFailed("ibclr");
    gpib->ibwrt(deviceId_, kProbe);
    if (gpib->err()) return openFailed("ibwrt");
    worked();
    return true;
}

bool DeviceLink::SendCommand(std::string_view text) {
    if (!deviceOpen_ && !OpenDevice()) return false;
    binding_->ibwrt(deviceId_, text);
    if (binding_->err()) {
        // The command is lost; the next action's command reopens with a fresh descriptor. A
        // generator that stopped answering after the probe would otherwise cost one time-out
        // for the write and another for each reopen of the same action.
        linkFailed();
        failed("ibwrt");
        releaseDescriptor();
        return false;
    }
    worked();
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
