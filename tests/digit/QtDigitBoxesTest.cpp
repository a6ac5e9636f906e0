// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QShortcut>
#include <QTest>
#include <cctype>
#include <iterator>
#include <optional>
#include <tuple>

#include "FakeDigitRow.h"
#include "zelmor/digit/QtDigitBoxes.h"

namespace zelmor::digit {
namespace {

// Boxes wired to their field the way the main window wires a row, on a shown, active window.
struct QtRow {
    explicit QtRow(int count, bool isSigned = false) {
        auto* layout = new QHBoxLayout(&panel);
        for (std::int16_t i = 0; i < count; ++i) {
            QtDigitBox* box = boxes.emplace_back(new QtDigitBox(i, &panel));
            box->setForeground(Rgb{255, 0, 0}), layout->addWidget(box);
            box->onFocusGained = [this, i] { digit.ForceFocus(i, true); };
            box->onKeyDown = [this, i](std::int16_t& c) { trues += digit.KeyDown(at = i, c, 0); };
            box->onKeyPress = [this, i](std::int16_t& c) { trues += digit.KeyPress(at = i, c); };
        }
        digit.Initialize(*holder, row.emplace(boxes), isSigned);
        panel.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&panel));
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {  // to the focus
        QTest::keyClick(QApplication::focusWidget(), k, m);  // the window if none has it
    }
    DigitBox& box(int i) { return *boxes[std::size_t(i)]; }
    void type(char c) {  // the in-memory row's keys
        const Qt::Key named[] = {Qt::Key_Up,    Qt::Key_Down,  Qt::Key_Left,   Qt::Key_Right,
                                 Qt::Key_Delete, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Period,
                                 Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Escape};
        const std::size_t k = std::string_view("^v<>x+-.b!~").find(c);
        key(k < std::size(named) ? named[k] : Qt::Key(std::toupper(c)));
    }
    std::string shown() {  // as the in-memory row shows it
        std::string out;
        for (QtDigitBox* b : boxes) {
            const std::string t = static_cast<DigitBox*>(b)->text();
            out += (b->hasSelectedText() ? "[" + t + "]" : t) + (b->hasFocus() ? "*" : "");
        }
        return out + (holder->hasFocus() ? "_" : "");
    }

    QWidget panel;
    std::vector<QtDigitBox*> boxes;
    QtFocusHolder* holder = new QtFocusHolder(&panel);
    std::optional<QtDigitRow> row;
    clsDigit digit;
    int trues = 0;
    std::int16_t at = 0;  // the index a key handler may move
};

// The in-memory row and the Qt row keep one contract: every row of keys plays on both (on the
// Qt row where it starts in a box): what shows (see fake::Field::shown), how many calls answered
// True, the confirmed value.
TEST(DigitBoxContract, KeySequences) {
    // clang-format off
    const struct { const char* shape; double min, max, start; const char *keys, *shown;
                   int trues; double cur; } cases[] = {  // shape: box count, s if signed
        // The owner's values, right-aligned, halves to even; no digits leave the boxes as they are.
        {"7", 0, 1e7, 2.5, "", "    002", 0, 1}, {"5s", -1e4, 1e4, 0, "", "+0000", 0, 1},
        {"5s", -1e4, 0, -1270, "", "-1270", 0, 1}, {"5s", 0, 1e4, 25, "", "+0025", 0, 1},
        {"3", 0, 999, 123, "@1=456", "4[5]*6", 0, 1},  // a rewrite keeps the highlight
        {"3", 0, 999, 123, "@0@2@1", "1[2]*3", 0, 1},  // the box left loses its highlight
        {"3", 0, 999, 123, "@1=4560", "40[6]*", 0, 1},  // a typed digit lands, and moves on
        {"3", 0, 999, 123, "@2=4568", "45[8]*", 0, 1},  // the last box keeps the focus
        {"7", 0, 1e7, 1500, "@3^", "   [2]*500", 1, 1},
        {"7", 0, 1e7, 1500, "@3v", "   [1]*500", 1, 1},  // a leading 1 is refused
        {"7", 0, 1e7, 9001500, "@0^", "[9]*001500", 1, 1},  // so is a leading 9
        {"7", 500, 100, 300, "@6^v", "    50[0]*", 2, 1},  // Min wins over Max
        {"5s", -1270, 130, 1, "@1v", "-[0]*999", 1, 1},
        {"7", 0, 1e7, 1500, "@0<>>", " [ ]* 1500", 0, 1},
        {"5s", -1270, 130, 25, "@4><", "+[0]*025", 0, 1},  // the sign box is skipped
        {"5s", -1270, 130, -50, "@0x", "[0]*0050", 1, 1},  // a "0" sign reads positive
        {"5s", -1270, 130, -1270, "@0x", "[+]*0130", 1, 1},  // but never beyond Max
        {"7", 0, 1e7, 1500, "@3!@3^^~", "   1500_", 3, 1500},
        {"7", 0, 1e7, 0, "@6!@6^~", "      1_", 2, 0},  // 0 is never restored
        {"3s", -99, 99, -25, "@0719!", "+19_", 1, 19},  // a typed sign box reads +
        {"7", 0, 1e7, 1500, "@5+-.ba", "   15[0]*0", 0, 1},
        {"4", 0, 999, 1200, "@1!", " 999_", 1, 999}, {"4", 20, 999, 15, "@1!", "  20_", 1, 20},
        {"7", 0, 99e5, 1500, "123456789b", "1234567_", 0, 1},  // 9th dropped
        {"7", 0, 99e5, 1500, "12345678!", "9900000_", 1, 12345678},
        {"7", 0, 99e5, 1500, "12!3!", "      3_", 2, 3},  // Enter empties the entry
        {"7", 100, 99e5, 1500, "5!", "    100_", 1, 5},
        {"7", 0, 99e5, 1500, "5~", "      1_", 0, 1},
        {"7", 0, 99e5, 1500, "700=999!", "    700_", 1, 700},  // the owner wrote
        {"7", 0, 99e5, 1500, "12@3^~5", "      5_", 1, 1},  // a box key ends entry
    };
    // clang-format on
    for (const auto& c : cases) {
        const auto check = [&c](auto& row, const char* where) {
            row.digit.Min(c.min), row.digit.Max(c.max), row.digit.value(c.start);
            const std::string shown = fake::play(row, c.keys);
            EXPECT_EQ(std::tuple(shown, row.trues, row.digit.curValue()),
                      std::tuple(std::string(c.shown), c.trues, c.cur))
                << where << c.keys;
        };
        const int n = c.shape[0] - '0';
        fake::Field inMemory(n, c.shape[1] == 's');
        check(inMemory, "in memory: ");
        if (c.keys[0] != '@') continue;
        QtRow qt(n, c.shape[1] == 's');
        check(qt, "Qt: ");
    }
}

struct QtDigitBoxes : ::testing::Test, QtRow {
    QtDigitBoxes() : QtRow(7) { digit.Max(1e7), digit.Cur(1500), digit.value(1500); }
};

// Keys the table does not press: the keypad's, edits a box must refuse, shortcuts and a click.
TEST_F(QtDigitBoxes, KeypadRefusedEditsShortcutsAndClick) {
    int taken = 0;  // the field's keys are no shortcuts; other keys still are
    for (const QKeySequence& k : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F2)})
        QObject::connect(new QShortcut(k, &panel), &QShortcut::activated, [&] { ++taken; });
    int previewed = 0;
    for (auto* b : boxes) b->charPreview = [&](std::int16_t& ascii) { previewed += ascii; };
    ASSERT_TRUE(boxes[3]->setFocus());
    key(Qt::Key_Escape);  // consumed at key-down: only the window's preview sees it
    EXPECT_EQ(std::pair(trues, previewed), std::pair(0, 27));
    ASSERT_TRUE(boxes[3]->setFocus());
    QApplication::clipboard()->setText("7");  // a digit would pass the box's validator
    key(Qt::Key_V, Qt::ControlModifier);  // no paste
    EXPECT_EQ(shown(), "   [1]*500");
    QTest::mouseClick(boxes[5], Qt::LeftButton, {}, QPoint(2, 2));  // focuses, places no caret
    EXPECT_EQ(shown(), "   15[0]*0");
    const QPalette inverted = boxes[5]->palette();  // the selected digit in the box's colours swapped
    EXPECT_EQ(inverted.color(QPalette::HighlightedText), inverted.color(QPalette::Base));
    EXPECT_EQ(inverted.color(QPalette::Highlight), inverted.color(QPalette::Text));
    key(Qt::Key_8, Qt::KeypadModifier);
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(std::tuple(shown(), digit.curValue(), trues), std::tuple("   1580_", 1580, 1));
    key(Qt::Key_F2);
    EXPECT_EQ(taken, 1);
}

}  // namespace
}  // namespace zelmor::digit
