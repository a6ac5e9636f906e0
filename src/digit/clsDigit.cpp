// SPDX-License-Identifier: MIT
#include "zelmor/digit/clsDigit.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "PlainDecimal.h"
#include "zelmor/digit/DigitBoxes.h"
#include "zelmor/digit/Number.h"

namespace zelmor::digit {

namespace {

constexpr std::int16_t kBackspace = 8;
constexpr std::int16_t kEnter = 13;
constexpr std::int16_t kEscape = 27;
constexpr std::int16_t kLeft = 37;
constexpr std::int16_t kUp = 38;
constexpr std::int16_t kRight = 39;
constexpr std::int16_t kDown = 40;
constexpr std::int16_t kDelete = 46;

// Above the client area, so the control that parks the focus is never seen.
constexpr int kHiddenTopTwips = -450;

bool isDigit(std::int16_t code) { return code >= '0' && code <= '9'; }

// Characters of v in plain decimal: "-" and the point count, and 0.5 is written "0.5" like 2.5.
int textLength(double v) {
    // A whole number below 1e15 is written with all its digits, as PlainDecimal writes it; this
    // runs at every write to a field.
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
        int length = v < 0 ? 2 : 1;
        for (double rest = std::fabs(v); rest >= 10; rest = std::trunc(rest / 10)) ++length;
        return length;
    }
    return static_cast<int>(detail::PlainDecimal(v, true).size());
}

// Exact for the places a field can have; huge exponents end at infinity.
double powerOfTen(int n) {
    double p = 1.0;
    for (int i = 0; i < n && std::isfinite(p); ++i) p *= 10.0;
    return p;
}

}  // namespace

int clsDigit::count() const { return row_ != nullptr ? row_->count() : 0; }

DigitBox* clsDigit::boxAt(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return &row_->box(index);
}

void clsDigit::Initialize(FocusHolder& clsHidFocus, DigitRow& clsDigit, bool ClsbSigne) {
    hid_ = &clsHidFocus;
    row_ = &clsDigit;
    signed_ = ClsbSigne;

    hid_->setTopTwips(kHiddenTopTwips);
    hid_->setVisible(true);
    hid_->setTabIndex(0);
    hid_->setTabStop(false);
    hid_->setMaxLength(0);

    for (int i = 0; i < count(); ++i) {
        row_->box(i).setMaxLength(1);
        row_->box(i).setBackground(Rgb{0, 0, 0});
    }

    buffer_.clear();
    cur_ = 1.0;
    max_ = 10.0;
    min_ = 0.0;
    focus_ = false;
}

double clsDigit::value() const {
    const int n = count();
    if (n == 0) return 0.0;
    double total = 0.0;
    for (int i = signed_ ? 1 : 0; i < n; ++i)
        total = total * 10.0 + LeadingNumber(row_->box(i).text());
    if (signed_ && row_->box(0).text() == "-") total = -total;
    return total;
}

void clsDigit::value(double Dat) {
    // NaN and infinity have no digits; the boxes keep what they show.
    const int n = count();
    if (n == 0 || !std::isfinite(Dat)) return;

    const int length = textLength(Dat);
    const int places = signed_ ? n - 1 : n;
    const auto show = [&](int i, int d) {
        const bool shown = i < length || d != 0 || signed_;
        row_->box(n - 1 - i).setText(shown ? std::string(1, static_cast<char>('0' + d)) : " ");
    };
    if (Dat == std::trunc(Dat) && std::fabs(Dat) < 9007199254740992.0) {
        // A whole value, all a field holds in use, comes apart exactly in integers; this runs
        // at every key before its command is written.
        auto rest = static_cast<std::int64_t>(std::fabs(Dat));
        for (int i = 0; i < places; ++i, rest /= 10) show(i, static_cast<int>(rest % 10));
    } else {
        double x = Dat;
        for (int i = 0; i < places; ++i) {
            const double r = std::fmod(RoundHalfEven(x), 10.0);  // a whole number, |r| < 10
            show(i, static_cast<int>(std::fabs(r)));
            x = (x - r) / 10.0;
        }
    }
    if (signed_) row_->box(0).setText(Dat >= 0 ? "+" : "-");
}

void clsDigit::select(int index, bool state) {
    focus_ = state;
    if (DigitBox* box = boxAt(index)) {
        box->hideCaret();
        box->setSelection(0, state ? 1 : 0);
    }
    if (hid_ != nullptr) hid_->hideCaret();
}

void clsDigit::ForceFocus(std::int16_t Index, bool State) { select(Index, State); }

void clsDigit::Unselect(bool B) {
    const int n = count();
    for (int i = 0; i < n; ++i) select(i, false);
    focus_ = false;
    if (B) {
        if (hid_ != nullptr) {
            hid_->hideCaret();
            hid_->setFocus();  // may fail; the field is deselected all the same
        }
    } else {
        select(n - 1, true);
    }
}

void clsDigit::restoreCur() {
    // A committed 0 is never restored.
    if (cur_ != 0.0) value(cur_);
}

void clsDigit::applyBounds() {
    // The upper bound first, so Min wins when the bounds cross.
    double v = value();
    if (v > max_) {
        value(max_);
        v = value();
    }
    if (v < min_) value(min_);
}

bool clsDigit::KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t /*Shift*/) {
    buffer_.clear();
    const int n = count();
    if (Index < 0 || Index >= n) return false;  // not a box of this field

    bool result = false;
    switch (KeyCode) {
        case kEscape:
            restoreCur();
            KeyCode = 0;
            Unselect(true);
            return false;
        case kUp:
        case kDown: {
            const double v = value();
            const double step = powerOfTen(n - 1 - Index);
            const std::string text = row_->box(Index).text();
            if (KeyCode == kUp) {
                // A "9" in the leftmost box would need a place the field does not have.
                if (signed_ || Index != 0 || text != "9") value(v + step);
            } else {
                // A leading "1" is never stepped down to a blank.
                if (signed_ || Index != n - textLength(v) || text != "1") value(v - step);
            }
            applyBounds();
            KeyCode = 0;
            result = true;
            break;
        }
        case kRight:
        case kLeft: {
            int index = Index + (KeyCode == kRight ? 1 : -1);
            if (index < 0) index = n - 1;
            if (index >= n) index = 0;
            if (index == 0 && signed_) index = 1;  // the sign box is skipped
            if (index >= n) index = n - 1;         // a signed field without digit places
            Index = static_cast<std::int16_t>(index);
            row_->box(Index).setFocus();
            KeyCode = 0;
            break;
        }
        case kDelete:
            row_->box(Index).setText("0");
            // The window sends what Delete leaves, like a step: a "0" in the sign box must not
            // turn -127.0 dBm into +127.0 dBm.
            applyBounds();
            KeyCode = 0;
            result = true;
            break;
        default:
            break;
    }
    select(Index, true);
    return result;
}

bool clsDigit::KeyPress(std::int16_t& Index, std::int16_t& KeyAscii) {
    buffer_.clear();
    const int n = count();
    if (Index < 0 || Index >= n) return false;

    if (isDigit(KeyAscii)) {
        // The digit itself is typed by the box that received it; the next box takes the focus.
        if (Index != n - 1) ++Index;
        row_->box(Index).setFocus();
        return false;
    }
    if (KeyAscii == kEnter) {
        const double v = value();
        if (v > max_) {
            value(max_);
        } else if (v < min_) {
            value(min_);
        } else {
            value(v);  // leading zeros become blanks
        }
        cur_ = value();
        Unselect(true);
        KeyAscii = 0;
        return true;
    }
    KeyAscii = 0;  // no sign, point or editing key ever reaches a box
    return false;
}

bool clsDigit::ProcessKey(std::int16_t& KeyAscii) {
    if (isDigit(KeyAscii)) {
        if (hid_ != nullptr) hid_->setFocus();
        // Up to Count + 1 digits: one more than the boxes show.
        if (buffer_.size() <= static_cast<std::size_t>(count())) {
            buffer_ += static_cast<char>(KeyAscii);
        }
        value(LeadingNumber(buffer_));
        KeyAscii = 0;
        return false;
    }
    if (KeyAscii == kBackspace && !buffer_.empty()) {
        buffer_.pop_back();
        value(buffer_.empty() ? 0.0 : LeadingNumber(buffer_));
        KeyAscii = 0;
        return false;
    }
    if (KeyAscii == kEnter && !buffer_.empty()) {
        const double typed = LeadingNumber(buffer_);
        const bool above = typed > max_;
        const bool below = typed < min_;
        if (above) value(max_);
        if (below) value(min_);
        // The owner may have rewritten the boxes since the last digit; show what is committed.
        if (!above && !below) value(typed);
        cur_ = typed;
        buffer_.clear();
        KeyAscii = 0;
        return true;
    }
    if (KeyAscii == kEscape) {
        restoreCur();
        buffer_.clear();
        KeyAscii = 0;
        return false;
    }
    return false;
}

}  // namespace zelmor::digit
