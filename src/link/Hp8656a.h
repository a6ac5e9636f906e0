// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zelmor/link/SimGenerator.h"

namespace zelmor::link::detail {

// The HP 8656A's HP-IB command interpreter and settings, without the bus.
class Hp8656a {
public:
    enum class Function { None, Frequency, Level, Am, Fm };

    // Runs one message (one write, ended by EOI) and returns one complaint for each part it
    // refused; those parts leave the settings as they were.
    std::vector<std::string> apply(std::string_view message);

    const SimGeneratorState& state() const { return state_; }

private:
    SimGeneratorState state_;
    Function function_ = Function::None;  // the last function selected, kept across messages
};

}  // namespace zelmor::link::detail
