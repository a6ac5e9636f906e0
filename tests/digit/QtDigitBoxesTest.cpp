// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FakeDigitRow.h"
#include "zelmor/digit/QtDigitBoxes.h"
#include "zelmor/digit/clsDigit.h"

namespace zelmor::digit {
namespace {

// The in-memory row of the model's tests and the Qt row keep one contract: what a text write
// does to the highlight, what a focus move or a key does, where a typed digit lands. Both rows
// are wired to a field as the window wires them. Keys: @n box n gains the focus, =n the owner
// writes n, wn box 1 is written n directly, ^ v Up and Down, ! Enter, ~ Escape, a digit typed.
class Rig {
public:
    virtual ~Rig() = default;
    virtual clsDigit& field() = 0;
    virtual DigitBox& box(int i) = 0;
    virtual void type(char key) = 0;
    virtual bool highlighted(int i) = 0;
    virtual int focused() = 0;
    void play(std::string_view keys) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const char c = keys[i], arg = i + 1 < keys.size() ? keys[i + 1] : '0';
            if (c == '@')
                box(arg - '0').setFocus(), ++i;
            else if (c == '=')
                field().value(std::stod(std::string(keys.substr(i + 1, 3)))), i += 3;
            else if (c == 'w')
                box(1).setText(std::string(1, arg)), ++i;
            else
                type(c);
        }
    }
    std::string shown(int n = 3) {  // the highlighted box in brackets, the focused one marked *
        std::string out;
        for (int i = 0; i < n; ++i) {
            const std::string t = box(i).text();
            out += (highlighted(i) ? "[" + t + "]" : t) + (focused() == i ? "*" : "");
        }
        return out;
    }
};

class FakeRig final : public Rig {
public:
    FakeRig() { row_.digit.Max(999), row_.digit.Cur(123), row_.digit.value(123); }
    clsDigit& field() override { return row_.digit; }
    DigitBox& box(int i) override { return row_.box(i); }
    void type(char key) override { row_.play(std::string(1, key)); }
    bool highlighted(int i) override { return row_.boxes[std::size_t(i)].sel > 0; }
    int focused() override { return row_.focused; }

private:
    fake::Field row_{3};
};

// Boxes wired to their field the way the main window wires a row, on a shown, active window.
class QtRow : public Rig {
public:
    QtRow(std::int16_t count, double value) {
        auto* layout = new QHBoxLayout(&panel);
        for (std::int16_t i = 0; i < count; ++i) {
            QtDigitBox* box = boxes.emplace_back(new QtDigitBox(i, &panel));
            box->setForeground(Rgb{255, 0, 0}), layout->addWidget(box);
            box->onFocusGained = [this, i] { digit.ForceFocus(i, true); };
            box->onKeyDown = [this, i](std::int16_t& code) {
                std::int16_t index = i;
                commits += digit.KeyDown(index, code, 0);
            };
            box->onKeyPress = [this, i](std::int16_t& ascii) {
                std::int16_t index = i;
                ++keyPresses, commits += digit.KeyPress(index, ascii);
            };
        }
        digit.Initialize(*holder, row.emplace(boxes), false);
        digit.Max(std::pow(10, count) - 1), digit.Cur(value), digit.value(value);
        panel.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&panel));
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {  // to the focus
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    clsDigit& field() override { return digit; }
    DigitBox& box(int i) override { return *boxes[std::size_t(i)]; }
    void type(char c) override {
        key(c == '^'   ? Qt::Key_Up
            : c == 'v' ? Qt::Key_Down
            : c == '!' ? Qt::Key_Return
            : c == '~' ? Qt::Key_Escape
                       : static_cast<Qt::Key>(c));
    }
    bool highlighted(int i) override { return boxes[std::size_t(i)]->hasSelectedText(); }
    int focused() override {
        for (std::size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i]->hasFocus()) return int(i);
        return -1;
    }

    QWidget panel;
    std::vector<QtDigitBox*> boxes;
    QtFocusHolder* holder = new QtFocusHolder(&panel);
    std::optional<QtDigitRow> row;
    clsDigit digit;
    int commits = 0, keyPresses = 0;
};

TEST(DigitBoxContract, InMemoryAndQtRowsAgree) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"@1", "1[2]*3"},
        {"@1=456", "4[5]*6"},         // a rewrite keeps the highlight (a slider's echo, a tick)
        {"@1=456w9", "4[9]*6"},
        {"@1=456=456", "4[5]*6"},
        {"@1@2", "12[3]*"},           // the box left behind loses its highlight
        {"@0@2@1", "1[2]*3"},
        {"@1=4560", "40[6]*"},        // a digit typed after a rewrite lands, and moves on
        {"@2=4568", "45[8]*"},        // the last box keeps the focus and the highlight
        {"@17=999", "99[9]*"},
        {"@1^", "1[3]*3"}, {"@1v!", "113"}, {"@1^^~", "123"},
    };
    // clang-format on
    for (const auto& [keys, want] : cases) {
        FakeRig inMemory;
        inMemory.play(keys);
        EXPECT_EQ(inMemory.shown(), want) << "in memory: " << keys;
        QtRow qt(3, 123);
        qt.play(keys);
        EXPECT_EQ(qt.shown(), want) << "Qt: " << keys;
    }
}

class QtDigitBoxes : public ::testing::Test, public QtRow {
protected:
    QtDigitBoxes() : QtRow(7, 1500) {}
    void SetUp() override { ASSERT_TRUE(boxes[3]->setFocus()); }
};

// Keys the journeys do not press: the keypad's, and edits a box must refuse.
TEST_F(QtDigitBoxes, KeypadAndRefusedEdits) {
    QApplication::clipboard()->setText("7");  // a digit would pass the box's validator
    int previewed = 0;
    for (auto* b : boxes) b->charPreview = [&](std::int16_t& ascii) { previewed += ascii; };
    key(Qt::Key_Escape);  // consumed at key-down: only the window's preview sees it
    EXPECT_EQ(keyPresses, 0);
    EXPECT_EQ(previewed, 27);
    ASSERT_TRUE(boxes[3]->setFocus());
    for (const auto& [k, m] : std::initializer_list<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
             {Qt::Key_Plus, {}},
             {Qt::Key_Period, {}},
             {Qt::Key_A, {}},
             {Qt::Key_Backspace, {}},
             {Qt::Key_V, Qt::ControlModifier},
             {Qt::Key_Insert, Qt::ShiftModifier},
             {Qt::Key_X, Qt::ControlModifier}}) {
        key(k, m);
        EXPECT_EQ(shown(7), "   [1]*500") << k;
    }
    QTest::mouseClick(boxes[5], Qt::LeftButton, {}, QPoint(2, 2));  // focuses, places no caret
    EXPECT_EQ(shown(7), "   15[0]*0");
    key(Qt::Key_8, Qt::KeypadModifier);
    EXPECT_EQ(shown(7), "   158[0]*");
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(shown(7), "   1580");
    EXPECT_EQ(digit.curValue(), 1580);
    EXPECT_EQ(QApplication::focusWidget(), holder);
    EXPECT_LT(holder->geometry().bottom(), 0);  // out of sight
    EXPECT_EQ(commits, 1);
}

}  // namespace
}  // namespace zelmor::digit
