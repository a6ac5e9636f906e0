// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zelmor::panel {

// The panel's ranges, in the units of its models. The frequency, the level and the AM depth are
// the generator's own; the FM deviation is set in whole kHz, the generator's in 100 Hz.
inline constexpr double FrqMin = 1000;     // 0.1 MHz, in 100 Hz
inline constexpr double FrqMax = 9900000;  // 990 MHz
inline constexpr double LvlMin = -1270;    // -127.0 dBm, in 0.1 dB
inline constexpr double LvlMax = 130;      // +13.0 dBm
inline constexpr int ModulationMax = 99;   // AM in %, FM in kHz
// Sweep: the excursion in steps (the field's three digits; a level sweep's slider goes on to
// LvlMax - LvlMin) and the delay between ticks in ms.
inline constexpr int ExcMax = 999;
inline constexpr int DlyMin = 120;
inline constexpr int DlyMax = 5000;

// The entries of the step list, each with its step in the swept quantity's unit.
struct StepEntry {
    const char* text;
    std::int32_t step;
};
inline constexpr std::array<StepEntry, 3> FrqSteps{{{"100Hz", 1}, {"kHz", 10}, {"mHz", 10000}}};
inline constexpr std::array<StepEntry, 3> LvlSteps{{{"0.1dBm", 1}, {"1.0dBm", 10}, {"3.0dBm", 30}}};

// HP-IB command texts for the HP 8656A. No separators, spaces or terminators: the link marks
// the end of a message with EOI.

// Frequency in units of 100 Hz: "FR", the frequency in MHz, "MZ" (1000000 -> "FR100MZ").
std::string FrqCommand(double frq100Hz);
// Level in units of 0.1 dB: "AP", the level in dBm, "DM" (-1270 -> "AP-127DM").
std::string LvlCommand(double lvlTenthDb);

// Modulation rate options: 0 is 400 Hz, 1 is 1 kHz.
std::string AmCommand(int rateIndex, std::int16_t depthPercent);
std::string FmCommand(int rateIndex, std::int16_t deviationKHz);
inline constexpr char AmOffCommand[] = "AMS2S4";
inline constexpr char FmOffCommand[] = "FMS2S4";

// Increment set for the sweep, step counted in the swept quantity's unit.
std::string FrqIncrementCommand(std::int32_t step100Hz);
std::string LvlIncrementCommand(std::int32_t stepTenthDb);
inline constexpr char FrqStepUpCommand[] = "FRUP";
inline constexpr char LvlStepUpCommand[] = "APUP";

}  // namespace zelmor::panel
