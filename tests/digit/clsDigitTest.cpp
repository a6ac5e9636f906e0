// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "FakeDigitRow.h"

namespace zelmor::digit {
namespace {

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
        fake::Field f(n, isSigned);
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
                if (action == 2) f.moveFocus(pick(0, n - 1));
                const char key = keys[std::size_t(pick(0, int(keys.size()) - 1))];
                const int trues = f.trues;
                f.type(key);
                const bool enter = key == '!' && f.trues > trues;
                const double v = f.digit.value(), lo = f.digit.minValue(), hi = f.digit.maxValue();
                ASSERT_TRUE(!enter || lo > hi || (lo <= v && v <= hi)) << v;
            }
            std::string seen;  // one character a box
            for (const fake::Box& b : f.boxes) seen += b.s.size() == 1 ? b.s : "?";
            ASSERT_EQ(seen.find_first_not_of(" 0123456789", isSigned), seen.npos) << seen;
            ASSERT_TRUE(!isSigned || seen.find_first_of("+-0123456789") == 0) << seen;
            ASSERT_TRUE(std::isfinite(f.digit.value()) &&
                        f.digit.entryBuffer().size() <= std::size_t(n + 1));
        }
    }
}

}  // namespace
}  // namespace zelmor::digit
