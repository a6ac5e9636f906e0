// SPDX-License-Identifier: MIT
#pragma once

#include <QPushButton>

namespace zelmor::panel {

// A push button too narrow for its caption: each word of the caption goes on a line of its
// own ("&R U N" shows R, U and N stacked), while text() and the access key stay those of the
// caption.
class StackedButton final : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace zelmor::panel
