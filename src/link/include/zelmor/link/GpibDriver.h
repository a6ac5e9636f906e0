// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zelmor::link {

// The driver's own 32-bit status after its last call.
struct DriverStatus {
    std::int32_t ibsta = 0;
    std::int32_t iberr = 0;
    std::int32_t ibcnt = 0;
    std::int32_t ibcntl = 0;
};

// The few NI-488.2 calls the link makes, plus how status is read. Every backend (the system
// library, the simulated generator, the trace decorator) implements exactly this. All calls
// block the calling thread until the driver returns.
class GpibDriver {
public:
    virtual ~GpibDriver() = default;

    virtual std::int32_t ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) = 0;
    virtual std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                               std::int32_t tmo, std::int32_t eot, std::int32_t eos) = 0;
    virtual std::int32_t ibclr(std::int32_t ud) = 0;
    // Writes bytes.size() bytes, EOI as configured for the descriptor.
    virtual std::int32_t ibwrt(std::int32_t ud, std::string_view bytes) = 0;
    virtual std::int32_t ibloc(std::int32_t ud) = 0;
    virtual std::int32_t ibonl(std::int32_t ud, std::int32_t v) = 0;

    // Drivers that can only report status into registered variables (the Windows library)
    // return true here; the binding then registers its fields before calling.
    virtual bool needsRegistration() const { return false; }
    virtual std::int32_t RegisterGpibGlobalsForThread(std::int32_t* /*sta*/, std::int32_t* /*err*/,
                                                      std::int32_t* /*cnt*/,
                                                      std::int32_t* /*cntl*/) {
        return 0;
    }
    virtual std::int32_t UnregisterGpibGlobalsForThread() { return 0; }

    // Status after the last call, for drivers that expose it directly.
    virtual DriverStatus status() const = 0;

    // Where an adapter talks to the bus ("/dev/ttyUSB0", "lab:1234"), for messages; empty for
    // a board, which the board index names.
    virtual std::string endpoint() const { return {}; }

    // Lines a backend has to say beside its calls (the simulated generator's complaints about
    // what it was sent). The trace decorator installs a sink so that they land in its file; a
    // sink is called on the thread of the driver call that raised the line.
    using NoteSink = std::function<void(std::string_view line)>;
    virtual void setNoteSink(NoteSink /*sink*/) {}
};

// Status bits and error codes the program names.
inline constexpr std::int32_t ERR = 0x8000;
inline constexpr std::int32_t TIMO = 0x4000;
inline constexpr std::int32_t END = 0x2000;
inline constexpr std::int32_t CMPL = 0x100;
inline constexpr std::int32_t EDVR = 0;
inline constexpr std::int32_t ENOL = 2;
inline constexpr std::int32_t EARG = 4;
inline constexpr std::int32_t EABO = 6;
inline constexpr std::int32_t ENEB = 7;
inline constexpr std::int32_t IbcSendLLO = 0x17;

}  // namespace zelmor::link
