// SPDX-License-Identifier: MIT
#include "zelmor/link/PrologixDriver.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "AdapterText.h"
#include "TraceText.h"
#include "zelmor/link/Addresses.h"
#include "zelmor/panel/CommandReader.h"

namespace zelmor::link {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::int32_t kBoard = 0;
constexpr std::int32_t kMaxTimeoutCode = 17;  // T1000s
constexpr std::size_t kLongestLine = 4096;    // past this without a line end, it is noise

// Controller mode; no read after each write (the generator only listens, so an automatic read
// would time out on every command); EOI on the last byte and nothing appended, so a command
// reaches the bus byte for byte; nothing appended to what is read either. Never ++savecfg:
// on AR488 it writes the EEPROM whatever its argument.
constexpr const char* kSetUp[] = {"++mode 1", "++auto 0", "++eoi 1", "++eos 3", "++eot_enable 0"};


int msecsUntil(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

}  // namespace

DriverLoad PrologixDriver::fromOptions(Transport transport, std::string_view options,
                                       Timeouts timeouts) {
    const bool tcp = transport == Transport::Tcp;
    auto refuse = [&](const std::string& why) {
        return DriverLoad{nullptr,
                          "GPIB backend \"" + std::string(tcp ? "prologix-tcp:" : "prologix:") +
                              std::string(options) + "\": " + why +
                              ". Accepted forms: " + std::string(tcp ? kTcpForms : kSerialForms) +
                              (tcp ? " (PORT 1 to 65535, 1234 when left out; an IPv6 address "
                                     "in brackets: [::1]:1234)"
                                   : " (for example prologix:/dev/ttyUSB0)") +
                              ".",
                          false};
    };
    if (!tcp) {
        if (options.empty()) return refuse("no serial device named");
        return {std::make_unique<PrologixDriver>(transport, std::string(options), 0, timeouts),
                {},
                false};
    }
    std::string_view host = options;
    std::optional<std::string_view> portText;
    if (options.starts_with('[')) {
        const std::size_t close = options.find(']');
        if (close == options.npos) return refuse("no \"]\" after the IPv6 address");
        host = options.substr(1, close - 1);
        const std::string_view rest = options.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return refuse("\":PORT\" expected after \"]\"");
        if (!rest.empty()) portText = rest.substr(1);
    } else if (std::count(options.begin(), options.end(), ':') == 1) {
        // More colons than one, without brackets, can only be an IPv6 address alone.
        const std::size_t colon = options.find(':');
        host = options.substr(0, colon);
        portText = options.substr(colon + 1);
    }
    if (host.empty()) return refuse("no host named");
    std::int32_t port = kDefaultTcpPort;
    if (portText) {
        const std::optional<std::int32_t> p = parseDecimal(*portText);
        if (!p || *p < 1 || *p > 65535) {
            return refuse("bad port \"" + std::string(*portText) + "\"");
        }
        port = *p;
    }
    return {std::make_unique<PrologixDriver>(transport, std::string(host),
                                             static_cast<std::uint16_t>(port), timeouts),
            {},
            false};
}

PrologixDriver::PrologixDriver(Transport transport, std::string name, std::uint16_t port,
                               Timeouts timeouts)
    : transport_(transport), name_(std::move(name)), port_(port), timeouts_(timeouts) {}

PrologixDriver::~PrologixDriver() {
    sink_ = nullptr;
    closePort();
}

std::int32_t PrologixDriver::done(std::int32_t result, std::int32_t sta, std::int32_t err,
                                  std::int32_t count) {
    status_ = {sta, err, count, count};
    return result;
}

// For EDVR the count holds the errno-like cause, as linux-gpib leaves errno in ibcntl.
std::int32_t PrologixDriver::failed(std::int32_t result, const Failure& why) {
    return done(result, why.sta, why.err, why.cause);
}

void PrologixDriver::note(const std::string& line) {
    if (sink_) sink_(line);
}

std::string PrologixDriver::where() const {
    if (transport_ == Transport::Serial) return name_;
    const bool ipv6 = name_.find(':') != std::string::npos;
    return (ipv6 ? "[" + name_ + "]" : name_) + ":" + std::to_string(port_);
}

bool PrologixDriver::broken() const {
    if (!io_ || !io_->isOpen()) return true;
    if (const auto* serial = dynamic_cast<const QSerialPort*>(io_.get())) {
        const QSerialPort::SerialPortError e = serial->error();
        return e != QSerialPort::NoError && e != QSerialPort::TimeoutError;
    }
    return static_cast<const QTcpSocket*>(io_.get())->state() != QAbstractSocket::ConnectedState;
}

std::int32_t PrologixDriver::portCause() const {
    if (!io_) return EIO;
    if (const auto* serial = dynamic_cast<const QSerialPort*>(io_.get())) {
        switch (serial->error()) {
            case QSerialPort::DeviceNotFoundError:
                return ENOENT;
            case QSerialPort::PermissionError:
                return EACCES;
            case QSerialPort::OpenError:
                return EBUSY;
            default:
                return EIO;
        }
    }
    switch (static_cast<const QTcpSocket*>(io_.get())->error()) {
        case QAbstractSocket::ConnectionRefusedError:
            return ECONNREFUSED;
        case QAbstractSocket::HostNotFoundError:
            return EHOSTUNREACH;
        case QAbstractSocket::RemoteHostClosedError:
            return ECONNRESET;
        case QAbstractSocket::SocketTimeoutError:
            return ETIMEDOUT;
        default:
            return EIO;
    }
}

PrologixDriver::Failure PrologixDriver::portFailure(const std::string& what) {
    const Failure why{ERR, EDVR, portCause()};
    note("# ++ " + where() + ": " + what + ": " +
         (io_ ? io_->errorString().toStdString() : std::string("not open")));
    closePort();
    return why;
}

// Connecting and waking the adapter up share one deadline, so that an open takes no longer
// than the wake-up time whatever the transport.
std::optional<PrologixDriver::Failure> PrologixDriver::openPort() {
    closePort();
    const auto until = Clock::now() + timeouts_.wakeUp;
    if (transport_ == Transport::Serial) {
        auto serial = std::make_unique<QSerialPort>();
        serial->setPortName(QString::fromStdString(name_));
        // Boards behind a USB serial chip (most AR488) run at 115200 8N1; native USB ignores it.
        serial->setBaudRate(QSerialPort::Baud115200);
        serial->setDataBits(QSerialPort::Data8);
        serial->setParity(QSerialPort::NoParity);
        serial->setStopBits(QSerialPort::OneStop);
        serial->setFlowControl(QSerialPort::NoFlowControl);
        io_ = std::move(serial);
        if (!io_->open(QIODevice::ReadWrite)) return portFailure("cannot open");
    } else {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QString::fromStdString(name_), port_);
        const bool connected = socket->waitForConnected(msecsUntil(until));
        io_ = std::move(socket);
        if (!connected) return portFailure("cannot connect");
        // Commands are a few bytes each and must leave at once.
        static_cast<QTcpSocket*>(io_.get())->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
    note("# ++ opened " + where());
    if (auto why = wakeUp(until)) return why;
    for (const char* line : kSetUp) {
        if (auto why = command(line)) return why;
    }
    return std::nullopt;
}

// Arduino-based adapters reset when their serial port opens and drop what arrives before their
// program runs, then may greet: ask again until a version answer comes, whatever precedes it.
std::optional<PrologixDriver::Failure> PrologixDriver::wakeUp(Clock::time_point until) {
    do {
        if (auto why = command("++ver")) return why;
        const auto version =
            answer(detail::isVersion, std::min(until, Clock::now() + timeouts_.retry));
        if (version) {
            ar488_ = version->find("AR488") != std::string::npos;
            return std::nullopt;
        }
        if (broken()) return portFailure("lost");
    } while (Clock::now() < until);
    note("# ++ " + where() + ": no answer to ++ver within " +
         std::to_string(timeouts_.wakeUp.count()) + " ms");
    closePort();
    return Failure{ERR, EDVR, ETIMEDOUT};
}

void PrologixDriver::closePort() {
    if (io_) {
        const bool wasOpen = io_->isOpen();
        // What the adapter did not take is dropped, so that closing waits for nothing.
        auto* serial = dynamic_cast<QSerialPort*>(io_.get());
        if (serial && wasOpen) serial->clear();
        io_->close();
        io_.reset();
        if (wasOpen) note("# ++ closed " + where());
    }
    inbox_.clear();
    addressed_.reset();
    ar488_ = false;
}

std::optional<PrologixDriver::Failure> PrologixDriver::send(std::string_view line, bool command) {
    if (!io_) return Failure{ERR, EDVR, EIO};
    if (command) note("# ++ > " + std::string(line));
    QByteArray bytes(line.data(), static_cast<qsizetype>(line.size()));
    bytes += '\n';
    const auto until = Clock::now() + timeouts_.io;
    if (io_->write(bytes) != bytes.size()) return portFailure("write failed");
    while (io_->bytesToWrite() > 0 && !broken() && Clock::now() < until) {
        io_->waitForBytesWritten(msecsUntil(until));
    }
    if (broken()) return portFailure("write failed");
    if (io_->bytesToWrite() > 0) {
        note("# ++ " + where() + ": " + std::to_string(io_->bytesToWrite()) +
             " bytes not taken within " + std::to_string(timeouts_.io.count()) + " ms");
        closePort();
        return Failure{ERR | TIMO, EABO, ETIMEDOUT};
    }
    return std::nullopt;
}

PrologixDriver::Failure PrologixDriver::noAnswer(const std::string& to) {
    if (broken()) return portFailure("lost");
    note("# ++ " + where() + ": no answer to " + to + " within " +
         std::to_string(timeouts_.io.count()) + " ms");
    closePort();
    return Failure{ERR | TIMO, EABO, ETIMEDOUT};
}

template <typename Wanted>
std::optional<std::string> PrologixDriver::answer(Wanted wanted, Clock::time_point until) {
    for (;;) {
        while (const std::optional<std::string> line = detail::takeLine(inbox_)) {
            const bool taken = wanted(*line);
            note("# ++ < " + panel::quoteText(*line) + (taken ? "" : " (ignored)"));
            if (taken) return line;
        }
        if (inbox_.size() > kLongestLine) {
            note("# ++ < " + std::to_string(inbox_.size()) + " bytes with no line end (ignored)");
            inbox_.clear();
        }
        if (broken() || Clock::now() >= until) return std::nullopt;
        if (io_->bytesAvailable() == 0 && !io_->waitForReadyRead(msecsUntil(until))) continue;
        const QByteArray bytes = io_->readAll();
        inbox_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
}

void PrologixDriver::drain() {
    if (!io_) return;
    if (io_->bytesAvailable() == 0) io_->waitForReadyRead(0);
    const QByteArray bytes = io_->readAll();
    inbox_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (!inbox_.empty() && inbox_.back() != '\n') inbox_ += '\n';  // a line cut short: dropped too
    answer([](std::string_view) { return false; }, Clock::now());
    if (broken()) portFailure("lost");
}

std::optional<PrologixDriver::Failure> PrologixDriver::addressTo(const Address& address,
                                                                 bool always) {
    if (!always && addressed_ == address) return std::nullopt;
    std::string line = "++addr " + std::to_string(address.pad);
    if (address.sad != 0) line += " " + std::to_string(address.sad);  // 96..126, as ibdev
    addressed_.reset();
    if (auto why = command(line)) return why;
    addressed_ = address;
    return std::nullopt;
}

std::optional<PrologixDriver::Address> PrologixDriver::ready(std::int32_t ud, Failure& why) {
    const auto it = descriptors_.find(ud);
    if (it == descriptors_.end()) {
        why = {ERR, EDVR, 0};
        return std::nullopt;
    }
    drain();
    if (!io_) {
        why = {ERR, EDVR, EIO};  // the port failed earlier: only ibdev opens it again
        return std::nullopt;
    }
    if (auto failure = addressTo(it->second)) {
        why = *failure;
        return std::nullopt;
    }
    return it->second;
}

std::int32_t PrologixDriver::ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) {
    if (descriptors_.count(unit)) return done(ERR, ERR, EARG);  // no device options here
    if (unit != kBoard) return done(ERR, ERR, ENEB);
    if (option != IbcSendLLO) return done(ERR, ERR, EARG);
    sendLlo_ = value != 0;
    return done(CMPL, CMPL);
}

std::int32_t PrologixDriver::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                   std::int32_t tmo, std::int32_t /*eot*/, std::int32_t eos) {
    if (board != kBoard) return done(-1, ERR, ENEB);
    if (!validPad(pad) || !validSad(sad) || tmo < 0 || tmo > kMaxTimeoutCode || eos < 0 ||
        eos > 0xFFFF) {
        return done(-1, ERR, EARG);
    }
    drain();
    if (!io_) {
        if (auto why = openPort()) return failed(-1, *why);
    }
    const Address address{pad, sad};
    if (auto why = addressTo(address, true)) return failed(-1, *why);
    if (sendLlo_) {
        // Old firmware answers "Unrecognized command"; the ++ver behind it marks where the
        // answer to ++llo ends, so that it is not taken for the answer to a later question.
        if (auto why = command("++llo")) return failed(-1, *why);
        if (auto why = command("++ver")) return failed(-1, *why);
        if (!answer(detail::isVersion, Clock::now() + timeouts_.io)) {
            return failed(-1, noAnswer("++ver"));
        }
    }
    std::int32_t ud = 1;  // 0 stays the board's own unit
    while (descriptors_.count(ud)) ++ud;
    descriptors_[ud] = address;
    return done(ud, CMPL);
}

std::int32_t PrologixDriver::ibclr(std::int32_t ud) {
    Failure why{};
    const std::optional<Address> address = ready(ud, why);
    if (!address) return failed(why);
    if (ar488_) {
        // A board refuses the clear when nothing listens; an AR488 can look, a Prologix cannot.
        const std::string find = "++fndl " + std::to_string(address->pad);
        if (auto failure = command(find)) return failed(*failure);
        const auto list = answer(detail::isListenerList, Clock::now() + timeouts_.io);
        if (!list) return failed(noAnswer(find));
        if (!detail::isUnrecognized(*list) && !detail::listed(*list, address->pad, address->sad)) {
            return done(ERR, ERR, ENOL);
        }
    }
    if (auto failure = command("++clr")) return failed(*failure);
    return done(CMPL, CMPL);
}

std::int32_t PrologixDriver::ibwrt(std::int32_t ud, std::string_view bytes) {
    Failure why{};
    if (!ready(ud, why)) return failed(why);
    // An empty line would put nothing on the bus either; the adapter is not bothered with it.
    if (bytes.empty()) return done(CMPL, CMPL);
    if (auto failure = send(detail::escaped(bytes), false)) return failed(*failure);
    return done(CMPL, CMPL, 0, static_cast<std::int32_t>(bytes.size()));
}

std::int32_t PrologixDriver::ibloc(std::int32_t ud) {
    Failure why{};
    if (!ready(ud, why)) return failed(why);
    if (auto failure = command("++loc")) return failed(*failure);
    return done(CMPL, CMPL);
}

std::int32_t PrologixDriver::ibonl(std::int32_t ud, std::int32_t v) {
    if (!descriptors_.count(ud)) return done(ERR, ERR, EDVR);
    if (v == 0) {
        descriptors_.erase(ud);
        if (descriptors_.empty()) closePort();
    }
    return done(CMPL, CMPL);
}

void registerAdapterBackends(BackendRegistry& registry) {
    using Transport = PrologixDriver::Transport;
    registry.add("prologix", std::string(PrologixDriver::kSerialForms), [](std::string_view rest) {
        return PrologixDriver::fromOptions(Transport::Serial, rest);
    });
    registry.add("prologix-tcp", std::string(PrologixDriver::kTcpForms), [](std::string_view rest) {
        return PrologixDriver::fromOptions(Transport::Tcp, rest);
    });
}

}  // namespace zelmor::link
