// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStyle>
#include <QTimer>

#include "PanelHarness.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/panel/Twips.h"

// What the end-to-end journeys cannot see: the layout, the start-up state of the controls and a
// bus without the generator. What reaches the bus from each control is theirs to check.
namespace zelmor::panel {
namespace {

using testing::PanelHarness;
using Panel = testing::PanelTest;

TEST_F(Panel, LayoutAndStartUpState) {
    const double dpi = logicalDpiX(&p);
    EXPECT_EQ(p.width(), twipsToPixels(6765, dpi));
    EXPECT_EQ(p.Frq[3]->x(), twipsToPixels(1140, dpi));
    EXPECT_EQ(p.HScrFrq[0]->toolTip(), QStringLiteral("Change MHz"));
    EXPECT_LT(p.HidFocus->geometry().bottom(), 0) << "the focus holder stays out of sight";
    EXPECT_EQ(p.HScrFrq[1]->nextInFocusChain(), p.Lvl[1]) << "the sign box is skipped";
    EXPECT_EQ(PanelHarness::join(p.Frq) + PanelHarness::join(p.Lvl), "1000000-1270");
    EXPECT_EQ(PanelHarness::join(p.AMm) + PanelHarness::join(p.FMm) + PanelHarness::join(p.Exc),
              " 0 0  0");
    EXPECT_EQ(p.Onn->text(), QStringLiteral(" O N"));
    EXPECT_EQ(p.Swp->text(), QStringLiteral("&R U N"));
    EXPECT_FALSE(p.Swp->isEnabled()) << "nothing to sweep with an excursion of 0";
    EXPECT_EQ(p.DlyLbl->text(), QStringLiteral("D:0120ms"));
    EXPECT_EQ(p.Timer->interval(), 120);
    EXPECT_FALSE(p.Timer->isActive());
    EXPECT_TRUE(h.untouched()) << "start-up never touches the bus";
    // The level steps show whole in the narrow step list ("0.1d..." was cut short).
    p.Typ->setCurrentRow(1);
    const QFontMetrics metrics(p.Off->font());
    const int margin =
        p.Off->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, p.Off) + 1;
    for (int i = 0; i < p.Off->count(); ++i) {
        const QString text = p.Off->item(i)->text();
        EXPECT_LE(metrics.horizontalAdvance(text) + 2 * margin, p.Off->viewport()->width())
            << text.toStdString();
    }
}

// Escape shows the frequency in effect, which the journeys' record of the bus cannot see: in a
// box after a step was sent, and in a direct entry typed with a button focused.
TEST_F(Panel, EscapeShowsTheFrequencyInEffect) {
    const auto keys = [](const char* text, Qt::Key key) {
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(text));
        QTest::keyClick(QApplication::focusWidget(), key);
    };
    QTest::mouseClick(p.Frq[2], Qt::LeftButton);
    keys("", Qt::Key_Up);
    keys("7", Qt::Key_Escape);
    EXPECT_EQ(PanelHarness::join(p.Frq), "1010000") << "in a box";
    p.Onn->setFocus();
    keys("42", Qt::Key_Escape);
    EXPECT_EQ(PanelHarness::join(p.Frq), "1010000") << "in a direct entry";
}

// The button tells whether commands reach the generator, and why not; a dead bus costs one
// time-out per action, not one per command of the burst, and a sweep retries every 3 s only.
TEST_F(Panel, OnLineButtonSaysWhyTheBusFailedAndADeadBusIsTriedOncePerAction) {
    const auto look = [&] {
        const QString s = p.Onn->styleSheet();
        return s.contains("0, 255, 0") ? "green" : s.contains("255, 176, 0") ? "amber" : "red";
    };
    QTest::mouseClick(p.Onn, Qt::LeftButton);
    EXPECT_EQ(look(), std::string("green"));
    EXPECT_EQ(p.Onn->toolTip(), QStringLiteral("On / Off"));
    h.sim()->setListening(false);
    p.HScrLvl->setValue(-1200);  // the write fails, the link closes
    EXPECT_EQ(look(), std::string("amber"));
    EXPECT_TRUE(p.Onn->toolTip().contains(QRegularExpression(
        "^No listener at board 0, address 7 since \\d\\d:\\d\\d:\\d\\d: is the generator switched "
        "on, at address 7, and the cable in\\?$")))
        << p.Onn->toolTip().toStdString();
    h.sim()->setListening(true);
    p.beginAction();  // a new action may reopen
    p.HScrLvl->setValue(-1100);
    EXPECT_EQ(look(), std::string("green"));
    EXPECT_EQ(h.take().back(), "AP-110DM");
    // The defaults over a generator that now holds off the handshake: the first write fails,
    // and the rest of the action neither reopens nor writes (one time-out, not two or more).
    h.sim()->setWriteTimeout(true);
    h.sim()->clearRecords();
    QTest::mouseClick(p.Raz, Qt::LeftButton);
    EXPECT_EQ(look(), std::string("amber"));
    const auto& calls = h.sim()->calls();
    const auto count = [&](const char* call) {
        return std::count_if(calls.begin(), calls.end(),
                             [&](const std::string& c) { return c.starts_with(call); });
    };
    EXPECT_EQ(count("ibwrt"), 1);
    EXPECT_EQ(count("ibdev"), 0);
    // A sweep tick reopens at most once every 3 s; the ticks in between touch nothing.
    p.HScrExc->setValue(5);
    h.sim()->clearRecords();
    for (int i = 0; i < 5; ++i) p.Timer_Timer();
    EXPECT_TRUE(h.sim()->calls().empty());
}

}  // namespace
}  // namespace zelmor::panel
