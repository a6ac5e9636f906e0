// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace zelmor::panel {

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
