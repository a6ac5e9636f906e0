// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale>
#include <optional>
#include <string>

#include "zelmor/digit/Number.h"

namespace zelmor::digit {
namespace {

TEST(CmdNumber, PlainDecimalText) {
    // clang-format off
    const std::pair<double, const char*> cases[] = {
        {1000000.0 / 10000, "100"}, {0.1, ".1"}, {-0.5, "-.5"}, {0.0, "0"}, {NAN, "0"},
        {0.1 + 0.2, ".3"}, {1234567890123456.0, "1234567890123460"}, {1e-5, ".00001"},
        {-2.0 / 3, "-.666666666666667"}, {99.99999999999999, "100"}, {INFINITY, "0"}};
    // clang-format on
    for (const auto& [v, text] : cases) EXPECT_EQ(CmdNumber(v), text) << v;
}

// A real decimal-comma locale for both printf and streams: the system's, else the build's copy.
TEST(CmdNumber, IgnoresCommaLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) setenv("LOCPATH", ZELMOR_TEST_LOCPATH, 1);
    const std::locale old = std::locale::global(std::locale("de_DE.UTF-8"));
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");  // the locale is in force
    EXPECT_EQ(CmdNumber(-1234.25), "-1234.25");
    EXPECT_EQ(std::pair(LeadingNumber("2.5"), LeadingNumber("2,5")), std::pair(2.5, 2.0));
    std::locale::global(old);
    unsetenv("LOCPATH");
}

// The fuzz target number holds both functions to strtod and nearbyint over any input.
TEST(LeadingNumber, ReadsTheLeadingNumberAndToInt16RoundsHalvesToEven) {
    EXPECT_EQ(std::pair(LeadingNumber("12abc"), LeadingNumber("+4")), std::pair(12.0, 4.0));
    for (const auto& [v, expected] : std::initializer_list<std::pair<double, std::optional<int>>>{
             {2.5, 2}, {3.5, 4}, {-2.5, -2}, {32767, 32767}, {32767.5, {}}, {-32768.5, -32768}})
        EXPECT_EQ(ToInt16(v), expected) << v;
}

}  // namespace
}  // namespace zelmor::digit
