// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "FakeField.h"

namespace zelmor::digit::test {
namespace {

bool isDigit(const std::string& t) { return t.size() == 1 && t[0] >= '0' && t[0] <= '9'; }

// Random keys, focus changes, hostile codes and owner writes on fields of many shapes: every
// box keeps one legal character, and Enter commits within any bounds the field can show.
class clsDigitProperty : public ::testing::TestWithParam<unsigned> {};

TEST_P(clsDigitProperty, BoxesStayWellFormedAndEnterCommitsWithinBounds) {
    std::mt19937 rng(GetParam());
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(rng); };
    const double wild[] = {std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::infinity(),
                           1e300,
                           -0.0,
                           2.5,
                           -2.5,
                           4503599627370497.0,
                           1e-300};
    const std::string keys = "^v<>x~b!+-.a0123456789012345678901234567890123456789";

    for (int field = 0; field < 8; ++field) {
        const bool isSigned = field % 2 == 1;
        const int n = pick(isSigned ? 2 : 1, 9), places = isSigned ? n - 1 : n;
        FakeField f(std::to_string(n) + (isSigned ? "s" : ""));
        f.digit.value(0);  // the owner's first write
        const int top = static_cast<int>(std::pow(10.0, places)) - 1;
        const auto showable = [&] { return double(pick(isSigned ? -top : 0, top)); };
        for (int step = 0; step < 3000; ++step) {
            const char key = keys[std::size_t(pick(0, int(keys.size()) - 1))];
            bool enter = false;
            switch (pick(0, 9)) {
                case 0:
                    f.play("@" + std::to_string(pick(0, n - 1)));
                    break;
                case 1:
                    f.digit.ForceFocus(std::int16_t(pick(-2, n + 1)), pick(0, 1));
                    break;
                case 2:
                    f.digit.value(pick(0, 1) ? wild[pick(0, 7)]
                                             : std::ldexp(pick(-999, 999), pick(-4, 40)));
                    break;
                case 3:
                    f.digit.Min(showable()), f.digit.Max(showable()), f.digit.Cur(showable());
                    break;
                case 4: {  // hostile codes and indices straight at the field
                    auto index = std::int16_t(pick(-2, n + 1)),
                         code = std::int16_t(pick(-32768, 32767));
                    f.digit.KeyDown(index, code, 0), f.digit.KeyPress(index, code),
                        f.digit.ProcessKey(code);
                    break;
                }
                default:
                    f.canFocus = pick(0, 30) != 0;
                    enter = f.play(std::string(1, key)) > 0 && key == '!';
            }
            for (int i = 0; i < n; ++i) {
                const std::string& t = f.boxes[std::size_t(i)].content;
                const bool ok =
                    isDigit(t) || (isSigned && i == 0 ? t == "+" || t == "-" : t == " ");
                ASSERT_TRUE(ok) << "seed " << GetParam() << " step " << step << " box " << i << " '"
                                << t << "'";
            }
            ASSERT_TRUE(std::isfinite(f.digit.value()));
            ASSERT_LE(f.digit.entryBuffer().size(), std::size_t(n + 1));
            const double v = f.digit.value(), lo = f.digit.minValue(), hi = f.digit.maxValue();
            ASSERT_TRUE(!enter || lo > hi || (lo <= v && v <= hi))
                << "seed " << GetParam() << " step " << step;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, clsDigitProperty, ::testing::Values(1u, 7u, 42u, 2024u, 31337u));

}  // namespace
}  // namespace zelmor::digit::test
