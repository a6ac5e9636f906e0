// SPDX-License-Identifier: MIT
// The dialog's number reader: LeadingNumber and ToInt16 against strtod and nearbyint.
#include "zelmor/digit/Number.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "Check.h"

namespace {

// Rounded to nearest, halves to even (the default rounding mode), in range or nothing.
std::optional<std::int16_t> int16Of(double v) {
    const double r = std::nearbyint(v);
    if (r >= -32768 && r <= 32767) return static_cast<std::int16_t>(r);
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Blanks dropped wherever they are, then strtod on a sign, digits, a point and digits.
    std::string plain;
    for (const char c : text) {
        if (std::string_view(" \t\r\n").find(c) == std::string_view::npos) plain += c;
    }
    const std::size_t sign = !plain.empty() && (plain[0] == '+' || plain[0] == '-');
    std::size_t end = std::min(plain.find_first_not_of("0123456789", sign), plain.size());
    std::size_t digits = end - sign;
    if (end < plain.size() && plain[end] == '.') {
        const std::size_t after =
            std::min(plain.find_first_not_of("0123456789", end + 1), plain.size());
        digits += after - end - 1;
        end = after;
    }
    const double want = digits > 0 ? std::strtod(plain.substr(0, end).c_str(), nullptr) : 0.0;
    const double got = zelmor::digit::LeadingNumber(text);
    FUZZ_CHECK(got == want);
    FUZZ_CHECK(zelmor::digit::ToInt16(got) == int16Of(got));
    if (size >= sizeof(double)) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        FUZZ_CHECK(zelmor::digit::ToInt16(raw) == int16Of(raw));
    }
    return 0;
}
