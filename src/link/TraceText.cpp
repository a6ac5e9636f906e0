// SPDX-License-Identifier: MIT
#include "TraceText.h"

namespace zelmor::link::detail {

std::string callText(std::string_view name, std::initializer_list<std::int32_t> args) {
    std::string out(name);
    for (const std::int32_t arg : args) {
        out += ' ';
        out += std::to_string(arg);
    }
    return out;
}

}  // namespace zelmor::link::detail
