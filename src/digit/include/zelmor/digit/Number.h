// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelmor::digit {

// Nearest whole number, halves to the even neighbour.
double RoundHalfEven(double v);

// The plain decimal text of a number inside an instrument command: at most 15 significant
// digits, "-" only for negatives, no leading zero between -1 and 1 (".5"), no trailing zeros,
// no point for whole numbers, always "." whatever the locale.
std::string CmdNumber(double v);

// The leading decimal number of a text, blanks ignored; no number reads as 0.
double LeadingNumber(std::string_view text);

// A number rounded halves-to-even into a signed 16-bit integer; nullopt when it does not fit.
std::optional<std::int16_t> ToInt16(double v);

}  // namespace zelmor::digit
