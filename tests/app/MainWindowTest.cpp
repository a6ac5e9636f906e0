// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <tuple>

#include "zelmor/app/Main.h"
#include "zelmor/app/SimDisplay.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::app {
namespace {

namespace names = settings::names;

// Main windows over a file store in a temporary folder and the simulated generator.
struct MainHarness {
    std::unique_ptr<Main> make() {
        return std::make_unique<Main>(
            *store,
            [] {
                return link::DriverLoad{std::make_unique<link::SimGenerator>(), {}, false};
            },
            [this](panel::MessageIcon, const QString& title, const QString& text) {
                shown.emplace_back(title, text);
            });
    }

    QTemporaryDir dir_;
    std::unique_ptr<settings::SettingsStore> store = settings::makeFileStore(dir_.path());
    std::vector<std::pair<QString, QString>> shown;  // title, text
};

TEST(MainWindow, StoredPositionAndAddressAreChecked) {
    MainHarness h;
    const QString key = QStringLiteral("Zelmor");
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpiX = screen->logicalDotsPerInchX(), dpiY = screen->logicalDotsPerInchY();
    const double widthTwips = panel::pixelsToTwips(screen->geometry().width(), dpiX);
    // An out-of-range address reads as absent; the board next to it is kept.
    h.store->WriteSetting(key, QLatin1String(names::PAd), 70000);
    h.store->WriteSetting(key, QLatin1String(names::Board), 3);
    const std::tuple<double, double, double, bool> cases[] = {
        // x, y, x shown, y kept
        {1500, 1500, 1500, true},
        {widthTwips + 10, -5, 100, false},  // else the creation top
        {-1, 300, 100, true},
        {widthTwips - 100, 0, widthTwips - 100, true}};
    for (const auto& [x, y, shownX, yKept] : cases) {
        h.store->WriteSetting(key, QLatin1String(names::X), x);
        h.store->WriteSetting(key, QLatin1String(names::Y), y);
        auto w = h.make();
        const int createdTop = w->pos().y();
        ASSERT_TRUE(w->Form_Load(QString()));
        EXPECT_EQ(w->pos().x(), panel::twipsToPixels(shownX, dpiX)) << x;
        EXPECT_EQ(w->pos().y(), yKept ? panel::twipsToPixels(y, dpiY) : createdTop) << y;
        EXPECT_EQ(w->gpibAddress().PAd, 7);
        EXPECT_EQ(w->gpibAddress().Board, 3);
    }
}

TEST(MainWindow, UsageAndCleanExitsWriteNothing) {
    MainHarness h;
    auto exitsEarly = [&](const QString& commandLine) {
        auto w = h.make();
        EXPECT_FALSE(w->Form_Load(commandLine));
        w->close();
    };
    exitsEarly(QStringLiteral("a -? b"));
    const std::pair<QString, QString> usage = {
        "Zelmor",
        "Usage:\tZelmor.exe (NUM) (-clean)\r\n     with\r\n"
        "\tNAME  = Instance name\r\n\t-clean = Registry clean option"};
    EXPECT_EQ(h.shown, std::vector{usage});
    EXPECT_FALSE(QFile::exists(settings::storeFilePath(h.dir_.path())));
    h.store->WriteSetting("Zelmor - 2", QLatin1String(names::X), 5);
    h.store->WriteSetting("Zelmor - 3", QLatin1String(names::X), 6);
    exitsEarly(QStringLiteral(" 2 -clean "));
    EXPECT_EQ(h.shown.back().second,
              QStringLiteral("Cleaning 2 registry context\r\nPlease restart application"));
    EXPECT_EQ(h.store->ReadSetting("Zelmor - 2", QLatin1String(names::X), -1), -1);
    EXPECT_EQ(h.store->ReadSetting("Zelmor - 3", QLatin1String(names::X), -1), 6);
}

// The dialog has no Cancel button: Escape does not close it, and closed without "&OK" at its first
// use, it must not hand back 0, 0, 0 for the address the user has.
TEST(MainWindow, ConfigurationClosedWithoutOkKeepsTheAddress) {
    MainHarness h;
    auto w = h.make();
    ASSERT_TRUE(w->Form_Load(QString()));
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    bool survivedEscape = false;
    QTimer::singleShot(0, [&] {
        QDialog* dialog = w->conf().window();
        QTest::keyClick(dialog->findChildren<QLineEdit*>().front(), Qt::Key_Escape);
        survivedEscape = dialog->isVisible();
        dialog->reject();
    });
    QTest::mouseClick(w->Cnf, Qt::LeftButton);
    EXPECT_TRUE(survivedEscape);
    EXPECT_EQ(w->gpibAddress().PAd, 7);
}

TEST(SimDisplay, FollowsTheGeneratorAndShowsWhatItRefused) {
    link::SimGenerator sim;
    SimDisplay display(sim);
    EXPECT_TRUE(display.readout().startsWith("FREQUENCY  100.0000 MHz\nAMPLITUDE  -127.0 dBm\n"));
    sim.ibconfig(0, link::IbcSendLLO, 1);
    const std::int32_t ud = sim.ibdev(0, 7, 0, 12, 1, 0);
    sim.ibclr(ud);
    for (const char* command :
         {"FR123.4567MZ", "AP-30.5DM", "S3AM30PC", "S2FM10KZ", "FRIS1000HZ", "APIS3DM", "FR2000MZ"})
        sim.ibwrt(ud, command);
    EXPECT_EQ(display.readout(),
              "FREQUENCY  123.4567 MHz\nAMPLITUDE  -30.5 dBm\nAM         30 % INT 1 kHz\n"
              "FM         10.0 kHz INT 400 Hz\nINCREMENT  0.0010 MHz  3.0 dB\nREMOTE  LOCKOUT\n"
              "REFUSED    \"FR2000MZ\": frequency 2000MZ is outside 0.1 to 990 MHz");
    sim.ibloc(ud);
    EXPECT_TRUE(display.readout().contains("\nLOCAL\nREFUSED    \"FR2000MZ\""));
}

}  // namespace
}  // namespace zelmor::app
