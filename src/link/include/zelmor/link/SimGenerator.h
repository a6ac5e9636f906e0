// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibDriver.h"

namespace zelmor::link {

// Modulation sources, valued by their HP-IB codes S1, S2, S3 and S5 (S4 switches off).
enum class ModSource { External = 1, Internal400Hz = 2, Internal1kHz = 3, ExternalDc = 5 };

// What the simulated HP 8656A is set to; starts at the values below.
struct SimGeneratorState {
    std::int64_t frequencyHz = 100'000'000;  // 100 kHz to 990 MHz, 100 Hz resolution
    std::int32_t levelDeciDbm = -1270;       // -127.0 to +13.0 dBm, in 0.1 dB
    std::int32_t amDepthPercent = 0;         // 0 to 99
    ModSource amSource = ModSource::Internal400Hz;
    bool amOn = false;
    std::int32_t fmDeviationHz = 0;  // 0 to 99 kHz, 100 Hz resolution
    ModSource fmSource = ModSource::Internal400Hz;
    bool fmOn = false;
    std::int64_t frequencyIncrementHz = 1'000'000;  // what FRUP adds
    std::int32_t levelIncrementDeciDb = 10;         // what APUP adds

    bool operator==(const SimGeneratorState&) const = default;
};

namespace detail {
class Hp8656a;
}

// A simulated HP 8656A on board 0 of a simulated bus, as a driver backend ("sim").
//
// The bus: ibdev refuses a board other than 0 (ENEB) and addresses outside the GPIB ranges
// (EARG); a descriptor for any other valid address is given, but ibclr, ibwrt and ibloc on it
// find no listener (ENOL). The generator takes every write as one message of HP-IB codes
// (FR AP AM FM, IS UP DN, MZ KZ HZ DM PC, S1..S5, and the probe XX), one after another, so
// "S2AM30PC" and "AMS2S4" are single messages. A source code applies to the AM or FM named in
// the same message, before or after it. Whatever it cannot take (an unknown code, a value
// outside the instrument's range or finer than its resolution, a unit that does not fit) is
// left as it was and reported as a line beginning "# sim:" on standard error, in notes() and
// through the note sink (the trace file).
//
// Not thread-safe: meant for the one thread that makes the driver calls.
class SimGenerator final : public GpibDriver {
public:
    static constexpr std::string_view kForms = "sim, sim:PAD or sim:PAD,SAD";

    // A generator from the options after "sim:" ("" for PAD 7 and no SAD), or an error that
    // names the options and the accepted forms.
    static DriverLoad fromOptions(std::string_view options);

    // `sad` is 0 for none, else 0x60 to 0x7E as ibdev takes it.
    explicit SimGenerator(std::int32_t pad = 7, std::int32_t sad = 0);
    ~SimGenerator() override;
    SimGenerator(const SimGenerator&) = delete;
    SimGenerator& operator=(const SimGenerator&) = delete;

    std::int32_t ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) override;
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override;
    std::int32_t ibclr(std::int32_t ud) override;
    std::int32_t ibwrt(std::int32_t ud, std::string_view bytes) override;
    std::int32_t ibloc(std::int32_t ud) override;
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override;
    DriverStatus status() const override { return status_; }
    void setNoteSink(NoteSink sink) override { sink_ = std::move(sink); }

    // The records below keep at least the last 10,000 entries each.
    // What the generator took, one entry per write it accepted, the probe "XX" included.
    const std::vector<std::string>& writes() const { return writes_; }
    // Every driver call in the trace's words, without the result: "ibwrt 1 \"XX\"".
    const std::vector<std::string>& calls() const { return calls_; }
    // Every "# sim:" line raised so far.
    const std::vector<std::string>& notes() const { return notes_; }
    // The last "# sim:" line raised, whatever clearRecords() has done; empty before any.
    const std::string& lastNote() const { return lastNote_; }
    void clearRecords();

    const SimGeneratorState& state() const;
    bool remote() const { return remote_; }
    // Remote under local lockout: the generator's own keys do nothing.
    bool lockedOut() const { return remote_ && lockout_; }
    int descriptorsOnLine() const { return static_cast<int>(descriptors_.size()); }
    std::int32_t pad() const { return pad_; }
    std::int32_t sad() const { return sad_; }

    // Called after every driver call, on that call's thread, so a display can follow the
    // instrument; nullptr for none.
    void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }

    // Faults a test can switch on.
    // Off: switched off or unplugged; the generator hears nothing and keeps its settings.
    void setListening(bool listening);
    // Every write fails with ERR, TIMO and EABO after blocking the caller for `delay`.
    void setWriteTimeout(bool on, std::chrono::milliseconds delay = {});
    // A write holding anything the generator refuses fails with ERR, TIMO and EABO, as when
    // the instrument holds off the handshake; the codes it could take still apply.
    void setFailRefusedWrites(bool on) { failRefused_ = on; }

private:
    struct Descriptor {
        std::int32_t pad;
        std::int32_t sad;
    };

    std::int32_t done(std::int32_t result, std::int32_t sta, std::int32_t err = 0,
                      std::int32_t count = 0);
    const Descriptor* find(std::int32_t ud) const;
    bool reaches(const Descriptor& d) const;
    void note(const std::string& line);

    std::int32_t pad_;
    std::int32_t sad_;
    std::unique_ptr<detail::Hp8656a> instrument_;
    std::map<std::int32_t, Descriptor> descriptors_;
    DriverStatus status_;
    NoteSink sink_;
    std::function<void()> observer_;
    std::vector<std::string> writes_;
    std::vector<std::string> calls_;
    std::vector<std::string> notes_;
    std::string lastNote_;
    bool sendLlo_ = false;
    bool remote_ = false;
    bool lockout_ = false;
    bool listening_ = true;
    bool writeTimeout_ = false;
    std::chrono::milliseconds timeoutDelay_{0};
    bool failRefused_ = false;
};

}  // namespace zelmor::link
