// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>

#include "PanelHarness.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::panel {
namespace {

using testing::PanelHarness;
using Writes = std::vector<std::string>;

// Field, sliders and model of the frequency show one value.
void expectFrqViewsAgree(const FrontPanel& p) {
    EXPECT_EQ(p.FrqDigit->value(), p.FrqValue[0]);
    if (p.FrqValue[0] >= 10000) {
        EXPECT_EQ(p.HScrFrq[0]->value() * 10000.0 + p.HScrFrq[1]->value(), p.FrqValue[0]);
    } else {
        EXPECT_EQ(p.HScrFrq[1]->value(), p.FrqValue[0]);
    }
}

void expectLvlViewsAgree(const FrontPanel& p) {
    EXPECT_EQ(p.LvlDigit->value(), p.LvlValue[0]);
    EXPECT_EQ(p.HScrLvl->value(), p.LvlValue[0]);
}

// Leaves the frequency field idle, so that digits typed anywhere become a direct entry.
void idleFrequency(PanelHarness& h) {
    h.panel->Frq[2]->QWidget::setFocus();
    PanelHarness::key(Qt::Key_Return);
    ASSERT_FALSE(h.panel->FrqDigit->HasFocus());
}

void enterFrequency(PanelHarness& /*h*/, const char* digits) {
    PanelHarness::typeText(digits);
    PanelHarness::key(Qt::Key_Return);
}

TEST(FrontPanel, StartUpShowsDefaultsAndWritesNothing) {
    PanelHarness h;
    h.start();
    const FrontPanel& p = *h.panel;
    EXPECT_EQ(h.join(p.Frq), "1000000");
    EXPECT_EQ(h.join(p.Lvl), "-1270");
    EXPECT_EQ(h.join(p.AMm), " 0");
    EXPECT_EQ(h.join(p.FMm), " 0");
    EXPECT_EQ(p.HScrFrq[0]->value(), 100);
    EXPECT_EQ(p.HScrFrq[1]->value(), 0);
    EXPECT_EQ(p.HScrLvl->value(), -1270);
    EXPECT_FALSE(p.AMk[0]->isEnabled());
    EXPECT_FALSE(p.FMk[1]->isEnabled());
    EXPECT_TRUE(p.FrqDigit->HasFocus());  // the 1 MHz digit is selected
    EXPECT_TRUE(h.lines().isEmpty());     // nothing opened, nothing written
    expectFrqViewsAgree(p);
    expectLvlViewsAgree(p);
}

TEST(FrontPanel, OneKeystrokeOnLineOpensTheLinkAndWritesOnce) {
    PanelHarness h;
    h.start();
    h.panel->Online = true;
    PanelHarness::key(Qt::Key_Up);
    EXPECT_EQ(h.writes(), (Writes{"XX", "FR101MZ"}));
    const QStringList lines = h.lines();
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("ibconfig 0 23 1 -> ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("ibdev 0 7 0 12 1 0 -> ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("ibclr ")));
    EXPECT_EQ(h.panel->FrqValue[0], 1010000);
    EXPECT_EQ(h.panel->FrqValue[1], 1010000);
    expectFrqViewsAgree(*h.panel);
}

TEST(FrontPanel, FrequencyCommandsFromDirectEntry) {
    PanelHarness h;
    h.start();
    h.panel->Online = true;
    idleFrequency(h);
    h.clearTrace();
    struct Case {
        const char* typed;
        double value;
        const char* command;
    };
    for (const Case& c : {Case{"1000", 1000, "FR.1MZ"}, Case{"9900000", 9900000, "FR990MZ"},
                          Case{"1234567", 1234567, "FR123.4567MZ"}, Case{"15000", 15000, "FR1.5MZ"},
                          Case{"5000", 5000, "FR.5MZ"}, Case{"1000000", 1000000, "FR100MZ"}}) {
        h.clearTrace();
        enterFrequency(h, c.typed);
        EXPECT_EQ(h.writes(), (Writes{c.command})) << c.typed;
        EXPECT_EQ(h.panel->FrqValue[0], c.value);
        EXPECT_EQ(h.panel->FrqValue[1], c.value);
        expectFrqViewsAgree(*h.panel);
    }
}

TEST(FrontPanel, LevelCommandsFromSliderAndKeys) {
    PanelHarness h;
    h.start();
    h.panel->Online = true;
    for (auto [position, command] : {std::pair{130, "AP13DM"}, {0, "AP0DM"}, {-5, "AP-.5DM"},
                                     {5, "AP.5DM"}, {-1234, "AP-123.4DM"}, {-100, "AP-10DM"},
                                     {-1270, "AP-127DM"}}) {
        h.clearTrace();
        h.panel->HScrLvl->setValue(position);
        EXPECT_EQ(h.writes().back(), command);
        EXPECT_EQ(h.writes().size(), h.writes().front() == "XX" ? 2u : 1u);
        EXPECT_EQ(h.panel->LvlValue[1], -1270) << "a slider keeps the sweep reference";
        expectLvlViewsAgree(*h.panel);
    }
    // A stepped digit is a commit: both elements follow.
    QTest::mouseClick(h.panel->Lvl[4], Qt::LeftButton);
    h.clearTrace();
    PanelHarness::key(Qt::Key_Up);
    EXPECT_EQ(h.writes(), (Writes{"AP-126.9DM"}));
    EXPECT_EQ(h.panel->LvlValue[1], -1269);
    expectLvlViewsAgree(*h.panel);
}

TEST(FrontPanel, ModulationCommandsFromTheirControls) {
    PanelHarness h;
    h.start();
    h.panel->Online = true;
    h.panel->SendFrq();  // opens the link: the probe is out of the way
    FrontPanel& p = *h.panel;
    auto typeInto = [&](digit::QtDigitBox* first, const char* digits) {
        QTest::mouseClick(first, Qt::LeftButton);
        PanelHarness::typeText(digits);
        PanelHarness::key(Qt::Key_Return);
    };
    struct Step {
        std::function<void()> act;
        Writes expected;
    };
    const std::vector<Step> steps{
        {[&] { typeInto(p.AMm[0], "30"); }, {"S2AM30PC"}},
        {[&] { QTest::mouseClick(p.AMk[1], Qt::LeftButton); }, {"S3AM30PC"}},
        {[&] { typeInto(p.AMm[0], "30"); }, {}},  // the depth already set: nothing
        {[&] { QTest::mouseClick(p.AMk[0], Qt::LeftButton); }, {"S2AM30PC"}},
        {[&] { typeInto(p.AMm[0], "05"); }, {"S2AM5PC"}},
        {[&] { typeInto(p.AMm[0], "00"); }, {"AMS2S4"}},
        {[&] { typeInto(p.FMm[0], "10"); }, {"S2FM10KZ"}},
        {[&] { QTest::mouseClick(p.FMk[1], Qt::LeftButton); }, {"S3FM10KZ"}},
        {[&] { typeInto(p.FMm[0], "99"); }, {"S3FM99KZ"}},
        {[&] { p.HScrFMm->setValue(0); }, {"FMS2S4"}},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        h.clearTrace();
        steps[i].act();
        EXPECT_EQ(h.writes(), steps[i].expected) << "step " << i;
    }
    EXPECT_FALSE(p.FMk[0]->isEnabled());
    EXPECT_FALSE(p.AMk[1]->isEnabled());
    EXPECT_TRUE(p.FMk[1]->isChecked()) << "the rate survives a depth of 0";
    // Options cannot be chosen while their modulation is off.
    h.clearTrace();
    QTest::mouseClick(p.AMk[1], Qt::LeftButton);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_TRUE(p.AMk[0]->isChecked());
}

TEST(FrontPanel, OneCommandPerChangeAndNoneOffLine) {
    for (const bool online : {false, true}) {
        PanelHarness h;
        h.start();
        FrontPanel& p = *h.panel;
        p.Online = online;
        p.SendFrq();
        h.clearTrace();
        const std::vector<std::function<void()>> actions{
            [&] { PanelHarness::key(Qt::Key_Up); },
            [&] { PanelHarness::key(Qt::Key_Down); },
            [&] { p.HScrFrq[0]->setValue(250); },
            [&] { p.HScrFrq[1]->setValue(1234); },
            [&] { PanelHarness::key(Qt::Key_Delete); },
            [&] { PanelHarness::key(Qt::Key_Return); },
            [&] { p.HScrLvl->setValue(-300); },
        };
        for (std::size_t i = 0; i < actions.size(); ++i) {
            const std::size_t before = h.writes().size();
            actions[i]();
            EXPECT_EQ(h.writes().size(), before + (online ? 1 : 0)) << "action " << i;
            expectFrqViewsAgree(p);
            expectLvlViewsAgree(p);
        }
    }
}

TEST(FrontPanel, SliderMovesKeepTheReferenceAndCommitsSetIt) {
    PanelHarness h;
    h.start();
    FrontPanel& p = *h.panel;
    p.Online = true;
    idleFrequency(h);
    enterFrequency(h, "1234567");
    h.clearTrace();
    p.HScrFrq[0]->setValue(200);
    EXPECT_EQ(h.writes(), (Writes{"FR200.4567MZ"}));
    EXPECT_EQ(p.FrqValue[0], 2004567);
    EXPECT_EQ(p.FrqValue[1], 1234567);
    h.clearTrace();
    p.HScrFrq[1]->setValue(0);
    EXPECT_EQ(h.writes(), (Writes{"FR200MZ"}));
    EXPECT_EQ(h.join(p.Frq), "2000000");
    EXPECT_EQ(p.FrqValue[1], 1234567);
    // A real key on the focused slider reaches the slider, not the idle frequency field.
    p.HScrFrq[0]->setFocus();
    h.clearTrace();
    PanelHarness::key(Qt::Key_Right);
    EXPECT_EQ(h.writes(), (Writes{"FR201MZ"}));
    EXPECT_EQ(p.FrqValue[1], 1234567);
    enterFrequency(h, "2500000");
    EXPECT_EQ(p.FrqValue[1], 2500000);
    expectFrqViewsAgree(p);
}

// Records the key presses that reach a control.
class KeySpy : public QObject {
public:
    std::vector<int> keys;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) keys.push_back(static_cast<QKeyEvent*>(event)->key());
        return false;
    }
};

TEST(FrontPanel, DigitsTypedAnywhereBecomeAFrequencyOnceTheFieldIsIdle) {
    PanelHarness h;
    KeySpy spy;
    h.panel->Onn->installEventFilter(&spy);  // before the window's own preview
    h.start();
    FrontPanel& p = *h.panel;
    p.Online = true;
    p.SendFrq();
    idleFrequency(h);
    QTest::mouseClick(p.Lvl[2], Qt::LeftButton);
    ASSERT_TRUE(p.LvlDigit->HasFocus());
    h.clearTrace();
    PanelHarness::typeText("150");
    EXPECT_EQ(h.join(p.Frq), "    150");
    EXPECT_EQ(h.join(p.Lvl), "-1270") << "the level field never saw the digits";
    PanelHarness::typeText("0000");
    PanelHarness::key(Qt::Key_Return);
    EXPECT_EQ(p.FrqValue[0], 1500000);
    EXPECT_EQ(h.writes(), (Writes{"FR150MZ"}));
    EXPECT_EQ(p.LvlValue[0], -1270);

    // Escape belongs to the direct entry, even with a button focused.
    p.Onn->setFocus();
    PanelHarness::typeText("42");  // the entry takes the focus away from the button
    p.Onn->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), p.Onn);
    PanelHarness::key(Qt::Key_Escape);
    EXPECT_EQ(h.join(p.Frq), "1500000") << "Escape restores the committed value";
    EXPECT_TRUE(std::find(spy.keys.begin(), spy.keys.end(), Qt::Key_Escape) == spy.keys.end());
    EXPECT_TRUE(std::find(spy.keys.begin(), spy.keys.end(), Qt::Key_4) == spy.keys.end());
    // Keys that are not the entry's still reach the button.
    PanelHarness::key(Qt::Key_A);
    EXPECT_FALSE(spy.keys.empty());
}

TEST(FrontPanel, EscapeAnywhereAbandonsTheEntryAndShowsWhatTheGeneratorHas) {
    PanelHarness h;
    h.start();
    FrontPanel& p = *h.panel;
    // Level steps are sent; Escape then shows the level in effect, not an older value.
    QTest::mouseClick(p.Lvl[3], Qt::LeftButton);
    PanelHarness::key(Qt::Key_Up);
    PanelHarness::key(Qt::Key_Escape);
    EXPECT_EQ(PanelHarness::join(p.Lvl), "-1260");
    QTest::mouseClick(p.AMm[1], Qt::LeftButton);
    PanelHarness::key(Qt::Key_Escape);
    EXPECT_EQ(PanelHarness::join(p.AMm), " 0") << "the depth, not the field's initial 1";
    // A pending frequency entry is abandoned by Escape typed in the level field.
    idleFrequency(h);
    PanelHarness::typeText("2");
    QTest::mouseClick(p.Lvl[2], Qt::LeftButton);
    PanelHarness::key(Qt::Key_Escape);
    EXPECT_EQ(PanelHarness::join(p.Frq), "1000000");
    enterFrequency(h, "1000000");
    EXPECT_EQ(p.FrqValue[0], 1000000);
    // An entry above the top is sent as the top; Escape then shows the top, not the entry.
    enterFrequency(h, "99999999");
    QTest::mouseClick(p.Frq[6], Qt::LeftButton);
    PanelHarness::key(Qt::Key_Escape);
    EXPECT_EQ(PanelHarness::join(p.Frq), "9900000");
}

TEST(FrontPanel, WhileSelectingDigitsGoToTheFocusedField) {
    PanelHarness h;
    h.start();
    FrontPanel& p = *h.panel;
    QTest::mouseClick(p.Lvl[1], Qt::LeftButton);
    PanelHarness::typeText("05");
    EXPECT_EQ(h.join(p.Lvl), "-0570");
    EXPECT_EQ(h.join(p.Frq), "1000000");
}

TEST(FrontPanel, ValuesTheGeneratorRefusesAreClampedFirst) {
    PanelHarness h;
    h.start();
    FrontPanel& p = *h.panel;
    p.Online = true;
    idleFrequency(h);
    enterFrequency(h, "1234567");
    h.clearTrace();
    p.HScrFrq[0]->setValue(990);  // 990.4567 MHz would be beyond the generator
    EXPECT_EQ(h.writes(), (Writes{"FR990MZ"}));
    EXPECT_EQ(p.FrqValue[0], 9900000);
    EXPECT_EQ(p.HScrFrq[1]->value(), 0);
    expectFrqViewsAgree(p);

    // Delete on the leading digit of 100 MHz writes 0: the panel shows and sends the lowest
    // frequency instead.
    enterFrequency(h, "1000000");
    QTest::mouseClick(p.Frq[0], Qt::LeftButton);
    h.clearTrace();
    PanelHarness::key(Qt::Key_Delete);
    EXPECT_EQ(p.FrqValue[0], 1000);
    EXPECT_EQ(h.writes(), (Writes{"FR.1MZ"}));
    expectFrqViewsAgree(p);
    // The kHz slider at 0 below 1 MHz would make 0 Hz.
    h.clearTrace();
    p.HScrFrq[1]->setValue(0);
    EXPECT_EQ(p.FrqValue[0], 1000);
    EXPECT_EQ(h.writes(), (Writes{"FR.1MZ"}));
    expectFrqViewsAgree(p);

    // Delete on the level's sign box makes +127.0 dBm, above the top.
    QTest::mouseClick(p.Lvl[0], Qt::LeftButton);
    h.clearTrace();
    PanelHarness::key(Qt::Key_Delete);
    EXPECT_EQ(p.LvlValue[0], 130);
    EXPECT_EQ(h.join(p.Lvl), "+0130");
    EXPECT_EQ(h.writes(), (Writes{"AP13DM"}));
    expectLvlViewsAgree(p);
}

TEST(FrontPanel, AccessKeysClickTheirButtons) {
    PanelHarness h;
    h.start();
    FrontPanel& p = *h.panel;
    p.HScrExc->setValue(3);
    QTest::keyClick(&p, Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p.Sweeping; }, 2000)) << "Alt+R runs the sweep";
    p.HScrFrq[0]->setValue(300);
    QTest::keyClick(&p, Qt::Key_Z, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p.FrqValue[0] == 1000000; }, 2000)) << "Alt+Z";
    EXPECT_FALSE(p.Sweeping);
    bool dialogSeen = false;
    QTimer::singleShot(200, [&] {
        if (QDialog* d = p.conf().window()) {
            dialogSeen = true;
            d->reject();
        }
    });
    QTest::keyClick(&p, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogSeen; }, 2000)) << "Alt+C";
}

TEST(FrontPanel, LayoutFollowsTheTwipTables) {
    PanelHarness h;
    h.start();
    const FrontPanel& p = *h.panel;
    const double dpi = logicalDpiX(&p);
    EXPECT_EQ(p.width(), twipsToPixels(6765, dpi));
    EXPECT_EQ(p.Frq[3]->x(), twipsToPixels(1140, dpi));
    EXPECT_EQ(p.Onn->text(), QStringLiteral(" O N"));
    EXPECT_EQ(p.HScrFrq[0]->toolTip(), QStringLiteral("Change MHz"));
    EXPECT_LT(p.HidFocus->geometry().bottom(), 0) << "the focus holder stays out of sight";
    // Tab order: the sign box is skipped.
    EXPECT_EQ(p.HScrFrq[1]->nextInFocusChain(), p.Lvl[1]);
}

}  // namespace
}  // namespace zelmor::panel
