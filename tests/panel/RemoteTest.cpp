// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "PanelHarness.h"
#include "zelmor/panel/PanelRemote.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/settings/SettingsStore.h"

// What scripts and presets send to the bus, through the panel's own handlers.
namespace zelmor::panel {
namespace {

using testing::Writes;

struct Remote : testing::PanelTest {
    QTemporaryDir dir;
    std::unique_ptr<settings::SettingsStore> store = settings::makeFileStore(dir.path());
    const QString key = QStringLiteral("Zelmor");
    PanelRemote remote{p, *store, key, nullptr};

    Writes apply(const std::string& line) {
        const RequestReading r = readPanelRequest(line);
        EXPECT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(remote.apply(r.request), "") << line;
        return h.take();
    }
};

TEST_F(Remote, OneWritePerQuantityThatChangesAndNoneOffLine) {
    QTest::mouseClick(p.Onn, Qt::LeftButton);
    h.take();
    const std::pair<const char*, Writes> rows[] = {
        {"FR145.50MZ", {"FR145.5MZ"}},
        {"FR145.5MZ AP-127DM FMS2S4", {}},
        {"S3AM30PC", {"S3AM30PC"}},  // depth and rate from off: one command
        {"S2AM30PC", {"S2AM30PC"}},  // the rate alone: its option's click
        {"S3AM40PC", {"S3AM40PC"}},
        {"AMS2S4 S3FM10KZ", {"AMS2S4", "S3FM10KZ"}},
        {"APIS1DM :excursion 1200 :delay 250", {"APIS0.1DM", "APIS1DM"}},  // list, then step
        {"FRIS100HZ AP-30DM", {"AP-30DM", "FRIS100HZ"}},
    };
    for (const auto& [line, writes] : rows) EXPECT_EQ(apply(line), writes) << line;
    EXPECT_EQ(remote.state(), "FR145.5MZ AP-30DM AMS2S4 S3FM10KZ FRIS100HZ");
    EXPECT_TRUE(p.AMk[1]->isChecked()) << "switched off, AM keeps its rate";
    EXPECT_EQ(p.ExcValue[1], 1200);
    EXPECT_EQ(p.DlyLbl->text(), QStringLiteral("D:0250ms"));
    QTest::mouseClick(p.Onn, Qt::LeftButton);
    h.take();
    EXPECT_EQ(apply("FR1MZ AP0DM S2AM5PC"), Writes{});
    EXPECT_EQ(remote.state(), "FR1MZ AP0DM S2AM5PC S3FM10KZ FRIS100HZ");
    EXPECT_EQ(testing::PanelHarness::join(p.Frq), "  10000");
}

TEST_F(Remote, PresetsRestoreTheWholeStateAndAnUnreadableOneStays) {
    store->WriteSetting(key, QStringLiteral("X"), 1234);
    apply("FR145.5MZ AP-30DM S3AM30PC FRIS1000HZ :excursion 5 :delay 250");
    ASSERT_EQ(remote.store(3), "");
    EXPECT_EQ(store->ReadSettingText(key, "Preset3", {}),
              "FR145.5MZ AP-30DM S3AM30PC FMS2S4 FRIS1000HZ :excursion 5 :delay 250");
    EXPECT_EQ(store->ReadSetting(key, QStringLiteral("X"), 0), 1234);
    apply("FR100MZ AP-127DM AMS2S4 FRIS100HZ :excursion 3 :delay 120");
    QTest::mouseClick(p.Onn, Qt::LeftButton);
    QTest::mouseClick(p.Swp, Qt::LeftButton);
    p.Timer_Timer(), p.Timer_Timer();
    h.take();
    // The sweep stops first and writes where it stood; then one command per quantity.
    EXPECT_EQ(remote.act(PanelRemote::Action::Recall, 3), "");
    EXPECT_EQ(h.take(), (Writes{"FR100.0002MZ", "AP-127DM", "FR145.5MZ", "AP-30DM", "S3AM30PC",
                                "FRIS1000HZ"}));
    QTest::mouseClick(p.Onn, Qt::LeftButton);
    apply("FR1MZ");
    EXPECT_EQ(remote.recall(3), "");
    EXPECT_EQ(h.take(), Writes{});

    store->WriteSettingText(key, QStringLiteral("Preset4"), QStringLiteral("FR12"));
    EXPECT_EQ(remote.recall(4), "preset 4 cannot be read: 2: number 12 has no unit");
    EXPECT_EQ(remote.recall(5), "preset 5 is empty");
    EXPECT_EQ(store->ReadSettingText(key, "Preset4", {}), QStringLiteral("FR12"));
}

}  // namespace
}  // namespace zelmor::panel
