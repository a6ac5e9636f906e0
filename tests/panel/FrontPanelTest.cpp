// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <functional>

#include "PanelHarness.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::panel {
namespace {

using testing::PanelHarness;
using testing::Writes;
using Key = PanelHarness;
using Panel = testing::PanelTest;

// Fields, sliders and model show one frequency and one level.
void expectViewsAgree(const FrontPanel& p) {
    EXPECT_EQ(p.FrqDigit->value(), p.FrqValue[0]);
    EXPECT_EQ(p.FrqValue[0] >= 10000 ? p.HScrFrq[0]->value() * 10000.0 + p.HScrFrq[1]->value()
                                     : p.HScrFrq[1]->value(),
              p.FrqValue[0]);
    EXPECT_EQ(p.LvlDigit->value(), p.LvlValue[0]);
    EXPECT_EQ(p.HScrLvl->value(), p.LvlValue[0]);
}

// Leaves the frequency field idle, so that digits typed anywhere become a direct entry.
void idleFrequency(PanelHarness& h) {
    h.panel->Frq[2]->QWidget::setFocus();
    Key::key(Qt::Key_Return);
    ASSERT_FALSE(h.panel->FrqDigit->HasFocus());
}

// Start-up writes nothing; then one key on line opens the link and writes one command.
TEST_F(Panel, StartUpThenOneKeystrokeOnLine) {
    EXPECT_EQ(h.join(p.Frq), "1000000");
    EXPECT_EQ(h.join(p.Lvl), "-1270");
    EXPECT_EQ(h.join(p.AMm) + h.join(p.FMm), " 0 0");
    EXPECT_TRUE(p.FrqDigit->HasFocus());
    EXPECT_TRUE(h.lines().isEmpty());
    expectViewsAgree(p);
    p.Online = true;
    Key::key(Qt::Key_Up);
    EXPECT_EQ(h.writes(), (Writes{"XX", "FR101MZ"}));
    const QStringList lines = h.lines();
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("ibconfig 0 23 1 -> ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("ibdev 0 7 0 12 1 0 -> ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("ibclr ")));
    EXPECT_EQ(p.FrqValue[1], 1010000);
    expectViewsAgree(p);
}

TEST_F(Panel, EveryCommandComesFromItsControl) {
    p.Online = true;
    p.SendFrq();  // opens the link: the probe is out of the way
    auto run = [&](const std::vector<std::pair<std::function<void()>, Writes>>& steps) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            h.clearTrace();
            steps[i].first();
            EXPECT_EQ(h.writes(), steps[i].second) << "step " << i;
            expectViewsAgree(p);
        }
    };
    auto lvl = [this](int v) { return [this, v] { p.HScrLvl->setValue(v); }; };
    run({{[&] { Key::typeInto(p.AMm[0], "30"); }, {"S2AM30PC"}},
         {[&] { QTest::mouseClick(p.AMk[1], Qt::LeftButton); }, {"S3AM30PC"}},
         {[&] { Key::typeInto(p.AMm[0], "30"); }, {}},  // the depth already set: nothing
         {[&] { QTest::mouseClick(p.AMk[0], Qt::LeftButton); }, {"S2AM30PC"}},
         {[&] { Key::typeInto(p.AMm[0], "05"); }, {"S2AM5PC"}},
         {[&] { Key::typeInto(p.AMm[0], "00"); }, {"AMS2S4"}},
         {[&] { Key::typeInto(p.FMm[0], "10"); }, {"S2FM10KZ"}},
         {[&] { QTest::mouseClick(p.FMk[1], Qt::LeftButton); }, {"S3FM10KZ"}},
         {[&] { Key::typeInto(p.FMm[0], "99"); }, {"S3FM99KZ"}},
         {[&] { p.HScrFMm->setValue(0); }, {"FMS2S4"}},
         // Options cannot be chosen while their modulation is off.
         {[&] { QTest::mouseClick(p.AMk[1], Qt::LeftButton); }, {}}});
    EXPECT_FALSE(p.FMk[0]->isEnabled());
    EXPECT_FALSE(p.AMk[1]->isEnabled());
    EXPECT_TRUE(p.AMk[0]->isChecked());
    EXPECT_TRUE(p.FMk[1]->isChecked()) << "the rate survives a depth of 0";
    // Return commits the selected field and leaves it idle: digits now make a direct entry.
    run({{[&] { idleFrequency(h); }, {"FR100MZ"}},
         {[] { Key::enter("1000"); }, {"FR.1MZ"}},
         {[] { Key::enter("9900000"); }, {"FR990MZ"}},
         {[] { Key::enter("1234567"); }, {"FR123.4567MZ"}},
         {[] { Key::enter("15000"); }, {"FR1.5MZ"}},
         {[] { Key::enter("1000000"); }, {"FR100MZ"}},
         {lvl(130), {"AP13DM"}},
         {lvl(-1270), {"AP-127DM"}},
         {lvl(0), {"AP0DM"}},
         {lvl(-5), {"AP-.5DM"}},
         {lvl(5), {"AP.5DM"}},
         {lvl(-1234), {"AP-123.4DM"}}});
    EXPECT_EQ(p.FrqValue[1], 1000000) << "a direct entry is a commit";
    EXPECT_EQ(p.LvlValue[1], -1270) << "a slider keeps the sweep reference";
    QTest::mouseClick(p.Lvl[4], Qt::LeftButton);
    run({{[] { Key::key(Qt::Key_Up); }, {"AP-123.3DM"}}});
    EXPECT_EQ(p.LvlValue[1], -1233) << "a stepped digit is a commit";
}

// On line every change writes exactly one command (see the tables above); off line none.
TEST_F(Panel, OffLineChangesWriteNothingAndKeepTheViewsAgreeing) {
    p.SendFrq();
    for (const std::function<void()>& act : std::vector<std::function<void()>>{
             [] { Key::key(Qt::Key_Up); }, [] { Key::key(Qt::Key_Down); },
             [&] { p.HScrFrq[0]->setValue(250); }, [&] { p.HScrFrq[1]->setValue(1234); },
             [] { Key::key(Qt::Key_Delete); }, [] { Key::key(Qt::Key_Return); },
             [&] { p.HScrLvl->setValue(-300); }}) {
        act();
        expectViewsAgree(p);
    }
    EXPECT_TRUE(h.lines().isEmpty());
}

TEST_F(Panel, SliderMovesKeepTheReferenceAndCommitsSetIt) {
    p.Online = true;
    idleFrequency(h);
    Key::enter("1234567");
    h.clearTrace();
    p.HScrFrq[0]->setValue(200);
    p.HScrFrq[1]->setValue(0);
    EXPECT_EQ(h.take(), (Writes{"FR200.4567MZ", "FR200MZ"}));
    EXPECT_EQ(h.join(p.Frq), "2000000");
    EXPECT_EQ(p.FrqValue[1], 1234567);
    // A real key on the focused slider reaches the slider, not the idle frequency field.
    p.HScrFrq[0]->setFocus();
    Key::key(Qt::Key_Right);
    EXPECT_EQ(h.writes(), (Writes{"FR201MZ"}));
    EXPECT_EQ(p.FrqValue[1], 1234567);
    Key::enter("2500000");
    EXPECT_EQ(p.FrqValue[1], 2500000);
    expectViewsAgree(p);
}

// Records the key presses that reach a control.
struct KeySpy : QObject {
    std::vector<int> keys;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) keys.push_back(static_cast<QKeyEvent*>(e)->key());
        return false;
    }
};

TEST(FrontPanel, DigitsGoToTheFrequencyOnceItIsIdleAndEscapeNeverReachesAButton) {
    PanelHarness h;
    KeySpy spy;
    h.panel->Onn->installEventFilter(&spy);  // before the window's own preview
    h.start();
    FrontPanel& p = *h.panel;
    // While selecting, digits go to the focused field.
    QTest::mouseClick(p.Lvl[1], Qt::LeftButton);
    Key::typeText("05");
    EXPECT_EQ(h.join(p.Lvl), "-0570");
    EXPECT_EQ(h.join(p.Frq), "1000000");
    Key::key(Qt::Key_Escape);
    p.Online = true;
    p.SendFrq();
    idleFrequency(h);
    QTest::mouseClick(p.Lvl[2], Qt::LeftButton);
    ASSERT_TRUE(p.LvlDigit->HasFocus());
    h.clearTrace();
    Key::typeText("150");
    EXPECT_EQ(h.join(p.Frq), "    150");
    EXPECT_EQ(h.join(p.Lvl), "-1270") << "the level field never saw the digits";
    Key::enter("0000");
    EXPECT_EQ(p.FrqValue[0], 1500000);
    EXPECT_EQ(h.writes(), (Writes{"FR150MZ"}));
    // Escape belongs to the direct entry, even with a button focused.
    p.Onn->setFocus();
    Key::typeText("42");  // the entry takes the focus away from the button
    p.Onn->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), p.Onn);
    Key::key(Qt::Key_Escape);
    EXPECT_EQ(h.join(p.Frq), "1500000") << "Escape restores the committed value";
    EXPECT_EQ(std::count(spy.keys.begin(), spy.keys.end(), Qt::Key_Escape), 0);
    EXPECT_EQ(std::count(spy.keys.begin(), spy.keys.end(), Qt::Key_4), 0);
    Key::key(Qt::Key_A);  // keys that are not the entry's still reach the button
    EXPECT_FALSE(spy.keys.empty());
}

TEST_F(Panel, EscapeAnywhereAbandonsTheEntryAndShowsWhatTheGeneratorHas) {
    // Level steps are sent; Escape then shows the level in effect, not an older value.
    QTest::mouseClick(p.Lvl[3], Qt::LeftButton);
    Key::key(Qt::Key_Up);
    Key::key(Qt::Key_Escape);
    EXPECT_EQ(h.join(p.Lvl), "-1260");
    QTest::mouseClick(p.AMm[1], Qt::LeftButton);
    Key::key(Qt::Key_Escape);
    EXPECT_EQ(h.join(p.AMm), " 0") << "the depth, not the field's initial 1";
    // A pending frequency entry is abandoned by Escape typed in the level field.
    idleFrequency(h);
    Key::typeText("2");
    QTest::mouseClick(p.Lvl[2], Qt::LeftButton);
    Key::key(Qt::Key_Escape);
    EXPECT_EQ(h.join(p.Frq), "1000000");
    // An entry above the top is sent as the top; Escape then shows the top, not the entry.
    Key::enter("1000000");
    Key::enter("99999999");
    QTest::mouseClick(p.Frq[6], Qt::LeftButton);
    Key::key(Qt::Key_Escape);
    EXPECT_EQ(h.join(p.Frq), "9900000");
}

TEST_F(Panel, ValuesTheGeneratorRefusesAreClampedFirst) {
    p.Online = true;
    idleFrequency(h);
    Key::enter("1234567");
    auto expectSent = [&](std::function<void()> act, const char* command) {
        h.clearTrace();
        act();
        EXPECT_EQ(h.writes(), (Writes{command}));
        expectViewsAgree(p);
    };
    // 990.4567 MHz would be beyond the generator.
    expectSent([&] { p.HScrFrq[0]->setValue(990); }, "FR990MZ");
    EXPECT_EQ(p.HScrFrq[1]->value(), 0);
    // Delete on the leading digit of 100 MHz writes 0: the lowest frequency is used instead.
    Key::enter("1000000");
    QTest::mouseClick(p.Frq[0], Qt::LeftButton);
    expectSent([] { Key::key(Qt::Key_Delete); }, "FR.1MZ");
    // The kHz slider at 0 below 1 MHz would make 0 Hz.
    expectSent([&] { p.HScrFrq[1]->setValue(0); }, "FR.1MZ");
    EXPECT_EQ(p.FrqValue[0], 1000);
    // Delete on the level's sign box makes +127.0 dBm, above the top.
    QTest::mouseClick(p.Lvl[0], Qt::LeftButton);
    expectSent([] { Key::key(Qt::Key_Delete); }, "AP13DM");
    EXPECT_EQ(h.join(p.Lvl), "+0130");
}

TEST_F(Panel, AccessKeysClickTheirButtons) {
    p.HScrExc->setValue(3);
    QTest::keyClick(&p, Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p.Sweeping; }, 2000)) << "Alt+R runs the sweep";
    p.HScrFrq[0]->setValue(300);
    QTest::keyClick(&p, Qt::Key_Z, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p.FrqValue[0] == 1000000 && !p.Sweeping; }, 2000))
        << "Alt+Z";
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

TEST_F(Panel, LayoutFollowsTheTwipTables) {
    const double dpi = logicalDpiX(&p);
    EXPECT_EQ(p.width(), twipsToPixels(6765, dpi));
    EXPECT_EQ(p.Frq[3]->x(), twipsToPixels(1140, dpi));
    EXPECT_EQ(p.Onn->text(), QStringLiteral(" O N"));
    EXPECT_EQ(p.HScrFrq[0]->toolTip(), QStringLiteral("Change MHz"));
    EXPECT_LT(p.HidFocus->geometry().bottom(), 0) << "the focus holder stays out of sight";
    EXPECT_EQ(p.HScrFrq[1]->nextInFocusChain(), p.Lvl[1]) << "the sign box is skipped";
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

}  // namespace
}  // namespace zelmor::panel
