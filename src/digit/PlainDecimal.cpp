// SPDX-License-Identifier: MIT
#include "PlainDecimal.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <system_error>

namespace zelmor::digit::detail {

std::string PlainDecimal(double v, bool leadingZero) {
    // A double carries 15 reliable significant digits; beyond them is binary noise (0.1 + 0.2).
    if (!std::isfinite(v) || v == 0.0) return "0";
    // A whole number below 1e15 has all its digits among the 15 kept: the common case of a
    // command (FR101MZ) or a field, written without the scientific detour.
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
        char whole[24];
        const auto [last, error] =
            std::to_chars(whole, whole + sizeof whole, static_cast<long long>(v));
        if (error == std::errc()) return std::string(whole, last);
    }

    // to_chars is locale-independent, unlike printf and streams.
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
    if (ec != std::errc()) return "0";
    const std::string sci(buf, end);  // d.dddddddddddddde±xx
    const std::size_t e = sci.find('e');
    std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);
    const int exponent = std::stoi(sci.substr(e + 1));
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    const int whole = exponent + 1;  // digits before the point
    const int count = static_cast<int>(digits.size());
    std::string out = v < 0 ? "-" : "";
    if (whole <= 0) {
        if (leadingZero) out += '0';
        out += '.';
        out.append(static_cast<std::size_t>(-whole), '0');
        out += digits;
    } else if (whole >= count) {
        out += digits;
        out.append(static_cast<std::size_t>(whole - count), '0');
    } else {
        out += digits.substr(0, static_cast<std::size_t>(whole));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(whole));
    }
    return out;
}

}  // namespace zelmor::digit::detail
