// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zelmor::link::detail {

// A call as the trace writes it, before its result: the name and each argument in decimal,
// separated by single spaces.
std::string callText(std::string_view name, std::initializer_list<std::int32_t> args);

}  // namespace zelmor::link::detail
