// SPDX-License-Identifier: MIT
// The simulated generator, one write per line: whatever settings it is left with, the panel's
// command texts for them set a new one the same, with no complaint.
#include <sstream>
#include <string>

#include "Check.h"
#include "Hp8656a.h"
#include "zelmor/digit/Number.h"
#include "zelmor/panel/Commands.h"

namespace {

// "S2AM30PC", and "AMS4" behind it when the modulation is off.
std::string modulation(const char* name, zelmor::link::ModSource source, double value,
                       const char* unit, bool on) {
    return "S" + std::to_string(static_cast<int>(source)) + name + zelmor::digit::CmdNumber(value) +
           unit + (on ? "" : std::string(name) + "S4");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmor::panel;
    zelmor::link::detail::Hp8656a sim;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(in, line);) sim.apply(line);
    const zelmor::link::SimGeneratorState& s = sim.state();
    const auto frqIncrement = static_cast<std::int32_t>(s.frequencyIncrementHz / 100);
    const std::string texts[] = {
        FrqIncrementCommand(frqIncrement),
        LvlIncrementCommand(s.levelIncrementDeciDb),
        FrqCommand(static_cast<double>(s.frequencyHz / 100)),
        LvlCommand(s.levelDeciDbm),
        modulation("AM", s.amSource, s.amDepthPercent, "PC", s.amOn),
        modulation("FM", s.fmSource, s.fmDeviationHz / 1000.0, "KZ", s.fmOn)};
    zelmor::link::detail::Hp8656a copy;
    for (const std::string& text : texts) FUZZ_CHECK(copy.apply(text).empty());
    FUZZ_CHECK(copy.state() == s);
    return 0;
}
