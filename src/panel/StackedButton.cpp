// SPDX-License-Identifier: MIT
#include "zelmor/panel/StackedButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace zelmor::panel {

void StackedButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    QString stacked = caption;
    stacked.replace(QLatin1Char(' '), QLatin1Char('\n'));
    painter.drawItemText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(),
                         stacked, QPalette::ButtonText);
}

}  // namespace zelmor::panel
