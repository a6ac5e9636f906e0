// SPDX-License-Identifier: MIT
#include "zelmor/panel/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace zelmor::panel {

namespace {
const QScreen* screenOf(const QWidget* widget) {
    if (widget != nullptr && widget->screen() != nullptr) return widget->screen();
    return QGuiApplication::primaryScreen();
}
}  // namespace

double logicalDpiX(const QWidget* widget) {
    const QScreen* s = screenOf(widget);
    return s != nullptr && s->logicalDotsPerInchX() > 0 ? s->logicalDotsPerInchX() : 96.0;
}

double logicalDpiY(const QWidget* widget) {
    const QScreen* s = screenOf(widget);
    return s != nullptr && s->logicalDotsPerInchY() > 0 ? s->logicalDotsPerInchY() : 96.0;
}

double logicalDpi(const QWidget* widget) { return logicalDpiY(widget); }

void placeTwips(QWidget* child, double left, double top, double width, double height) {
    const double dx = logicalDpiX(child);
    const double dy = logicalDpiY(child);
    child->setGeometry(twipsToPixels(left, dx), twipsToPixels(top, dy), twipsToPixels(width, dx),
                       twipsToPixels(height, dy));
}

}  // namespace zelmor::panel
