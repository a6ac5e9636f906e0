// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/FrontPanel.h"
#include "zelmor/panel/PanelRemote.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/settings/SettingsStore.h"

// What the end-to-end journeys cannot see: the layout and start-up state, a failing bus, ticks
// one at a time, and what scripts and presets send through the panel's own handlers.
namespace zelmor::panel {
namespace {

using Writes = std::vector<std::string>;

template <std::size_t N>
std::string join(const std::array<digit::QtDigitBox*, N>& row) {
    std::string s;
    for (auto* b : row) s += static_cast<const digit::DigitBox*>(b)->text();
    return s;
}

// A real panel on the simulated generator, started as the main window does it.
struct Panel : ::testing::Test {
    Panel() {
        link.binding();
        p.setUpPanel();
        p.show();
        p.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
        p.Frq[2]->QWidget::setFocus();
    }
    ~Panel() override {  // every command the panel wrote is one the generator takes
        EXPECT_TRUE(sim->notes().empty()) << sim->notes().front();
    }
    Writes take() {  // what the generator took since the last take()
        Writes w = sim->writes();
        sim->clearRecords();
        return w;
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    Writes apply(const std::string& line) {  // as a script sends it
        const RequestReading r = readPanelRequest(line);
        EXPECT_EQ(r.error + remote.apply(r.request), "") << line;
        return take();
    }

    link::GpibAddress address;
    link::SimGenerator* sim = nullptr;  // owned by the link
    link::DeviceLink link{address,
                          [this] {
                              auto generator = std::make_unique<link::SimGenerator>();
                              sim = generator.get();
                              return link::DriverLoad{std::move(generator), {}, false};
                          },
                          nullptr};
    FrontPanel p{link, address, [](MessageIcon, auto&, auto&) {}};
    QTemporaryDir dir;
    std::unique_ptr<settings::SettingsStore> store = settings::makeFileStore(dir.path());
    const QString key = QStringLiteral("Zelmor");
    PanelRemote remote{p, *store, key, nullptr};
};

TEST_F(Panel, StartUpStateAndEscapeInADirectEntry) {
    click(p.Frq[2]);  // a step sent, a digit typed in the box and dropped
    QTest::keyClick(p.Frq[2], Qt::Key_Up);
    QTest::keyClicks(p.Frq[2], QStringLiteral("7"));
    QTest::keyClick(p.Frq[2], Qt::Key_Escape);
    p.Onn->setFocus();  // then Escape in a direct entry shows the frequency in effect again
    QTest::keyClicks(p.Onn, QStringLiteral("42"));
    QTest::keyClick(p.Onn, Qt::Key_Escape);
    EXPECT_EQ(join(p.Frq), "1010000");
    EXPECT_EQ(join(p.AMm) + join(p.FMm) + join(p.Exc), " 0 0  0");
    EXPECT_EQ(p.Onn->text() + p.Swp->text(), QStringLiteral(" O N&R U N"));  // stacked captions
    EXPECT_FALSE(p.Swp->isEnabled()) << "nothing to sweep with an excursion of 0";
    EXPECT_EQ(p.Timer->interval(), 120);
    // The level steps show whole in the narrow step list ("0.1d..." was cut short).
    p.Typ->setCurrentRow(1);
    const QFontMetrics metrics(p.Off->font());
    const int margin =
        p.Off->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, p.Off) + 1;
    for (int i = 0; i < p.Off->count(); ++i)
        EXPECT_LE(metrics.horizontalAdvance(p.Off->item(i)->text()) + 2 * margin,
                  p.Off->viewport()->width());
}

// The button tells whether commands reach the generator, and why not; a dead bus costs one
// time-out per action, not one per command of the burst, and a sweep retries every 3 s only.
TEST_F(Panel, OnLineButtonSaysWhyTheBusFailedAndADeadBusIsTriedOncePerAction) {
    const auto look = [&] {
        const QString s = p.Onn->styleSheet();
        return s.contains("0, 255, 0") ? "green" : s.contains("255, 176, 0") ? "amber" : "red";
    };
    click(p.Onn);
    EXPECT_EQ(look(), std::string("green"));
    sim->setListening(false);
    p.HScrLvl->setValue(-1200);  // the write fails, the link closes
    EXPECT_EQ(look(), std::string("amber"));
    EXPECT_TRUE(p.Onn->toolTip().contains(QRegularExpression(
        "^No listener at board 0, address 7 since ..:..:..: is the generator switched on")));
    sim->setListening(true);
    p.beginAction();  // a new action may reopen
    p.HScrLvl->setValue(-1100);
    EXPECT_EQ(look(), std::string("green"));
    // The defaults over a generator that holds off the handshake: one write, no reopening.
    sim->setWriteTimeout(true);
    sim->clearRecords();
    click(p.Raz);
    EXPECT_EQ(look(), std::string("amber"));
    std::string calls;
    for (const std::string& c : sim->calls()) calls += c.substr(0, c.find(' ')) + " ";
    EXPECT_EQ(calls, "ibwrt ibonl ");
    // A sweep tick reopens at most once every 3 s; the ticks in between touch nothing.
    p.HScrExc->setValue(5);
    sim->clearRecords();
    for (int i = 0; i < 5; ++i) p.Timer_Timer();
    EXPECT_TRUE(sim->calls().empty());
}

TEST_F(Panel, LevelSweepStopsAtTheTopAndAnExcursionOfZeroReturnsAtOnce) {
    click(p.Onn);
    p.Typ->setCurrentRow(1);
    EXPECT_EQ(p.HScrExc->maximum(), 1400);
    p.LvlValue = {100, 100};  // +10.0 dBm as the reference
    p.Off->setCurrentRow(2);  // 3 dB
    p.HScrExc->setValue(5);
    click(p.Swp);
    take();
    std::string shown;  // the level after each tick
    for (int i = 0; i < 3; ++i) p.Timer_Timer(), shown += join(p.Lvl);
    EXPECT_EQ(shown, "+0130+0100+0130");
    EXPECT_EQ(take(), (Writes{"APUP", "AP10DM", "APUP"}));
    p.HScrExc->setValue(0);
    EXPECT_TRUE(p.Swp->isEnabled()) << "a running sweep can still be stopped";
    for (int i = 0; i < 2; ++i) p.Timer_Timer(), shown += join(p.Lvl);
    EXPECT_EQ(shown, "+0130+0100+0130+0100+0100");
    EXPECT_EQ(take(), (Writes{"AP10DM", "AP10DM"}));
    click(p.Swp);  // back to frequency: the slider narrows and shows the frequency's own
    p.HScrExc->setValue(1200);
    p.Typ->setCurrentRow(0);
    EXPECT_EQ(p.HScrExc->maximum(), 999);
    EXPECT_EQ(join(p.Exc), "  0");
}

TEST_F(Panel, RemoteWritePerQuantityThatChangesAndNoneOffLine) {
    click(p.Onn);
    take();
    // clang-format off
    const std::pair<const char*, Writes> rows[] = {  // AM from off: one command; its rate alone
        {"FR145.50MZ", {"FR145.5MZ"}}, {"FR145.5MZ AP-127DM FMS2S4", {}},
        {"S3AM30PC", {"S3AM30PC"}}, {"S2AM30PC", {"S2AM30PC"}}, {"S3AM40PC", {"S3AM40PC"}},
        {"AMS2S4 S3FM10KZ", {"AMS2S4", "S3FM10KZ"}},
        {"APIS1DM :excursion 1200 :delay 250", {"APIS0.1DM", "APIS1DM"}},  // list, then step
        {"FRIS100HZ AP-30DM", {"AP-30DM", "FRIS100HZ"}}};
    // clang-format on
    for (const auto& [line, writes] : rows) EXPECT_EQ(apply(line), writes) << line;
    EXPECT_EQ(remote.state(), "FR145.5MZ AP-30DM AMS2S4 S3FM10KZ FRIS100HZ");
    EXPECT_TRUE(p.AMk[1]->isChecked()) << "switched off, AM keeps its rate";
    click(p.Onn);
    take();
    EXPECT_EQ(apply("FR1MZ AP0DM S2AM5PC"), Writes{});
    EXPECT_EQ(remote.state(), "FR1MZ AP0DM S2AM5PC S3FM10KZ FRIS100HZ");
}

TEST_F(Panel, RemotePresetsRestoreTheWholeStateAndAnUnreadableOneStays) {
    store->WriteSetting(key, QStringLiteral("X"), 1234);
    apply("FR145.5MZ AP-30DM S3AM30PC FRIS1000HZ :excursion 5 :delay 250");
    ASSERT_EQ(remote.store(3), "");
    EXPECT_EQ(store->ReadSettingText(key, "Preset3", {}),
              "FR145.5MZ AP-30DM S3AM30PC FMS2S4 FRIS1000HZ :excursion 5 :delay 250");
    EXPECT_EQ(store->ReadSetting(key, QStringLiteral("X"), 0), 1234);
    apply("FR100MZ AP-127DM AMS2S4 FRIS100HZ :excursion 3 :delay 120");
    click(p.Onn);
    click(p.Swp);
    p.Timer_Timer(), p.Timer_Timer();
    take();
    // The sweep stops first and writes where it stood; then one command per quantity.
    EXPECT_EQ(remote.act(PanelRemote::Action::Recall, 3), "");
    EXPECT_EQ(take(), (Writes{"FR100.0002MZ", "AP-127DM", "FR145.5MZ", "AP-30DM", "S3AM30PC",
                              "FRIS1000HZ"}));
    store->WriteSettingText(key, QStringLiteral("Preset4"), QStringLiteral("FR12"));
    EXPECT_EQ(remote.recall(4), "preset 4 cannot be read: 2: number 12 has no unit");
    EXPECT_EQ(remote.recall(5), "preset 5 is empty");
    EXPECT_EQ(store->ReadSettingText(key, "Preset4", {}), QStringLiteral("FR12"));
}

}  // namespace
}  // namespace zelmor::panel
