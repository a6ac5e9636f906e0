// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelmor::panel {

// What a line asks of the panel, each setting in the unit of the panel's model; a setting the
// line does not name stays as it is. Where the line names one several times, the last counts.
struct PanelRequest {
    struct Modulation {
        std::optional<int> depth;  // AM in %, FM in kHz; 0 is off
        std::optional<int> rate;   // 0 for 400 Hz, 1 for 1 kHz
    };
    std::optional<double> frequency;  // 100 Hz
    std::optional<double> level;      // 0.1 dB
    Modulation am;
    Modulation fm;
    std::optional<bool> sweepFrq;  // the swept quantity, named by an increment command
    std::optional<int> step;       // its entry in the step list
    std::optional<int> excursion;  // of the swept quantity, in steps
    std::optional<int> delay;      // ms
};

struct RequestReading {
    PanelRequest request;
    std::string error;  // empty when the whole line was understood
    std::size_t errorAt = 0;
    bool ok() const { return error.empty(); }
};

// A line of the generator's commands as the panel writes them, each word (between blanks) read
// as one write, then optionally the sweep settings ":excursion N" and ":delay MS":
//   FR145.5MZ AP-30DM S3AM30PC FMS2S4 FRIS1000HZ :excursion 5 :delay 250
// Anything the generator or the panel could not take is an error at the first such part, with
// its byte offset in the line. A modulation's off command (AMS2S4) leaves its rate alone.
RequestReading readPanelRequest(std::string_view line);

// The panel's whole state.
struct PanelState {
    double frequency = 0;  // 100 Hz
    double level = 0;      // 0.1 dB
    int amDepth = 0;
    int amRate = 0;
    int fmDeviation = 0;
    int fmRate = 0;
    bool sweepFrq = true;
    int step = 0;
    int excursion = 0;
    int delay = 0;
};

// The state as the commands switching on writes, each once, separated by single spaces:
// "FR100MZ AP-127DM AMS2S4 FMS2S4 FRIS100HZ".
std::string stateCommands(const PanelState& state);
// The same followed by the sweep settings: the whole state, as a preset keeps it.
std::string stateText(const PanelState& state);
// What a request sets, in words, modulation only when on: "145.5 MHz, −30.0 dBm, AM 30 % 1 kHz".
std::string describe(const PanelRequest& request);

}  // namespace zelmor::panel
