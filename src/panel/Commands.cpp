// SPDX-License-Identifier: MIT
#include "zelmor/panel/Commands.h"

#include "zelmor/digit/Number.h"

namespace zelmor::panel {

using digit::CmdNumber;

std::string FrqCommand(double frq100Hz) { return "FR" + CmdNumber(frq100Hz / 10000) + "MZ"; }

std::string LvlCommand(double lvlTenthDb) { return "AP" + CmdNumber(lvlTenthDb / 10) + "DM"; }

namespace {
const char* rateCode(int rateIndex) { return rateIndex == 1 ? "S3" : "S2"; }
}  // namespace

std::string AmCommand(int rateIndex, std::int16_t depthPercent) {
    return std::string(rateCode(rateIndex)) + "AM" + CmdNumber(depthPercent) + "PC";
}

std::string FmCommand(int rateIndex, std::int16_t deviationKHz) {
    return std::string(rateCode(rateIndex)) + "FM" + CmdNumber(deviationKHz) + "KZ";
}

std::string FrqIncrementCommand(std::int32_t step100Hz) {
    // The generator takes the frequency increment as a whole number of hertz.
    return "FRIS" + std::to_string(static_cast<std::int64_t>(step100Hz) * 100) + "HZ";
}

std::string LvlIncrementCommand(std::int32_t stepTenthDb) {
    // Steps below 1 dB keep their leading zero here ("APIS0.1DM"), unlike other numbers.
    std::string text = CmdNumber(stepTenthDb / 10.0);
    if (stepTenthDb < 10 && stepTenthDb > 0) text = "0" + text;
    return "APIS" + text + "DM";
}

}  // namespace zelmor::panel
