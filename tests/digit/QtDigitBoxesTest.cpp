// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QShortcut>
#include <QTest>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

#include "FakeDigitRow.h"
#include "zelmor/digit/QtDigitBoxes.h"

namespace zelmor::digit {
namespace {

// Boxes wired to their field the way the main window wires a row, on a shown, active window.
struct QtRow {
    explicit QtRow(std::int16_t count = 7, double value = 1500) {
        auto* layout = new QHBoxLayout(&panel);
        for (std::int16_t i = 0; i < count; ++i) {
            QtDigitBox* box = boxes.emplace_back(new QtDigitBox(i, &panel));
            box->setForeground(Rgb{255, 0, 0}), layout->addWidget(box);
            box->onFocusGained = [this, i] { digit.ForceFocus(i, true); };
            box->onKeyDown = [this, i](std::int16_t& c) { commits += digit.KeyDown(at = i, c, 0); };
            box->onKeyPress = [this, i](std::int16_t& c) { commits += digit.KeyPress(at = i, c); };
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
    DigitBox& box(int i) { return *boxes[std::size_t(i)]; }
    void type(char c) {  // ^ v Up and Down, ! Enter, ~ Escape, or a digit
        const Qt::Key named[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Return, Qt::Key_Escape};
        const std::size_t k = std::string_view("^v!~").find(c);
        key(k < 4 ? named[k] : Qt::Key(c));
    }
    std::string shown(bool = true) {  // the highlighted box in brackets, the focused one marked *
        std::string out;
        for (QtDigitBox* b : boxes) {
            const std::string t = static_cast<DigitBox*>(b)->text();
            out += (b->hasSelectedText() ? "[" + t + "]" : t) + (b->hasFocus() ? "*" : "");
        }
        return out;
    }

    QWidget panel;
    std::vector<QtDigitBox*> boxes;
    QtFocusHolder* holder = new QtFocusHolder(&panel);
    std::optional<QtDigitRow> row;
    clsDigit digit;
    int commits = 0;
    std::int16_t at = 0;  // the index a key handler may move
};

// The in-memory row of the model's tests and the Qt row keep one contract: what a text write
// does to the highlight, what a focus move or a key does, where a typed digit lands. Keys: @n box
// n gains the focus, =n the owner writes n, wn box 1 is written n directly, ^ v Up and Down,
// ! Enter, ~ Escape, a digit typed.
template <class Row>
std::string play(Row& row, std::string_view keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const char c = keys[i], arg = i + 1 < keys.size() ? keys[i + 1] : '0';
        if (c == '@') row.box(arg - '0').setFocus(), ++i;
        if (c == '=') row.digit.value(std::stod(std::string(keys.substr(i + 1, 3)))), i += 3;
        if (c == 'w') row.box(1).setText(std::string(1, arg)), ++i;
        if (std::string_view("@=w").find(c) == std::string_view::npos) row.type(c);
    }
    return row.shown(true);
}

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
        fake::Field inMemory(3);
        inMemory.digit.Max(999), inMemory.digit.Cur(123), inMemory.digit.value(123);
        EXPECT_EQ(play(inMemory, keys), want) << "in memory: " << keys;
        QtRow qt(3, 123);
        EXPECT_EQ(play(qt, keys), want) << "Qt: " << keys;
    }
}

struct QtDigitBoxes : ::testing::Test, QtRow {};

// Keys the journeys do not press: the keypad's, and edits a box must refuse.
TEST_F(QtDigitBoxes, KeypadAndRefusedEdits) {
    QApplication::clipboard()->setText("7");  // a digit would pass the box's validator
    int previewed = 0;
    for (auto* b : boxes) b->charPreview = [&](std::int16_t& ascii) { previewed += ascii; };
    ASSERT_TRUE(boxes[3]->setFocus());
    key(Qt::Key_Escape);  // consumed at key-down: only the window's preview sees it
    EXPECT_EQ(std::pair(commits, previewed), std::pair(0, 27));
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
        EXPECT_EQ(shown(), "   [1]*500") << k;
    }
    QTest::mouseClick(boxes[5], Qt::LeftButton, {}, QPoint(2, 2));  // focuses, places no caret
    EXPECT_EQ(shown(), "   15[0]*0");
    const QPalette inverted = boxes[5]->palette();  // the selected digit in the box's colours swapped
    EXPECT_EQ(inverted.color(QPalette::HighlightedText), inverted.color(QPalette::Base));
    EXPECT_EQ(inverted.color(QPalette::Highlight), inverted.color(QPalette::Text));
    key(Qt::Key_8, Qt::KeypadModifier);
    EXPECT_EQ(shown(), "   158[0]*");
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(shown(), "   1580");
    EXPECT_EQ(digit.curValue(), 1580);
    EXPECT_EQ(QApplication::focusWidget(), holder);
    EXPECT_EQ(commits, 1);
}

// The field's own keys belong to the box even where a shortcut would take them; others do not.
TEST_F(QtDigitBoxes, FieldKeysAreNoShortcutsOtherKeysStillAre) {
    int taken = 0;
    for (const QKeySequence& k : {QKeySequence(Qt::Key_Up), QKeySequence(Qt::Key_5),
                                  QKeySequence(Qt::ALT | Qt::Key_S), QKeySequence(Qt::Key_F2)})
        QObject::connect(new QShortcut(k, &panel), &QShortcut::activated, [&] { ++taken; });
    ASSERT_TRUE(boxes[5]->setFocus());
    key(Qt::Key_Up), key(Qt::Key_5);
    EXPECT_EQ(std::tuple(taken, shown(), commits), std::tuple(0, std::string("   155[0]*"), 1));
    key(Qt::Key_S, Qt::AltModifier), key(Qt::Key_F2);
    EXPECT_EQ(taken, 2);
}

}  // namespace
}  // namespace zelmor::digit
