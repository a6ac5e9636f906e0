// SPDX-License-Identifier: MIT
// CmdNumber against printf's rounding to 15 significant digits, under a decimal-comma locale.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "Check.h"
#include "zelmor/digit/Number.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool comma = [] {
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            setenv("LOCPATH", ZELMOR_TEST_LOCPATH, 1);
            std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
        char text[8];
        std::snprintf(text, sizeof text, "%g", 2.5);
        return std::strcmp(text, "2,5") == 0;
    }();
    FUZZ_CHECK(comma);
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    // No exponent, no leading zero before the point, no trailing zeros after it.
    static const std::regex plain(R"(0|-?([1-9][0-9]*(\.[0-9]*[1-9])?|\.[0-9]*[1-9]))");

    double v = 0;
    std::memcpy(&v, data, std::min(size, sizeof v));
    const std::string text = zelmor::digit::CmdNumber(v);
    FUZZ_CHECK(std::regex_match(text, plain));
    if (!std::isfinite(v) || v == 0) {
        FUZZ_CHECK(text == "0");
        return 0;
    }
    char rounded[40];
    std::snprintf(rounded, sizeof rounded, "%.14e", v);
    FUZZ_CHECK(strtod_l(text.c_str(), nullptr, cLocale) == std::strtod(rounded, nullptr));
    return 0;
}
