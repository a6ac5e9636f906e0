// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/CommandReader.h"

namespace zelmor::link::detail {

// The HP 8656A's HP-IB command interpreter and settings, without the bus.
class Hp8656a {
public:
    // Runs one message (one write, ended by EOI) and returns one complaint for each part it
    // refused; those parts leave the settings as they were.
    std::vector<std::string> apply(std::string_view message);

    const SimGeneratorState& state() const { return state_; }

private:
    SimGeneratorState state_;
    panel::Function function_ = panel::Function::None;  // the last selected, kept across messages
};

}  // namespace zelmor::link::detail
