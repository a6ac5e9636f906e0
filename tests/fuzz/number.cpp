// SPDX-License-Identifier: MIT
// The digit library's numbers under a decimal-comma locale: LeadingNumber and ToInt16 against
// strtod and nearbyint on the text, CmdNumber against printf's rounding to 15 significant digits
// on the first eight bytes taken as a double.
#include "zelmor/digit/Number.h"

#include <clocale>
#include <cmath>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "Check.h"

namespace {

// Rounded to nearest, halves to even (the default rounding mode), in range or nothing.
std::optional<std::int16_t> int16Of(double v) {
    const double r = std::nearbyint(v);
    return r >= -32768 && r <= 32767 ? std::optional<std::int16_t>(r) : std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool comma = [] {
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            setenv("LOCPATH", ZELMOR_TEST_LOCPATH, 1);
            std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
        return std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    }();
    FUZZ_CHECK(comma);
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
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
    const double want = digits > 0 ? strtod_l(plain.substr(0, end).c_str(), nullptr, cLocale) : 0;
    const double got = zelmor::digit::LeadingNumber(text);
    FUZZ_CHECK(got == want && zelmor::digit::ToInt16(got) == int16Of(got));

    double v = 0;
    std::memcpy(&v, data, std::min(size, sizeof v));
    FUZZ_CHECK(zelmor::digit::ToInt16(v) == int16Of(v));
    // No exponent, no leading zero before the point, no trailing zeros after it.
    static const std::regex shape(R"(0|-?([1-9][0-9]*(\.[0-9]*[1-9])?|\.[0-9]*[1-9]))");
    const std::string cmd = zelmor::digit::CmdNumber(v);
    FUZZ_CHECK(std::regex_match(cmd, shape));
    char rounded[40];
    std::snprintf(rounded, sizeof rounded, "%.14e", v);
    FUZZ_CHECK(std::isfinite(v) && v != 0
                   ? strtod_l(cmd.c_str(), nullptr, cLocale) == std::strtod(rounded, nullptr)
                   : cmd == "0");
    return 0;
}
