// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zelmor/digit/DigitBoxes.h"
#include "zelmor/digit/clsDigit.h"

namespace zelmor::digit::test {

class FakeField;

struct FakeBox final : DigitBox {
    FakeField* field = nullptr;
    int index = 0, maxLength = -1, selStart = 0, selLength = 0;
    std::string content = " ";
    Rgb background{-1, -1, -1};

    std::string text() const override { return content; }
    void setText(const std::string& t) override { content = t, selStart = selLength = 0; }
    void setMaxLength(int length) override { maxLength = length; }
    void setBackground(Rgb c) override { background = c; }
    bool setFocus() override;
    void setSelection(int start, int length) override { selStart = start, selLength = length; }
    void hideCaret() override {}
};

struct FakeHolder final : FocusHolder {
    FakeField* field = nullptr;
    int top = 0, tabIndex = -1, maxLength = -1;
    bool visible = false, tabStop = true;

    void setTopTwips(int t) override { top = t; }
    void setVisible(bool v) override { visible = v; }
    void setTabIndex(int i) override { tabIndex = i; }
    void setTabStop(bool s) override { tabStop = s; }
    void setMaxLength(int length) override { maxLength = length; }
    bool setFocus() override;
    void hideCaret() override {}
};

// In-memory boxes wired to a clsDigit the way the main window wires the real ones.
class FakeField final : public DigitRow {
public:
    static constexpr int kHolder = -2;

    // shape: the box count, then "s" for a signed field ("5s").
    explicit FakeField(std::string_view shape) : boxes(static_cast<std::size_t>(shape[0] - '0')) {
        for (std::size_t i = 0; i < boxes.size(); ++i)
            boxes[i].field = this, boxes[i].index = int(i);
        holder.field = this;
        digit.Initialize(holder, *this, shape.size() > 1);
    }
    int count() const override { return static_cast<int>(boxes.size()); }
    DigitBox& box(int i) override { return boxes.at(static_cast<std::size_t>(i)); }

    bool moveFocus(int to) {
        if (!canFocus) return false;
        if (to != focused && (focused = to) >= 0) digit.ForceFocus(std::int16_t(to), true);
        return true;
    }
    std::string shown() const {
        std::string s;
        for (const FakeBox& b : boxes) s += b.content;
        return s;
    }
    int selected() const {  // the one box showing a selection; -1 none, -3 several
        int found = -1;
        for (const FakeBox& b : boxes)
            if (b.selLength > 0) found = found == -1 ? b.index : -3;
        return found;
    }

    // Plays keys as a box and the window route them; returns how many calls answered True.
    //   @n  box n gains the focus      ^ v < > x  Up Down Left Right Delete
    //   =   the owner writes 4242      other      a key typing a character (b Backspace,
    //                                             ! Enter, ~ Escape)
    // The focused box hands the key to KeyDown, then the window offers the character to direct
    // entry while the field is idle, then the box to KeyPress, then types what is left.
    int play(std::string_view keys) {
        static constexpr std::string_view kArrows = "^v<>x";
        static constexpr std::int16_t kCodes[] = {38, 40, 37, 39, 46};
        int trues = 0;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const char c = keys[i];
            if (c == '@' || c == '=') {
                c == '@' ? (void)moveFocus(keys[++i] - '0') : digit.value(4242);
                continue;
            }
            const std::size_t arrow = kArrows.find(c);
            const std::int16_t ascii0 = c == 'b' ? 8 : c == '!' ? 13 : c == '~' ? 27 : c;
            const int typedIn = focused;
            auto index = static_cast<std::int16_t>(focused);
            // Key-down codes: digits and letters as their keys, punctuation an OEM key (186).
            const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
            std::int16_t code = arrow != kArrows.npos ? kCodes[arrow]
                                : ascii0 < 32         ? ascii0
                                : alnum               ? std::toupper(c)
                                                      : 186;
            if (focused >= 0) {
                trues += digit.KeyDown(index, code, 0);
                if (code == 0 || arrow != kArrows.npos) continue;
            }
            std::int16_t ascii = ascii0;
            if (!digit.HasFocus()) trues += digit.ProcessKey(ascii);
            if (ascii == 0 || typedIn < 0) continue;
            trues += digit.KeyPress(index, ascii);
            EXPECT_TRUE(ascii == 0 || (c >= '0' && c <= '9')) << c;
            FakeBox& b = boxes[std::size_t(typedIn)];
            if (ascii != 0 && b.selLength == 1) b.setText(std::string(1, c));
        }
        return trues;
    }

    std::vector<FakeBox> boxes;
    FakeHolder holder;
    clsDigit digit;
    int focused = -1;
    bool canFocus = true;
};

inline bool FakeBox::setFocus() { return field->moveFocus(index); }
inline bool FakeHolder::setFocus() { return field->moveFocus(FakeField::kHolder); }

}  // namespace zelmor::digit::test
