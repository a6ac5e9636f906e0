// SPDX-License-Identifier: MIT
#pragma once

#include <cmath>

class QWidget;
class QRect;

namespace zelmor::panel {

// Window positions and sizes are kept in twips (1/1440 inch) and drawn in pixels through the
// screen's logical DPI, so the panel keeps its proportions on any screen.
inline constexpr double TwipsPerInch = 1440.0;

inline int twipsToPixels(double twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / TwipsPerInch));
}
inline double pixelsToTwips(int pixels, double dpi) { return pixels * TwipsPerInch / dpi; }

// The logical DPI of the screen the widget is on (96 when there is no screen).
double logicalDpi(const QWidget* widget);
double logicalDpiX(const QWidget* widget);
double logicalDpiY(const QWidget* widget);

// Places a child at left, top, width, height given in twips.
void placeTwips(QWidget* child, double left, double top, double width, double height);

}  // namespace zelmor::panel
