// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QImage>
#include <QTest>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FakeDigitRow.h"
#include "zelmor/digit/QtDigitBoxes.h"
#include "zelmor/digit/clsDigit.h"

namespace zelmor::digit {
namespace {

// Boxes wired to their field the way the main window wires a row, on a shown, active window.
struct QtRow {
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
        digit.Max(9999999), digit.Cur(value), digit.value(value);
        panel.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&panel));
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {  // to the focus
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    // The boxes' text; the focused box in brackets, where it must also be the one selected.
    std::string state() const {
        std::string s;
        for (QtDigitBox* b : boxes) {
            const std::string t = b->text();
            const bool focus = b->hasFocus(), selected = b->hasSelectedText();
            s += focus && selected ? "[" + t + "]" : focus || selected ? "?" : t;
        }
        return s;
    }

    QWidget panel;
    std::vector<QtDigitBox*> boxes;
    QtFocusHolder* holder = new QtFocusHolder(&panel);
    std::optional<QtDigitRow> row;
    clsDigit digit;
    int commits = 0, keyPresses = 0;
};

class QtDigitBoxes : public ::testing::Test, public QtRow {
protected:
    QtDigitBoxes() : QtRow(7, 1500) {}
    void SetUp() override { ASSERT_TRUE(boxes[3]->setFocus()); }
};

TEST_F(QtDigitBoxes, KeysMoveTheHighlightStepAndCommit) {
    // clang-format off
    const struct { Qt::Key key; Qt::KeyboardModifiers mods; const char* state; } steps[] = {
        {Qt::Key_7, {}, "   7[5]00"}, {Qt::Key_8, Qt::KeypadModifier, "   78[0]0"},
        {Qt::Key_Right, {}, "   780[0]"}, {Qt::Key_4, Qt::ControlModifier, "   780[4]"},
        {Qt::Key_2, Qt::KeypadModifier, "   780[2]"}, {Qt::Key_Tab, {}, "[ ]  7802"},
        {Qt::Key_Left, {}, "   780[2]"}, {Qt::Key_Left, {}, "   78[0]2"},
        {Qt::Key_Left, {}, "   7[8]02"}, {Qt::Key_Delete, {}, "   7[0]02"},
        {Qt::Key_Up, {}, "   7[1]02"}, {Qt::Key_Return, {}, "   7102"}};
    // clang-format on
    for (const auto& s : steps) {
        key(s.key, s.mods);
        EXPECT_EQ(state(), s.state) << s.key;
    }
    EXPECT_EQ(digit.curValue(), 7102);
    ASSERT_TRUE(boxes[5]->setFocus());
    key(Qt::Key_Down), key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(digit.curValue(), 7092);
    EXPECT_EQ(QApplication::focusWidget(), holder);
    EXPECT_LT(holder->geometry().bottom(), 0);  // out of sight
    EXPECT_EQ(commits, 5);                      // Delete, two steps, two Enters
}

// The in-memory row of the model's tests and the Qt row keep one contract: what a text write
// does to the highlight, what a focus move does, where a typed digit lands. Both rows are wired
// to a field as the window wires them. Keys: @n box n gains the focus, =n the owner writes n,
// wn box 1 is written n directly, a digit is typed into the focused box.
class Rig {
public:
    virtual ~Rig() = default;
    virtual clsDigit& field() = 0;
    virtual DigitBox& box(int i) = 0;
    virtual void type(char digit) = 0;
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
    std::string shown() {  // the highlighted box in brackets, the focused one marked *
        std::string out;
        for (int i = 0; i < 3; ++i) {
            const std::string t = box(i).text();
            out += (highlighted(i) ? "[" + t + "]" : t) + (focused() == i ? "*" : "");
        }
        return out;
    }
};

class FakeRig final : public Rig {
public:
    FakeRig() { row_.digit.Max(999), row_.digit.value(123); }
    clsDigit& field() override { return row_.digit; }
    DigitBox& box(int i) override { return row_.box(i); }
    void type(char digit) override { row_.play(std::string(1, digit)); }
    bool highlighted(int i) override { return row_.boxes[std::size_t(i)].sel > 0; }
    int focused() override { return row_.focused; }

private:
    fake::Field row_{3};
};

class QtRig final : public Rig {
public:
    clsDigit& field() override { return row_.digit; }
    DigitBox& box(int i) override { return *row_.boxes[std::size_t(i)]; }
    void type(char digit) override { QtRow::key(static_cast<Qt::Key>(digit)); }
    bool highlighted(int i) override { return row_.boxes[std::size_t(i)]->hasSelectedText(); }
    int focused() override {
        for (int i = 0; i < 3; ++i)
            if (row_.boxes[std::size_t(i)]->hasFocus()) return i;
        return -1;
    }

private:
    QtRow row_{3, 123};
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
        {"@1=4567", "47[6]*"},        // a digit typed after a rewrite lands, and moves on
        {"@2=4568", "45[8]*"},        // the last box keeps the focus and the highlight
        {"@17=999", "99[9]*"},
    };
    // clang-format on
    for (const auto& [keys, want] : cases) {
        FakeRig inMemory;
        inMemory.play(keys);
        EXPECT_EQ(inMemory.shown(), want) << "in memory: " << keys;
        QtRig qt;
        qt.play(keys);
        EXPECT_EQ(qt.shown(), want) << "Qt: " << keys;
    }
}

TEST_F(QtDigitBoxes, ConsumedAndEditingKeysLeaveTheBoxAlone) {
    QApplication::clipboard()->setText("7");  // a digit would pass the box's validator
    int previewed = 0;
    for (auto* b : boxes) b->charPreview = [&](std::int16_t& ascii) { previewed += ascii; };
    key(Qt::Key_Escape);  // consumed at key-down: only the window's preview sees it
    EXPECT_EQ(keyPresses, 0);
    EXPECT_EQ(previewed, 27);
    ASSERT_TRUE(boxes[4]->setFocus());
    // clang-format off
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Plus, {}}, {Qt::Key_Period, {}}, {Qt::Key_A, {}}, {Qt::Key_Backspace, {}},
        {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ShiftModifier},
        {Qt::Key_X, Qt::ControlModifier}};
    // clang-format on
    for (const auto& [k, m] : keys) {
        key(k, m);
        EXPECT_EQ(state(), "   1[5]00") << k;
    }
    QTest::mouseClick(boxes[5], Qt::LeftButton, {}, QPoint(2, 2));  // focuses, places no caret
    EXPECT_EQ(state(), "   15[0]0");
    EXPECT_EQ(commits, 0);
}

// Rendered with the focus and no text, a plain line edit shows its caret; a box nothing.
TEST_F(QtDigitBoxes, NoCaretIsEverDrawn) {
    QApplication::setCursorFlashTime(0);  // no blinking: a caret is drawn at every paint
    QLineEdit plain;
    plain.setPalette(boxes[0]->palette());
    plain.setAlignment(Qt::AlignCenter);
    panel.layout()->addWidget(&plain);
    plain.show();
    for (QLineEdit* w : {&plain, static_cast<QLineEdit*>(boxes[2])}) {
        w->setText("");
        w->setFocus();
        ASSERT_TRUE(w->hasFocus());
        const QImage image = w->grab().toImage();
        int lit = 0;
        for (int y = 4; y < image.height() - 4; ++y)
            for (int x = 4; x < image.width() - 4; ++x) lit += image.pixelColor(x, y).red() > 128;
        EXPECT_EQ(lit > 0, w == &plain);
    }
}

}  // namespace
}  // namespace zelmor::digit
