// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "zelmor/digit/DigitBoxes.h"

namespace zelmor::digit {

// A numeric field made of one box per decimal place. The boxes are the only storage of the
// value, counted in the unit of the rightmost box. UI thread only.
class clsDigit {
public:
    void Initialize(FocusHolder& clsHidFocus, DigitRow& clsDigit, bool ClsbSigne);

    void Min(double v) { min_ = v; }
    void Max(double v) { max_ = v; }
    void Cur(double v) { cur_ = v; }
    bool HasFocus() const { return focus_; }
    double value() const;
    void value(double Dat);
    bool Processed() const { return focus_; }

    void ForceFocus(std::int16_t Index, bool State);
    void Unselect(bool B);
    // Character codes and key codes are in/out: set to 0 when consumed.
    bool ProcessKey(std::int16_t& KeyAscii);
    bool KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift);
    bool KeyPress(std::int16_t& Index, std::int16_t& KeyAscii);

    // Read-outs for tests and owners; the behaviour does not depend on them.
    double curValue() const { return cur_; }
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    const std::string& entryBuffer() const { return buffer_; }

private:
    int count() const;
    DigitBox* boxAt(int index) const;
    void select(int index, bool state);
    void restoreCur();
    void applyBounds();

    FocusHolder* hid_ = nullptr;
    DigitRow* row_ = nullptr;
    bool signed_ = false;
    std::string buffer_;
    double cur_ = 1.0;
    double max_ = 10.0;
    double min_ = 0.0;
    bool focus_ = false;
};

}  // namespace zelmor::digit
