// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <string>

#include "PanelHarness.h"
#include "zelmor/panel/StackedButton.h"

// What the end-to-end journeys cannot see: the layout, the start-up state of the controls and a
// bus without the generator. What reaches the bus from each control is theirs to check.
namespace zelmor::panel {
namespace {

using testing::PanelHarness;
using Panel = testing::PanelTest;

TEST_F(Panel, LayoutAndStartUpState) {
    EXPECT_LT(p.HidFocus->geometry().bottom(), 0) << "the focus holder stays out of sight";
    EXPECT_EQ(PanelHarness::join(p.AMm) + PanelHarness::join(p.FMm) + PanelHarness::join(p.Exc),
              " 0 0  0");
    EXPECT_EQ(p.Onn->text() + p.Swp->text(), QStringLiteral(" O N&R U N"));  // stacked captions
    EXPECT_FALSE(p.Swp->isEnabled()) << "nothing to sweep with an excursion of 0";
    EXPECT_EQ(p.DlyLbl->text(), QStringLiteral("D:0120ms"));
    EXPECT_EQ(p.Timer->interval(), 120);
    // The level steps show whole in the narrow step list ("0.1d..." was cut short).
    p.Typ->setCurrentRow(1);
    const QFontMetrics metrics(p.Off->font());
    const int margin =
        p.Off->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, p.Off) + 1;
    for (int i = 0; i < p.Off->count(); ++i)
        EXPECT_LE(metrics.horizontalAdvance(p.Off->item(i)->text()) + 2 * margin,
                  p.Off->viewport()->width())
            << i;
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
    h.sim->setListening(false);
    p.HScrLvl->setValue(-1200);  // the write fails, the link closes
    EXPECT_EQ(look(), std::string("amber"));
    EXPECT_TRUE(p.Onn->toolTip().contains(QRegularExpression(
        "^No listener at board 0, address 7 since ..:..:..: is the generator switched on")));
    h.sim->setListening(true);
    p.beginAction();  // a new action may reopen
    p.HScrLvl->setValue(-1100);
    EXPECT_EQ(look(), std::string("green"));
    EXPECT_EQ(h.take().back(), "AP-110DM");
    // The defaults over a generator that now holds off the handshake: the first write fails,
    // and the rest of the action neither reopens nor writes (one time-out, not two or more).
    h.sim->setWriteTimeout(true);
    h.sim->clearRecords();
    QTest::mouseClick(p.Raz, Qt::LeftButton);
    EXPECT_EQ(look(), std::string("amber"));
    std::string calls;  // each call's name
    for (const std::string& c : h.sim->calls()) calls += c.substr(0, c.find(' ')) + " ";
    EXPECT_EQ(calls, "ibwrt ibonl ");  // one write, no reopening
    // A sweep tick reopens at most once every 3 s; the ticks in between touch nothing.
    p.HScrExc->setValue(5);
    h.sim->clearRecords();
    for (int i = 0; i < 5; ++i) p.Timer_Timer();
    EXPECT_TRUE(h.sim->calls().empty());
}

}  // namespace
}  // namespace zelmor::panel
