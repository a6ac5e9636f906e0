// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zelmor::digit::detail {

// Plain decimal text of v rounded to 15 significant digits, without exponent or trailing zeros.
// leadingZero chooses between "0.5" and ".5". Non-finite values read "0".
std::string PlainDecimal(double v, bool leadingZero);

}  // namespace zelmor::digit::detail
