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

#include "zelmor/digit/QtDigitBoxes.h"
#include "zelmor/digit/clsDigit.h"

namespace zelmor::digit {
namespace {

// Seven boxes wired to their field the way the main window wires the frequency row.
class QtDigitBoxes : public ::testing::Test {
protected:
    QtDigitBoxes() {
        auto* layout = new QHBoxLayout(&panel);
        for (std::int16_t i = 0; i < 7; ++i) {
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
        digit.Max(9999999), digit.Cur(1500), digit.value(1500);
    }
    void SetUp() override {
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        ASSERT_TRUE(boxes[3]->setFocus());
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {  // to the focused widget
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

TEST_F(QtDigitBoxes, KeysMoveTheHighlightStepAndCommit) {
    // clang-format off
    const struct { Qt::Key key; Qt::KeyboardModifiers mods; const char* state; } steps[] = {
        {Qt::Key_7, {}, "   7[5]00"}, {Qt::Key_8, Qt::KeypadModifier, "   78[0]0"},
        {Qt::Key_Right, {}, "   780[0]"}, {Qt::Key_4, {}, "   780[4]"},
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
