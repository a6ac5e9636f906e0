// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zelmor/digit/clsDigit.h"

namespace zelmor::digit::fake {

// In-memory boxes keeping the contract of every DigitBox (see DigitBoxes.h); the contract
// table in QtDigitBoxesTest runs against these and the Qt boxes alike.
constexpr int kHolder = -2;  // the hidden control has the focus
class Field;

struct Box final : DigitBox {
    Box(Field* f, int i) : field(f), index(i) {}
    std::string text() const override { return s; }
    void setText(const std::string& t) override { s = t; }  // the highlight stays
    void setMaxLength(int) override {}
    void setBackground(Rgb) override {}
    bool setFocus() override;
    void setSelection(int, int length) override { sel = length; }
    void hideCaret() override {}
    Field* field;
    int index, sel = 0;
    std::string s = " ";
};

// In-memory boxes and hidden control wired to a clsDigit as the main window wires the real ones.
struct Field final : DigitRow, FocusHolder {
    explicit Field(int n, bool isSigned = false) {
        for (int i = 0; i < n; ++i) boxes.emplace_back(this, i);
        digit.Initialize(*this, *this, isSigned);
    }
    int count() const override { return int(boxes.size()); }
    DigitBox& box(int i) override { return boxes.at(std::size_t(i)); }
    void setTopTwips(int) override {}
    void setVisible(bool) override {}
    void setTabIndex(int) override {}
    void setTabStop(bool) override {}
    void setMaxLength(int) override {}
    bool setFocus() override { return moveFocus(kHolder); }
    void hideCaret() override {}

    bool moveFocus(int to) {  // a box losing the focus loses its selection, as a QLineEdit does
        if (!canFocus) return false;
        if (focused >= 0 && to != focused) boxes[std::size_t(focused)].sel = 0;
        if (to != focused && (focused = to) >= 0) digit.ForceFocus(std::int16_t(to), true);
        return true;
    }
    std::string shown(bool star = false) const {  // a selected box in brackets, a focused one *
        std::string t;
        for (const Box& b : boxes)
            t += (b.sel > 0 ? "[" + b.s + "]" : b.s) + (star && focused == b.index ? "*" : "");
        return t;
    }
    void type(char key) { play(std::string(1, key)); }
    // Keys as the window routes them; returns how many calls answered True. @n: box n gains the
    // focus; =: the owner writes 4242; #: the focus can no longer move. A key goes to the focused
    // box's KeyDown, then to direct entry while no box is selected, then to KeyPress; what is left
    // is typed.
    int play(std::string_view keys) {
        // Up Down Left Right Delete + - . Backspace Enter Escape
        static constexpr std::string_view kNamed = "^v<>x+-.b!~";
        static constexpr std::int16_t kDown[] = {38, 40, 37, 39, 46, 187, 189, 190, 8, 13, 27};
        int trues = 0;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const char c = keys[i];
            if (c == '@') moveFocus(keys[++i] - '0');
            if (c == '=') digit.value(4242);
            if (c == '#') canFocus = false;
            if (c == '@' || c == '=' || c == '#') continue;
            const std::size_t k = kNamed.find(c);
            std::int16_t index = std::int16_t(focused), code = k < kNamed.size() ? kDown[k] : c,
                         ascii = k < 8 ? c : code;
            if (focused >= 0) {
                trues += digit.KeyDown(index, code, 0);
                if (code == 0 || k < 5) continue;
            }
            if (!digit.HasFocus()) trues += digit.ProcessKey(ascii);
            if (ascii == 0 || focused < 0) continue;
            const int typedIn = focused;
            trues += digit.KeyPress(index, ascii);
            if (ascii != 0) boxes[std::size_t(typedIn)].setText(std::string(1, c));  // typed over
        }
        return trues;
    }

    std::vector<Box> boxes;
    clsDigit digit;
    int focused = -1;
    bool canFocus = true;
};

inline bool Box::setFocus() { return field->moveFocus(index); }

}  // namespace zelmor::digit::fake
