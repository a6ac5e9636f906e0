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
        if (focused >= 0 && to != focused) boxes[std::size_t(focused)].sel = 0;
        if (to != focused && (focused = to) >= 0) digit.ForceFocus(std::int16_t(to), true);
        return true;
    }
    // A selected box in brackets, a focused one marked *, then _ if the hidden control has it.
    std::string shown() const {
        std::string t;
        for (const Box& b : boxes)
            t += (b.sel > 0 ? "[" + b.s + "]" : b.s) + (focused == b.index ? "*" : "");
        return t + (focused == kHolder ? "_" : "");
    }
    // A key as the window routes it, counting in `trues` the calls that answered True: to the
    // focused box's KeyDown, then to direct entry while no box is selected, then to KeyPress;
    // what is left is typed over the box. ^ v < > x + - . b ! ~: Up Down Left Right Delete + - .
    // Backspace Enter Escape.
    void type(char c) {
        static constexpr std::string_view kNamed = "^v<>x+-.b!~";
        static constexpr std::int16_t kDown[] = {38, 40, 37, 39, 46, 187, 189, 190, 8, 13, 27};
        const std::size_t k = kNamed.find(c);
        std::int16_t index = std::int16_t(focused), code = k < kNamed.size() ? kDown[k] : c,
                     ascii = k < 8 ? c : code;
        if (focused >= 0) {
            trues += digit.KeyDown(index, code, 0);
            if (code == 0 || k < 5) return;
        }
        if (!digit.HasFocus()) trues += digit.ProcessKey(ascii);
        if (ascii == 0 || focused < 0) return;
        const int typedIn = focused;
        trues += digit.KeyPress(index, ascii);
        if (ascii != 0) boxes[std::size_t(typedIn)].setText(std::string(1, c));  // typed over
    }

    std::vector<Box> boxes;
    clsDigit digit;
    int focused = -1, trues = 0;
};

inline bool Box::setFocus() { return field->moveFocus(index); }

// Plays keys on a row, in memory or Qt, and tells what shows: @n box n gains the focus, =nnn the
// owner writes nnn, anything else is a key.
template <class Row>
std::string play(Row& row, std::string_view keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const char c = keys[i];
        if (c == '@') row.box(keys[++i] - '0').setFocus();
        if (c == '=') row.digit.value(std::stod(std::string(keys.substr(i + 1, 3))));
        if (c == '=') i += 3;
        if (c != '@' && c != '=') row.type(c);
    }
    return row.shown();
}

}  // namespace zelmor::digit::fake
