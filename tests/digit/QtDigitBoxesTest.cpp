// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "zelmor/digit/QtDigitBoxes.h"
#include "zelmor/digit/clsDigit.h"

namespace zelmor::digit {
namespace {

// Seven boxes wired to their field the way the main window wires the frequency row.
class Panel final : public QWidget {
public:
    Panel() {
        auto* layout = new QHBoxLayout(this);
        for (std::int16_t i = 0; i < 7; ++i) {
            auto* box = new QtDigitBox(i, this);
            box->setForeground(Rgb{255, 0, 0});
            layout->addWidget(box);
            boxes.push_back(box);
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
        holder = new QtFocusHolder(this);
        row = std::make_unique<QtDigitRow>(boxes);
        digit.Initialize(*holder, *row, false);
        digit.Max(9999999), digit.Cur(1500), digit.value(1500);
    }
    std::string shown() const {
        std::string s;
        for (QtDigitBox* b : boxes) s += b->text();
        return s;
    }

    std::vector<QtDigitBox*> boxes;
    QtFocusHolder* holder = nullptr;
    std::unique_ptr<QtDigitRow> row;
    clsDigit digit;
    int commits = 0, keyPresses = 0;
};

class QtDigitBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        ASSERT_TRUE(panel.boxes[3]->setFocus());
    }
    // A real key event to whatever has the focus.
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    // Box i has the focus, and it alone shows a selection: its one character.
    void expectSelected(int i) {
        for (QtDigitBox* b : panel.boxes) {
            EXPECT_EQ(b->hasFocus(), b->index() == i) << i;
            EXPECT_EQ(b->selectedText(), b->index() == i ? b->QLineEdit::text() : "") << i;
        }
    }

    Panel panel;
};

TEST_F(QtDigitBoxes, ArrowsAndDigitsMoveTheHighlight) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int box;
    } steps[] = {{Qt::Key_Right, {}, 4},
                 {Qt::Key_Left, {}, 3},
                 {Qt::Key_Left, {}, 2},
                 {Qt::Key_Left, {}, 1},
                 {Qt::Key_Left, {}, 0},
                 {Qt::Key_Left, {}, 6},
                 {Qt::Key_Right, {}, 0},
                 {Qt::Key_Right, {}, 1},
                 {Qt::Key_Right, {}, 2},
                 {Qt::Key_7, {}, 3},
                 {Qt::Key_8, Qt::KeypadModifier, 4},
                 {Qt::Key_Right, {}, 5},
                 {Qt::Key_Right, {}, 6},
                 {Qt::Key_4, {}, 6},
                 {Qt::Key_2, Qt::KeypadModifier, 6}};
    for (const auto& s : steps) {
        key(s.key, s.mods);
        expectSelected(s.box);
    }
    EXPECT_EQ(panel.shown(), "  78502");  // the last box typed over twice
    EXPECT_EQ(panel.commits, 0);
}

TEST_F(QtDigitBoxes, ConsumedAndEditingKeysLeaveTheBoxAlone) {
    QApplication::clipboard()->setText("7");  // a digit would pass the box's validator
    key(Qt::Key_Escape);                      // consumed at key-down: no character event
    EXPECT_EQ(panel.keyPresses, 0);
    ASSERT_TRUE(panel.boxes[4]->setFocus());
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Plus, {}},
                                                              {Qt::Key_Minus, {}},
                                                              {Qt::Key_Period, {}},
                                                              {Qt::Key_A, {}},
                                                              {Qt::Key_Backspace, {}},
                                                              {Qt::Key_Space, {}},
                                                              {Qt::Key_Home, {}},
                                                              {Qt::Key_V, Qt::ControlModifier},
                                                              {Qt::Key_Insert, Qt::ShiftModifier},
                                                              {Qt::Key_X, Qt::ControlModifier},
                                                              {Qt::Key_Z, Qt::ControlModifier}};
    for (const auto& [k, m] : keys) {
        key(k, m);
        EXPECT_EQ(panel.shown(), "   1500") << k;
        expectSelected(4);
    }
    for (int click = 0; click < 2; ++click) {  // a click focuses; it never moves a caret
        QTest::mouseClick(panel.boxes[5], Qt::LeftButton, {}, QPoint(2, 2));
        expectSelected(5);
    }
    EXPECT_EQ(panel.commits, 0);
}

TEST_F(QtDigitBoxes, StepsCommitAndBothEntersParkTheFocus) {
    ASSERT_TRUE(panel.boxes[6]->setFocus());
    key(Qt::Key_Up);
    EXPECT_EQ(panel.shown(), "   1501");
    key(Qt::Key_Return);
    EXPECT_EQ(panel.commits, 2);
    EXPECT_EQ(panel.digit.curValue(), 1501);
    EXPECT_EQ(QApplication::focusWidget(), panel.holder);
    expectSelected(-1);
    ASSERT_TRUE(panel.boxes[5]->setFocus());
    key(Qt::Key_Down);
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(panel.commits, 4);
    EXPECT_EQ(panel.digit.curValue(), 1491);
    EXPECT_EQ(QApplication::focusWidget(), panel.holder);
}

TEST_F(QtDigitBoxes, NoCaretIsEverDrawn) {
    for (QWidget* w : std::vector<QWidget*>{panel.boxes[0], panel.holder})
        EXPECT_EQ(w->style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, w), 0);
    // Rendered with the focus and no text, a plain line edit shows its caret; a box nothing.
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);  // no blinking: a caret is drawn at every paint
    QLineEdit plain;
    plain.setPalette(panel.boxes[0]->palette());
    plain.setAlignment(Qt::AlignCenter);
    panel.layout()->addWidget(&plain);
    plain.show();
    for (QLineEdit* w : {&plain, static_cast<QLineEdit*>(panel.boxes[2])}) {
        w->setText("");
        w->setFocus();
        ASSERT_TRUE(w->hasFocus());
        const QImage image = w->grab().toImage();
        int lit = 0;
        for (int y = 4; y < image.height() - 4; ++y)
            for (int x = 4; x < image.width() - 4; ++x) lit += image.pixelColor(x, y).red() > 128;
        EXPECT_EQ(lit > 0, w == &plain);
    }
    QApplication::setCursorFlashTime(flashTime);
}

TEST_F(QtDigitBoxes, FocusHolderTakesTheFocusOutOfSight) {
    QtFocusHolder* h = panel.holder;
    EXPECT_EQ(h->y(), -450 * h->logicalDpiY() / 1440);
    EXPECT_LT(h->geometry().bottom(), 0);
    EXPECT_EQ(h->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(h->maxLength(), 32767);
    EXPECT_TRUE(h->setFocus());
    // The tab order is a cycle through what takes the focus; the boxes keep theirs.
    const auto order = [h] {
        std::vector<QWidget*> seen{h};
        for (QWidget* w = h->nextInFocusChain(); w != h; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus) seen.push_back(w);
        return seen;
    };
    const std::vector<QtDigitBox*>& b = panel.boxes;
    h->setTabIndex(3);
    EXPECT_EQ(order(), (std::vector<QWidget*>{h, b[3], b[4], b[5], b[6], b[0], b[1], b[2]}));
    h->setTabIndex(0);
    EXPECT_EQ(order(), (std::vector<QWidget*>{h, b[0], b[1], b[2], b[3], b[4], b[5], b[6]}));
    h->setTabStop(true);
    EXPECT_EQ(h->focusPolicy(), Qt::StrongFocus);
}

TEST(QtKeyCodes, MapKeysToTheFieldsCodes) {
    // clang-format off
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* text;
        std::int16_t down, ascii;
    } cases[] = {
        {Qt::Key_Escape, {}, "\x1b", 27, 27}, {Qt::Key_Left, {}, "", 37, 0},
        {Qt::Key_Up, Qt::ShiftModifier, "", 38, 0}, {Qt::Key_Right, {}, "", 39, 0},
        {Qt::Key_Down, Qt::ControlModifier, "", 40, 0}, {Qt::Key_Delete, {}, "\x7f", 46, 0},
        {Qt::Key_Backspace, {}, "\b", 8, 8}, {Qt::Key_Return, {}, "\r", 13, 13},
        {Qt::Key_Enter, Qt::KeypadModifier, "\r", 13, 13}, {Qt::Key_5, {}, "5", 53, 53},
        {Qt::Key_5, Qt::KeypadModifier, "5", 101, 53}, {Qt::Key_A, {}, "a", 65, 97},
        {Qt::Key_Plus, {}, "+", 187, 43}, {Qt::Key_F1, {}, "", 112, 0},
        {Qt::Key_V, Qt::ControlModifier, "\x16", 86, 0}};
    // clang-format on
    for (const auto& c : cases) {
        const QKeyEvent e(QEvent::KeyPress, c.key, c.mods, QString::fromLatin1(c.text));
        EXPECT_EQ(keyDownCode(e), c.down) << c.key;
        EXPECT_EQ(charCode(e), c.ascii) << c.key;
    }
}

}  // namespace
}  // namespace zelmor::digit
