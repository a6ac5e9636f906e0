// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zelmor::digit {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// One single-character box of a digit row, as the digit model sees it. Every implementation
// keeps one contract, on which the field's keyboard rules rest:
// - a text write keeps the highlight (the one-character selection) as it was;
// - when the keyboard focus moves to another control, the box it left loses its highlight;
// - a digit typed into the box and left by the handlers replaces the box's character.
class DigitBox {
public:
    virtual ~DigitBox() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual void setMaxLength(int length) = 0;
    virtual void setBackground(Rgb colour) = 0;
    // Giving the keyboard focus may fail (for instance while the window is hidden).
    virtual bool setFocus() = 0;
    virtual void setSelection(int start, int length) = 0;
    virtual void hideCaret() = 0;
};

// A row of boxes, index 0 the leftmost. The count is asked at every use, never cached.
class DigitRow {
public:
    virtual ~DigitRow() = default;
    virtual int count() const = 0;
    virtual DigitBox& box(int index) = 0;
};

// The control that takes the keyboard focus invisibly while no digit box has it.
class FocusHolder {
public:
    virtual ~FocusHolder() = default;
    virtual void setTopTwips(int top) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void setTabIndex(int index) = 0;
    virtual void setTabStop(bool stop) = 0;
    virtual void setMaxLength(int length) = 0;  // 0: no limit
    virtual bool setFocus() = 0;
    virtual void hideCaret() = 0;
};

}  // namespace zelmor::digit
