// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelmor::panel {

// The HP 8656A's command language as the generator reads it: two-letter codes (FR AP AM FM, IS
// UP DN, MZ KZ HZ DM PC, S1..S5, the probe XX) with numbers between them. The one reader of it:
// the simulated generator, the control socket and the stored presets all go through here.

enum class Function { None, Frequency, Level, Am, Fm };

// What a number with its unit sets, counted in whole steps of the generator's resolution.
enum class Quantity {
    Frequency,           // 100 Hz
    FrequencyIncrement,  // 100 Hz
    Level,               // 0.1 dB
    LevelIncrement,      // 0.1 dB
    AmDepth,             // 1 %
    FmDeviation,         // 100 Hz
};

// A quantity's range as the generator takes it, in its steps, with the words a refusal uses.
struct QuantityRange {
    const char* name;
    std::int64_t min;
    std::int64_t max;
    const char* range;
    const char* step;
};
const QuantityRange& rangeOf(Quantity q);

// Receives what a message says, part by part, in the order the generator acts on them. `at` is
// the byte offset of the part in the message.
class CommandSink {
public:
    virtual ~CommandSink() = default;
    // A value within the generator's range and resolution.
    virtual void value(Quantity q, std::int64_t steps, std::size_t at) = 0;
    // A source code for AM or FM: 1 to 5 (S4 switches the modulation off).
    virtual void source(Function f, int code, std::size_t at) = 0;
    // UP (+1) or DN (-1) of the frequency or the level.
    virtual void step(Function f, int sign, std::size_t at) = 0;
    // A part the generator would not take, and why; the parts around it still count.
    virtual void refuse(std::string why, std::size_t at) = 0;
};

// Reads one message (one bus write). `function` is the function that earlier messages left
// selected, and is updated, as the generator keeps it from one message to the next.
void readCommands(std::string_view message, Function& function, CommandSink& sink);

// `bytes` in double quotes: \" \\ \r \n, \xHH (upper-case hex) for every other byte outside
// 0x20..0x7E, the rest as it is.
std::string quoteText(std::string_view bytes);

}  // namespace zelmor::panel
