// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "FakeField.h"

namespace zelmor::digit::test {
namespace {

TEST(clsDigitValue, InitializePreparesControlsAndDefaults) {
    FakeField f("7");
    EXPECT_TRUE(f.digit.curValue() == 1 && f.digit.minValue() == 0 && f.digit.maxValue() == 10);
    EXPECT_FALSE(f.digit.HasFocus());
    EXPECT_TRUE(f.holder.top == -450 && f.holder.visible && f.holder.tabIndex == 0);
    EXPECT_TRUE(!f.holder.tabStop && f.holder.maxLength == 0);
    for (const FakeBox& b : f.boxes)
        EXPECT_TRUE(b.maxLength == 1 && b.background.r + b.background.g + b.background.b == 0);
    f.digit.value(1500);
    f.digit.Min(3), f.digit.Max(2), f.digit.Cur(7);
    EXPECT_EQ(f.shown(), "   1500");
}

TEST(clsDigitValue, SpreadsRightAlignedAndReadsBack) {
    const struct {
        const char* shape;
        double value;
        const char* shown;
        double read;
    } cases[] = {{"7", 1500, "   1500", 1500},
                 {"7", 0, "      0", 0},
                 {"7", 12345678, "2345678", 2345678},
                 {"5s", -1270, "-1270", -1270},
                 {"5s", 25, "+0025", 25},
                 {"5s", 0, "+0000", 0},
                 {"7", -5, "     05", 5},
                 {"7", 2.5, "    002", 2},
                 {"7", 3.5, "    004", 4},
                 {"7", 0.5, "    000", 0},
                 {"1s", -3, "-", 0},
                 {"3", std::numeric_limits<double>::infinity(), "   ", 0}};
    for (const auto& c : cases) {
        FakeField f(c.shape);
        f.digit.value(c.value);
        EXPECT_EQ(f.shown(), c.shown) << c.value;
        EXPECT_EQ(f.digit.value(), c.read) << c.value;
    }
    for (const char* signedBoxes : {"+015", "7015", " 015", "x015"}) {
        FakeField f("4s");
        for (int i = 0; i < 4; ++i) f.boxes[i].content = signedBoxes[i];
        EXPECT_EQ(f.digit.value(), 15) << signedBoxes;  // only "-" makes it negative
    }
    FakeField f("4");
    for (int i = 0; i < 4; ++i) f.boxes[i].content = "  15"[i];
    EXPECT_EQ(f.digit.value(), 15);
}

// Keys played as the window delivers them; focus -2 is the hidden control.
TEST(clsDigitKeys, Scenarios) {
    const struct {
        const char* shape;
        double min, max, start;
        const char* keys;
        const char* shown;
        int focus, trues;
        double cur;
    } cases[] = {
        {"7", 0, 1e7, 1500, "@3^", "   2500", 3, 1, 1},
        {"7", 0, 1e7, 1500, "@3v", "   1500", 3, 1, 1},  // a leading 1 never becomes a blank
        {"7", 0, 1e7, 1500, "@6v", "   1499", 6, 1, 1},
        {"7", 0, 1e7, 9001500, "@0^", "9001500", 0, 1, 1},
        {"7", 0, 1e7, 1, "@6v", "      1", 6, 1, 1},
        {"7", 0, 1e7, 1500, "@1v", " 098500", 1, 1, 1},  // -98500 unsigned: its "-" a "0"
        {"7", 0, 2000, 1500, "@3^", "   2000", 3, 1, 1},
        {"7", 2000, 1e7, 2500, "@3v", "   2000", 3, 1, 1},
        {"7", 500, 100, 300, "@6^v", "    500", 6, 2, 1},
        {"5s", -1270, 130, 0, "@4v", "-0001", 4, 1, 1},
        {"5s", -1270, 130, 1, "@1v", "-0999", 1, 1, 1},
        {"5s", -1270, 130, -1265, "@3v", "-1270", 3, 1, 1},
        {"5s", -1270, 130, 125, "@3^", "+0130", 3, 1, 1},
        {"7", 0, 1e7, 1500, "@0<", "   1500", 6, 0, 1},
        {"7", 0, 1e7, 1500, "@6>>", "   1500", 1, 0, 1},
        {"5s", -1270, 130, 25, "@1<", "+0025", 1, 0, 1},
        {"5s", -1270, 130, 25, "@4>", "+0025", 1, 0, 1},
        {"5s", -1270, 130, -50, "@0x", "00050", 0, 1, 1},    // a "0" sign reads as positive
        {"5s", -1270, 130, -1270, "@0x", "+0130", 0, 1, 1},  // but never beyond Max
        {"7", 0, 1e7, 1500, "@4x", "   1000", 4, 1, 1},
        {"7", 1000, 1e7, 1500, "@3x", "   1000", 3, 1, 1},
        {"7", 0, 1e7, 1500, "@2~", "      1", -2, 0, 1},
        {"7", 0, 1e7, 1500, "@3!@3^^~", "   1500", -2, 3, 1500},
        {"7", 0, 1e7, 0, "@6!@6^~", "      1", -2, 2, 0},  // a committed 0 is never restored
        {"3s", -99, 99, -25, "@0719", "719", 2, 0, 1},
        {"7", 0, 1e7, 1500, "@5+-.ba", "   1500", 5, 0, 1},
        {"4", 0, 999, 1200, "@1!", " 999", -2, 1, 999},
        {"4", 0, 9999, 15, "@000!", "  15", -2, 1, 15},
        {"4", 20, 999, 15, "@1!", "  20", -2, 1, 20},
        {"4", 500, 100, 200, "@1!", " 100", -2, 1, 100},
        {"4", 500, 100, 50, "@1!", " 500", -2, 1, 500},
        {"7", 0, 9900000, 1500, "123", "    123", -2, 0, 1},
        {"7", 0, 9900000, 1500, "123b", "     12", -2, 0, 1},
        {"7", 0, 9900000, 1500, "12345678", "2345678", -2, 0, 1},
        {"7", 0, 9900000, 1500, "123456789b", "1234567", -2, 0, 1},  // the ninth was dropped
        {"7", 0, 9900000, 1500, "12345678!", "9900000", -2, 1, 12345678},
        {"7", 0, 9900000, 1500, "5b", "      0", -2, 0, 1},
        {"7", 100, 9900000, 1500, "5!", "    100", -2, 1, 5},
        {"7", 0, 9900000, 1500, "5~", "      1", -2, 0, 1},
        {"7", 0, 9900000, 1500, "0!7~", "      7", -2, 1, 0},
        {"7", 0, 9900000, 1500, "700=!", "    700", -2, 1, 700},  // an owner write meanwhile
    };
    for (const auto& c : cases) {
        FakeField f(c.shape);
        f.digit.Min(c.min), f.digit.Max(c.max);
        f.digit.value(c.start);
        EXPECT_EQ(f.play(c.keys), c.trues) << c.keys;
        EXPECT_EQ(f.shown(), c.shown) << c.keys;
        EXPECT_EQ(f.focused, c.focus) << c.keys;
        EXPECT_EQ(f.digit.curValue(), c.cur) << c.keys;
        EXPECT_EQ(f.digit.HasFocus(), c.focus >= 0) << c.keys;
        EXPECT_TRUE(c.focus != FakeField::kHolder || f.selected() == -1) << c.keys;
    }
}

TEST(clsDigitKeys, UnhandledKeysStayUnconsumed) {
    FakeField f("7");
    for (const int code : {13, 65, 8, 0, -1}) {
        auto key = static_cast<std::int16_t>(code);
        std::int16_t index = 3;
        EXPECT_FALSE(f.digit.KeyDown(index, key, 0));
        EXPECT_EQ(key, code);
        EXPECT_EQ(f.boxes[3].selLength, 1);
    }
    for (const int ascii : {8, 13, int{'a'}, int{'+'}, 0}) {  // direct entry with nothing pending
        auto key = static_cast<std::int16_t>(ascii);
        EXPECT_FALSE(f.digit.ProcessKey(key));
        EXPECT_EQ(key, ascii);
    }
    std::int16_t index = 7, key = 38;  // names no box
    EXPECT_FALSE(f.digit.KeyDown(index, key, 0) || f.digit.KeyPress(index, key));
    EXPECT_EQ(key, 38);
}

TEST(clsDigitFocus, SelectionWithoutMovingOrWithFailingFocus) {
    FakeField f("4");
    f.digit.ForceFocus(1, true);
    f.digit.ForceFocus(2, true);
    EXPECT_EQ(f.selected(), -3);  // ForceFocus never deselects another box
    f.digit.Unselect(false);
    EXPECT_EQ(f.selected(), 3);
    EXPECT_TRUE(f.digit.HasFocus() && f.digit.Processed() && f.focused == -1);
    f.canFocus = false;
    std::int16_t index = 3, key = 37;
    EXPECT_FALSE(f.digit.KeyDown(index, key, 0));
    EXPECT_TRUE(index == 2 && f.boxes[2].selLength == 1 && f.focused == -1);  // moved all the same
    f.digit.Unselect(true);
    EXPECT_EQ(f.selected(), -1);
    EXPECT_FALSE(f.digit.HasFocus() || f.digit.Processed());
}

}  // namespace
}  // namespace zelmor::digit::test
