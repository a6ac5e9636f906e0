// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>

#include "FakeDigitRow.h"

namespace zelmor::digit {
namespace {

using fake::Box;
using fake::Field;
using fake::kHolder;

TEST(clsDigit, KeySequences) {
    // clang-format off
    const struct { const char* shape; double min, max, start; const char *keys, *shown;
                   int focus, trues; double cur; } cases[] = {  // shape: box count, s if signed
        // The owner's values, right-aligned, halves to even; no digits leave the boxes as they are.
        {"7", 0, 1e7, 1500, "", "   1500", -1, 0, 1}, {"7", 0, 1e7, -5, "", "     05", -1, 0, 1},
        {"7", 0, 1e7, 2.5, "", "    002", -1, 0, 1}, {"5s", -1e4, 0, -1270, "", "-1270", -1, 0, 1},
        {"5s", 0, 1e4, 25, "", "+0025", -1, 0, 1}, {"5s", -1e4, 1e4, 0, "", "+0000", -1, 0, 1},
        {"7", 0, 1e7, 1500, "@3^", "   [2]500", 3, 1, 1},
        {"7", 0, 1e7, 1500, "@3v", "   [1]500", 3, 1, 1},     // a leading 1 is refused
        {"7", 0, 1e7, 9001500, "@0^", "[9]001500", 0, 1, 1},  // so is a leading 9
        {"7", 500, 100, 300, "@6^v", "    50[0]", 6, 2, 1},   // Min wins over Max
        {"5s", -1270, 130, 1, "@1v", "-[0]999", 1, 1, 1},
        {"7", 0, 1e7, 1500, "@0<>>", " [ ] 1500", 1, 0, 1},
        {"5s", -1270, 130, 25, "@4><", "+[0]025", 1, 0, 1},  // the sign box is skipped
        {"4", 0, 1e7, 15, "@3#<", "  [1][5]", 3, 0, 1},  // moved although the focus could not
        {"5s", -1270, 130, -50, "@0x", "[0]0050", 0, 1, 1},    // a "0" sign reads positive
        {"5s", -1270, 130, -1270, "@0x", "[+]0130", 0, 1, 1},  // but never beyond Max
        {"7", 0, 1e7, 1500, "@2~", "      1", kHolder, 0, 1},
        {"7", 0, 1e7, 1500, "@3!@3^^~", "   1500", kHolder, 3, 1500},
        {"7", 0, 1e7, 0, "@6!@6^~", "      1", kHolder, 2, 0},  // 0 is never restored
        {"3s", -99, 99, -25, "@0719!", "+19", kHolder, 1, 19},    // a typed sign box reads +
        {"7", 0, 1e7, 1500, "@5+-.ba", "   15[0]0", 5, 0, 1},
        {"4", 0, 999, 1200, "@1!", " 999", kHolder, 1, 999},
        {"4", 20, 999, 15, "@1!", "  20", kHolder, 1, 20},
        {"4", 500, 100, 200, "@1!", " 100", kHolder, 1, 100},
        {"7", 0, 99e5, 1500, "123456789b", "1234567", kHolder, 0, 1},  // 9th dropped
        {"7", 0, 99e5, 1500, "12345678!", "9900000", kHolder, 1, 12345678},
        {"7", 0, 99e5, 1500, "12!3!", "      3", kHolder, 2, 3},  // Enter empties the entry
        {"7", 100, 99e5, 1500, "5!", "    100", kHolder, 1, 5},
        {"7", 0, 99e5, 1500, "5~", "      1", kHolder, 0, 1},
        {"7", 0, 99e5, 1500, "700=!", "    700", kHolder, 1, 700},  // the owner wrote
        {"7", 0, 99e5, 1500, "12@3^~5", "      5", kHolder, 1, 1},  // a box key ends entry
    };
    // clang-format on
    for (const auto& c : cases) {
        Field f(c.shape[0] - '0', c.shape[1] == 's');
        f.digit.Min(c.min), f.digit.Max(c.max), f.digit.value(c.start);
        const int trues = f.play(c.keys);  // then what shows, the focus, the confirmed value
        EXPECT_EQ(std::tuple(trues, f.shown(), f.focused, f.digit.HasFocus(), f.digit.curValue()),
                  std::tuple(c.trues, c.shown, c.focus, c.focus >= 0, c.cur))
            << c.keys;
    }
}

// Random keys, focus changes, hostile codes and owner writes on fields of many shapes: every
// box keeps one legal character, and Enter commits within any bounds the field can show.
TEST(clsDigit, RandomUseKeepsTheBoxesWellFormedAndEnterWithinBounds) {
    std::mt19937 rng(2024);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(rng); };
    const double wild[] = {NAN, -INFINITY, 1e300, -0.0, 2.5, 4503599627370497.0, 12345678.5, -1e-9};
    const std::string keys = "^v<>x~b!+-.a01234567890123456789";
    for (int round = 0; round < 40; ++round) {
        const bool isSigned = round % 2 == 1;
        const int n = pick(1, 9), top = int(std::pow(10, isSigned ? n - 1 : n)) - 1;
        const auto showable = [&] { return double(pick(isSigned ? -top : 0, top)); };
        Field f(n, isSigned);
        f.digit.value(0);
        for (int step = 0; step < 3000; ++step) {
            const int action = pick(0, 9);
            auto index = std::int16_t(pick(-2, n + 1)), code = std::int16_t(pick(-32768, 32767));
            if (action == 0) {  // the owner writes, and moves the bounds
                f.digit.value(pick(0, 1) ? wild[pick(0, 7)] : showable());
                f.digit.Min(showable()), f.digit.Max(showable()), f.digit.Cur(showable());
            } else if (action == 1) {  // hostile codes and indices straight at the field
                f.digit.ForceFocus(index, pick(0, 1)), f.digit.KeyDown(index, code, 0);
                f.digit.KeyPress(index, code), f.digit.ProcessKey(code);
            } else {
                f.canFocus = pick(0, 30) != 0;
                const char key = keys[std::size_t(pick(0, int(keys.size()) - 1))];
                const std::string focus = action == 2 ? "@" + std::to_string(pick(0, n - 1)) : "";
                const bool enter = f.play(focus + key) > 0 && key == '!';
                const double v = f.digit.value(), lo = f.digit.minValue(), hi = f.digit.maxValue();
                ASSERT_TRUE(!enter || lo > hi || (lo <= v && v <= hi)) << v;
            }
            std::string seen;  // one character a box
            for (const Box& b : f.boxes) seen += b.s.size() == 1 ? b.s : "?";
            ASSERT_EQ(seen.find_first_not_of(" 0123456789", isSigned), seen.npos) << seen;
            ASSERT_TRUE(!isSigned || seen.find_first_of("+-0123456789") == 0) << seen;
            ASSERT_TRUE(std::isfinite(f.digit.value()) &&
                        f.digit.entryBuffer().size() <= std::size_t(n + 1));
        }
    }
}

}  // namespace
}  // namespace zelmor::digit
