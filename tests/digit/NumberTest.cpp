// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <string>

#include "zelmor/digit/Number.h"

namespace zelmor::digit {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CmdNumber, PlainDecimalText) {
    // clang-format off
    const struct {
        double v;
        const char* text;
    } cases[] = {
        {1000000.0 / 10000, "100"}, {0.1, ".1"}, {123.4567, "123.4567"}, {-0.5, "-.5"},
        {0.0, "0"}, {-0.0, "0"}, {-127, "-127"}, {13, "13"}, {0.1 + 0.2, ".3"},
        {999999999999999.0, "999999999999999"}, {1234567890123456.0, "1234567890123460"},
        {1e21, "1000000000000000000000"}, {-2.0 / 3, "-.666666666666667"}, {1e-5, ".00001"},
        {99.99999999999999, "100"}, {kNaN, "0"}, {kInf, "0"}};
    // clang-format on
    for (const auto& [v, text] : cases) EXPECT_EQ(CmdNumber(v), text) << v;
}

struct CommaPoint final : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

// A decimal comma in both the C locale (printf) and the global C++ locale (streams).
TEST(CmdNumber, IgnoresCommaLocale) {
    const std::string oldC = std::setlocale(LC_ALL, nullptr);
    const std::locale oldCpp;
    const auto tryComma = [] {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
            if (std::setlocale(LC_ALL, name)) return true;
        return false;
    };
    bool commaC = tryComma();
    if (!commaC && setenv("LOCPATH", ZELMOR_TEST_LOCPATH, 1) == 0) commaC = tryComma();
    std::locale::global(std::locale(std::locale::classic(), new CommaPoint));

    char printed[16];
    std::snprintf(printed, sizeof printed, "%g", 2.5);
    std::ostringstream streamed;
    streamed << 2.5;
    EXPECT_EQ(streamed.str(), "2,5");  // the hostile setting is in force
    EXPECT_TRUE(!commaC || std::string(printed) == "2,5");
    EXPECT_EQ(CmdNumber(1234.5), "1234.5");
    EXPECT_EQ(CmdNumber(-0.25), "-.25");
    EXPECT_EQ(LeadingNumber("2.5"), 2.5);
    EXPECT_EQ(LeadingNumber("2,5"), 2.0);

    std::locale::global(oldCpp);
    std::setlocale(LC_ALL, oldC.c_str());
    unsetenv("LOCPATH");
    if (!commaC) std::printf("note: no comma C locale here; only the C++ locale was tested\n");
}

TEST(LeadingNumber, ReadsTheLeadingNumber) {
    const std::string nines(400, '9');
    // clang-format off
    const struct {
        std::string text;
        double v;
    } cases[] = {
        {"  7", 7}, {"12abc", 12}, {"abc", 0}, {"2.5", 2.5}, {"", 0}, {"-3.25x", -3.25}, {"+4", 4},
        {" - 5", -5}, {"1 2", 12}, {"\t9", 9}, {".5", 0.5}, {"5.", 5}, {"-.", 0}, {"--5", 0},
        {"1e3", 1}, {"1.2.3", 1.2}, {"00012", 12}, {nines, kInf}, {"-" + nines, -kInf},
        {"0." + std::string(400, '0') + "1", 0}};
    // clang-format on
    for (const auto& [text, v] : cases) EXPECT_EQ(LeadingNumber(text), v) << text;
    EXPECT_FALSE(std::signbit(LeadingNumber("-0")));
}

TEST(ToInt16, RoundsHalvesToEvenWithinRange) {
    const std::optional<int> none;
    // clang-format off
    const struct {
        double v;
        std::optional<int> expected;
    } cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.49999999999999994, 0}, {7.51, 8},
        {32767, 32767}, {32767.5, none}, {-32768.5, -32768}, {-32768.51, none}, {1e300, none},
        {kNaN, none}, {-kInf, none}};
    // clang-format on
    for (const auto& [v, expected] : cases) EXPECT_EQ(ToInt16(v), expected) << v;
    EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);
    EXPECT_EQ(RoundHalfEven(-0.5), 0.0);
}

}  // namespace
}  // namespace zelmor::digit
