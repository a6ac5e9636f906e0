// SPDX-License-Identifier: MIT
#include "zelmor/digit/Number.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "PlainDecimal.h"

namespace zelmor::digit {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double RoundHalfEven(double v) {
    if (!std::isfinite(v)) return v;
    const double below = std::floor(v);
    const double fraction = v - below;  // exact
    if (fraction > 0.5) return below + 1.0;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::string CmdNumber(double v) { return detail::PlainDecimal(v, false); }

double LeadingNumber(std::string_view text) {
    // A digit box holds one digit or a blank: read at every key, four times a row.
    if (text.size() == 1 && isDigit(text[0])) return text[0] - '0';
    if (text.size() == 1 && isBlank(text[0])) return 0.0;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i])) ++i;
    };
    // Blanks are ignored anywhere inside the number too: " 1 2" reads 12.
    const auto takeDigits = [&](std::string& into) {
        for (skipBlanks(); i < text.size() && isDigit(text[i]); skipBlanks()) into += text[i++];
    };

    skipBlanks();
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string whole;
    std::string fraction;
    takeDigits(whole);
    if (i < text.size() && text[i] == '.') {
        ++i;
        takeDigits(fraction);
    }
    if (whole.empty() && fraction.empty()) return 0.0;

    const std::string number = (whole.empty() ? "0" : whole) + "." + fraction + "0";
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: which one depends on the whole part alone.
        const bool large = whole.find_first_not_of('0') != std::string::npos;
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        return 0.0;
    }
    if (value == 0.0) return 0.0;
    return negative ? -value : value;
}

std::optional<std::int16_t> ToInt16(double v) {
    const double r = RoundHalfEven(v);
    if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;  // also NaN
    return static_cast<std::int16_t>(r);
}

}  // namespace zelmor::digit
