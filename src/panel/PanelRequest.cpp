// SPDX-License-Identifier: MIT
#include "zelmor/panel/PanelRequest.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "zelmor/digit/Number.h"
#include "zelmor/panel/CommandReader.h"
#include "zelmor/panel/Commands.h"

namespace zelmor::panel {

namespace {

using digit::CmdNumber;

// Collects what the generator's commands of a line set, as the panel counts it.
class RequestSink final : public CommandSink {
public:
    explicit RequestSink(RequestReading& reading) : reading_(reading) {}

    void value(Quantity q, std::int64_t steps, std::size_t at) override {
        PanelRequest& r = reading_.request;
        switch (q) {
            case Quantity::Frequency:
                r.frequency = static_cast<double>(steps);
                break;
            case Quantity::Level:
                r.level = static_cast<double>(steps);
                break;
            case Quantity::AmDepth:
                r.am.depth = static_cast<int>(steps);
                break;
            case Quantity::FmDeviation:
                if (steps % 10 != 0) {
                    refuse("FM deviation " + CmdNumber(steps / 10.0) +
                               " kHz is finer than the panel's 1 kHz",
                           at);
                }
                r.fm.depth = static_cast<int>(steps / 10);
                break;
            case Quantity::FrequencyIncrement:
            case Quantity::LevelIncrement: {
                const bool frq = q == Quantity::FrequencyIncrement;
                const auto& entries = frq ? FrqSteps : LvlSteps;
                std::optional<int> found;
                for (std::size_t i = 0; i < entries.size(); ++i) {
                    if (entries[i].step == steps) found = static_cast<int>(i);
                }
                if (!found) {
                    refuse(frq ? "frequency increment " + CmdNumber(steps * 100.0) +
                                     " Hz is not one of the panel's steps (100 Hz, 1 kHz, 1 MHz)"
                               : "level increment " + CmdNumber(steps / 10.0) +
                                     " dB is not one of the panel's steps (0.1, 1 and 3 dB)",
                           at);
                }
                r.sweepFrq = frq;
                r.step = found.value_or(0);
                break;
            }
        }
    }

    void source(Function f, int code, std::size_t at) override {
        PanelRequest::Modulation& m = f == Function::Am ? reading_.request.am : reading_.request.fm;
        std::optional<int>& rate = f == Function::Am ? amRate_ : fmRate_;
        if (code == 2 || code == 3) {
            rate = code - 2;
        } else if (code == 4) {
            m.depth = 0;
            rate.reset();
        } else {
            refuse("S" + std::to_string(code) + " (external " + (f == Function::Am ? "AM" : "FM") +
                       ") is not on the panel",
                   at);
        }
    }

    void step(Function f, int sign, std::size_t at) override {
        refuse(std::string(f == Function::Frequency ? "FR" : "AP") + (sign > 0 ? "UP" : "DN") +
                   " steps the generator, not the panel: send the value",
               at);
    }

    void refuse(std::string why, std::size_t at) override {
        if (!reading_.error.empty()) return;  // the first one is reported
        reading_.error = std::move(why);
        reading_.errorAt = offset + at;
    }

    // A rate code counts unless the modulation is switched off after it: AMS2S4 names no rate.
    void finish() {
        if (amRate_) reading_.request.am.rate = amRate_;
        if (fmRate_) reading_.request.fm.rate = fmRate_;
    }

    std::size_t offset = 0;  // of the message being read, in the line

private:
    RequestReading& reading_;
    std::optional<int> amRate_, fmRate_;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The ":name N" settings after the commands; `offset` is where `text` starts in the line.
void readSettings(std::string_view text, std::size_t offset, RequestReading& reading) {
    std::size_t pos = 0;
    auto word = [&]() -> std::pair<std::string_view, std::size_t> {
        while (pos < text.size() && isBlank(text[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !isBlank(text[pos])) ++pos;
        return {text.substr(start, pos - start), offset + start};
    };
    for (;;) {
        const auto [name, at] = word();
        if (name.empty()) return;
        const bool excursion = name == ":excursion";
        if (!excursion && name != ":delay") {
            reading.error = "unknown action " + quoteText(name);
            reading.errorAt = at;
            return;
        }
        const auto [number, numberAt] = word();
        const int lo = excursion ? 0 : DlyMin;
        const int hi = excursion ? static_cast<int>(LvlMax - LvlMin) : DlyMax;
        int v = 0;
        const char* end = number.data() + number.size();
        const auto [ptr, ec] = std::from_chars(number.data(), end, v);
        if (number.empty() || number[0] == '-' || ec != std::errc{} || ptr != end || v < lo ||
            v > hi) {
            reading.error = std::string(name) + " takes a whole number from " + std::to_string(lo) +
                            " to " + std::to_string(hi);
            reading.errorAt = number.empty() ? at : numberAt;
            return;
        }
        (excursion ? reading.request.excursion : reading.request.delay) = v;
    }
}

std::string modulationWords(const char* name, const PanelRequest::Modulation& m, const char* unit) {
    if (!m.depth || *m.depth == 0) return {};
    std::string words = std::string(", ") + name + " " + std::to_string(*m.depth) + unit;
    if (m.rate) words += *m.rate == 1 ? " 1 kHz" : " 400 Hz";
    return words;
}

}  // namespace

RequestReading readPanelRequest(std::string_view line) {
    RequestReading reading;
    const std::size_t colon = line.find(':');
    const std::string_view commands = line.substr(0, colon);
    RequestSink sink(reading);
    // Each word is one write of the panel's; the generator keeps its function across writes.
    Function function = Function::None;
    for (std::size_t pos = 0; pos < commands.size();) {
        const std::size_t start = pos;
        while (pos < commands.size() && !isBlank(commands[pos])) ++pos;
        sink.offset = start;
        readCommands(commands.substr(start, pos - start), function, sink);
        while (pos < commands.size() && isBlank(commands[pos])) ++pos;
    }
    sink.finish();
    if (reading.ok() && colon != std::string_view::npos) {
        readSettings(line.substr(colon), colon, reading);
    }
    return reading;
}

std::string stateCommands(const PanelState& s) {
    const auto modulation = [](int depth, int rate, bool am) {
        if (depth == 0) return std::string(am ? AmOffCommand : FmOffCommand);
        const auto d = static_cast<std::int16_t>(depth);
        return am ? AmCommand(rate, d) : FmCommand(rate, d);
    };
    const std::size_t step = static_cast<std::size_t>(s.step) < FrqSteps.size() ? s.step : 0;
    return FrqCommand(s.frequency) + " " + LvlCommand(s.level) + " " +
           modulation(s.amDepth, s.amRate, true) + " " +
           modulation(s.fmDeviation, s.fmRate, false) + " " +
           (s.sweepFrq ? FrqIncrementCommand(FrqSteps[step].step)
                       : LvlIncrementCommand(LvlSteps[step].step));
}

std::string stateText(const PanelState& s) {
    return stateCommands(s) + " :excursion " + std::to_string(s.excursion) + " :delay " +
           std::to_string(s.delay);
}

std::string describe(const PanelRequest& r) {
    std::string words;
    if (r.frequency) {
        std::string mhz = CmdNumber(*r.frequency / 10000);
        if (mhz.front() == '.') mhz.insert(0, "0");
        words += ", " + mhz + " MHz";
    }
    if (r.level) {
        const auto tenths = static_cast<long long>(*r.level);
        const std::string sign = tenths < 0 ? "\u2212" : tenths > 0 ? "+" : "";
        words += ", " + sign + std::to_string(std::llabs(tenths) / 10) + "." +
                 std::to_string(std::llabs(tenths) % 10) + " dBm";
    }
    words += modulationWords("AM", r.am, " %");
    words += modulationWords("FM", r.fm, " kHz");
    return words.empty() ? words : words.substr(2);
}

}  // namespace zelmor::panel
