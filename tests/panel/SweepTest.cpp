// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QListWidget>

#include "PanelHarness.h"
#include "zelmor/panel/StackedButton.h"

// Ticks called one at a time, where the journeys see them only at the timer's pace.
namespace zelmor::panel {
namespace {

using testing::PanelHarness;
using testing::Writes;
using Sweep = testing::PanelTest;

// Returns the level shown after each of n ticks.
Writes ticks(FrontPanel& p, int n) {
    Writes shown;
    for (int i = 0; i < n; ++i) p.Timer_Timer(), shown.push_back(PanelHarness::join(p.Lvl));
    return shown;
}

TEST_F(Sweep, LevelStopsAtTheTopWithoutWrappingAndAnExcursionOfZeroReturnsAtOnce) {
    QTest::mouseClick(p.Onn, Qt::LeftButton);
    p.Typ->setCurrentRow(1);
    EXPECT_EQ(p.HScrExc->maximum(), 1400);
    p.LvlValue = {100, 100};  // +10.0 dBm as the reference
    p.Off->setCurrentRow(2);  // 3 dB
    p.HScrExc->setValue(5);
    QTest::mouseClick(p.Swp, Qt::LeftButton);
    h.take();
    EXPECT_EQ(ticks(p, 3), (Writes{"+0130", "+0100", "+0130"}));
    EXPECT_EQ(h.take(), (Writes{"APUP", "AP10DM", "APUP"}));
    p.HScrExc->setValue(0);
    EXPECT_TRUE(p.Swp->isEnabled()) << "a running sweep can still be stopped";
    EXPECT_EQ(ticks(p, 2), (Writes{"+0100", "+0100"}));
    EXPECT_EQ(h.take(), (Writes{"AP10DM", "AP10DM"}));
    // Back to frequency: the excursion slider narrows again and shows the frequency's own.
    QTest::mouseClick(p.Swp, Qt::LeftButton);
    p.HScrExc->setValue(1200);
    p.Typ->setCurrentRow(0);
    EXPECT_EQ(p.HScrExc->maximum(), 999);
    EXPECT_EQ(p.ExcValue[0], 0);
    EXPECT_EQ(p.ExcValue[1], 1200);
    EXPECT_EQ(PanelHarness::join(p.Exc), "  0");
}

}  // namespace
}  // namespace zelmor::panel
