// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibDriver.h"

class QIODevice;

namespace zelmor::link {

struct AdapterTimeouts {
    // A write the adapter does not take, or an answer it does not give, as the bus's T3s.
    std::chrono::milliseconds io{3000};
    // How long opening may take, connecting and waiting for the adapter to answer ++ver
    // (Arduino boards reset when their port opens), and how often ++ver is asked meanwhile.
    std::chrono::milliseconds wakeUp{3000};
    std::chrono::milliseconds retry{200};
};

// A GPIB bus reached through a "++" controller (Prologix GPIB-USB or GPIB-ETHERNET, AR488),
// on a serial port ("prologix") or a TCP connection ("prologix-tcp").
//
// The port is opened by the first ibdev and closed when the last descriptor goes off line; a
// port that fails is closed at once, and the next ibdev opens it again. The adapter's own
// dialogue ("++" lines and its answers) goes to the note sink as lines beginning "# ++".
//
// Every call blocks the calling thread: at most one write or answer time-out, or the wake-up
// time when ibdev opens the port. Not thread-safe: meant for the one thread that makes the
// driver calls, which must be the thread the object lives in.
class PrologixDriver final : public GpibDriver {
public:
    enum class Transport { Serial, Tcp };

    static constexpr std::string_view kSerialForms = "prologix:DEVICE";
    static constexpr std::string_view kTcpForms = "prologix-tcp:HOST or prologix-tcp:HOST:PORT";
    static constexpr std::uint16_t kDefaultTcpPort = 1234;

    using Timeouts = AdapterTimeouts;

    // A driver from the options after "prologix:" or "prologix-tcp:", or an error that names
    // the options and the accepted forms. Nothing is opened yet.
    static DriverLoad fromOptions(Transport transport, std::string_view options,
                                  Timeouts timeouts = {});

    // `name` is the serial device, or the host name or address; `port` is for TCP only.
    PrologixDriver(Transport transport, std::string name, std::uint16_t port, Timeouts timeouts);
    ~PrologixDriver() override;
    PrologixDriver(const PrologixDriver&) = delete;
    PrologixDriver& operator=(const PrologixDriver&) = delete;

    std::int32_t ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) override;
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override;
    std::int32_t ibclr(std::int32_t ud) override;
    std::int32_t ibwrt(std::int32_t ud, std::string_view bytes) override;
    std::int32_t ibloc(std::int32_t ud) override;
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override;
    DriverStatus status() const override { return status_; }
    std::string endpoint() const override { return where(); }
    void setNoteSink(NoteSink sink) override { sink_ = std::move(sink); }

    Transport transport() const { return transport_; }
    const std::string& name() const { return name_; }
    std::uint16_t port() const { return port_; }

private:
    struct Address {
        std::int32_t pad;
        std::int32_t sad;
        bool operator==(const Address&) const = default;
    };
    // Why a step failed: the status and error code it leaves, and an errno-like cause.
    struct Failure {
        std::int32_t sta;
        std::int32_t err;
        std::int32_t cause;
    };

    std::int32_t done(std::int32_t result, std::int32_t sta, std::int32_t err = 0,
                      std::int32_t count = 0);
    std::int32_t failed(std::int32_t result, const Failure& why);
    std::int32_t failed(const Failure& why) { return failed(why.sta, why); }
    void note(const std::string& line);

    // Port and adapter. Each returns the failure, or nothing when it went through.
    std::optional<Failure> openPort();
    std::optional<Failure> wakeUp(std::chrono::steady_clock::time_point until);
    void closePort();
    bool broken() const;
    std::int32_t portCause() const;
    // The port's error, noted; the port is closed.
    Failure portFailure(const std::string& what);
    // An answer that did not come: a lost port, or an adapter that stopped talking. The port is
    // closed either way, so the next open starts the dialogue afresh.
    Failure noAnswer(const std::string& to);
    std::string where() const;
    std::optional<Failure> send(std::string_view line, bool command);
    std::optional<Failure> command(const std::string& line) { return send(line, true); }
    std::optional<Failure> addressTo(const Address& address, bool always = false);
    // Reads lines until one satisfies `wanted`, which it returns; lines before it are noted
    // and dropped. Nothing when the deadline passes or the port fails first.
    template <typename Wanted>
    std::optional<std::string> answer(Wanted wanted, std::chrono::steady_clock::time_point until);
    // Drops what the adapter said unasked (greetings, noise, late answers), noting it, and
    // finds out whether the port still works; a failed port is closed.
    void drain();
    // The descriptor's address once the port is usable and addressed to it.
    std::optional<Address> ready(std::int32_t ud, Failure& why);

    Transport transport_;
    std::string name_;
    std::uint16_t port_;
    Timeouts timeouts_;
    std::unique_ptr<QIODevice> io_;
    std::string inbox_;                 // bytes read and not yet taken as whole lines
    bool ar488_ = false;                // the version answer named an AR488: it can find listeners
    std::optional<Address> addressed_;  // what the adapter's ++addr holds
    std::map<std::int32_t, Address> descriptors_;
    bool sendLlo_ = false;
    DriverStatus status_;
    NoteSink sink_;
};

// Fills the registry with the adapter backends "prologix" and "prologix-tcp".
void registerAdapterBackends(BackendRegistry& registry);

}  // namespace zelmor::link
