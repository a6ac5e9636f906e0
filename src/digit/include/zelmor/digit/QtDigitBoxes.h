// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "zelmor/digit/DigitBoxes.h"

class QFocusEvent;
class QKeyEvent;
class QMouseEvent;

namespace zelmor::digit {

// Key codes of the key-down handlers (0 when the key has none).
std::int16_t keyDownCode(const QKeyEvent& event);
// Character codes of the character handlers (0 when the key types no character).
// Return and the keypad's Enter are both 13; keypad digits are digits.
std::int16_t charCode(const QKeyEvent& event);

// A one-character box: the selected digit is highlighted and no text caret is ever shown.
// One key press runs, in order, until one of them consumes it (sets the code to 0):
//   onKeyDown(keyCode), then charPreview(keyAscii) (the window's routing), then
//   onKeyPress(keyAscii); a digit nobody consumed replaces the box's character. The window's
//   preview sees the character even of a key consumed at key-down.
// Like every DigitBox: a text write keeps the highlight as it is, and the highlight goes when
// the focus moves to another control.
// While a key on a box is handled, writes of text and highlight to any box wait until it has
// been (QLineEdit lays its text out at each write, which with cold caches cost more than the
// rest of the key together, before the command reached the bus); they are then made in the
// order given, and sooner when anything could see a box: an event to a box, a focus move, a
// change of its look. text() always answers with the last text written.
class QtDigitBox final : public QLineEdit, public DigitBox {
    Q_OBJECT
public:
    QtDigitBox(int index, QWidget* parent = nullptr);
    ~QtDigitBox() override;

    int index() const { return index_; }

    std::function<void()> onFocusGained;
    std::function<void(std::int16_t& keyCode)> onKeyDown;
    std::function<void(std::int16_t& keyAscii)> charPreview;
    std::function<void(std::int16_t& keyAscii)> onKeyPress;

    std::string text() const override;
    void setText(const std::string& text) override;
    void setMaxLength(int length) override;
    void setBackground(Rgb colour) override;
    bool setFocus() override;
    void setSelection(int start, int length) override;
    void hideCaret() override;

    void setForeground(Rgb colour);

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A click only gives the focus: no caret placed, no drag selection, no middle-button paste.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void handleKey(QKeyEvent* event);

    int index_;
    // The last text written, made or waiting: the model reads the row several times a key, and
    // only setText changes a box's text.
    std::string text_;
};

// The row of boxes a clsDigit works on; the boxes belong to the window.
class QtDigitRow final : public DigitRow {
public:
    explicit QtDigitRow(std::vector<QtDigitBox*> boxes) : boxes_(std::move(boxes)) {}
    int count() const override { return static_cast<int>(boxes_.size()); }
    DigitBox& box(int index) override { return *boxes_.at(static_cast<std::size_t>(index)); }
    QtDigitBox* widget(int index) const { return boxes_.at(static_cast<std::size_t>(index)); }

private:
    std::vector<QtDigitBox*> boxes_;
};

// A text box that takes the keyboard focus invisibly, placed above the client area.
class QtFocusHolder final : public QLineEdit, public FocusHolder {
    Q_OBJECT
public:
    explicit QtFocusHolder(QWidget* parent = nullptr);

    void setTopTwips(int top) override;
    void setVisible(bool visible) override;
    void setTabIndex(int index) override;
    void setTabStop(bool stop) override;
    void setMaxLength(int length) override;
    bool setFocus() override;
    void hideCaret() override;
};

}  // namespace zelmor::digit
