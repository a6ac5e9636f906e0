// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "zelmor/app/Main.h"
#include "zelmor/app/SimDisplay.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::app {
namespace {

namespace names = settings::names;
constexpr std::int32_t Absent = -999999;

// Main windows over a file store in a temporary folder and the simulated generator.
class MainHarness {
public:
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
    // A window loaded with an empty command line and shown.
    std::unique_ptr<Main> shownWindow() {
        auto w = make();
        EXPECT_TRUE(w->Form_Load(QString()));
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    std::int32_t stored(const QString& key, const char* name) {
        return store->ReadSetting(key, QLatin1String(name), Absent);
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
    struct Case {
        double x, y, expectedXTwips;
        bool yKept;  // otherwise the creation top
    };
    // An out-of-range address reads as absent; the board next to it is kept.
    h.store->WriteSetting(key, QLatin1String(names::PAd), 70000);
    h.store->WriteSetting(key, QLatin1String(names::Board), 3);
    for (const Case& c :
         {Case{1500, 1500, 1500, true}, Case{widthTwips + 10, -5, 100, false},
          Case{-1, 300, 100, true}, Case{widthTwips - 100, 0, widthTwips - 100, true}}) {
        h.store->WriteSetting(key, QLatin1String(names::X), c.x);
        h.store->WriteSetting(key, QLatin1String(names::Y), c.y);
        auto w = h.make();
        const int createdTop = w->pos().y();
        ASSERT_TRUE(w->Form_Load(QString()));
        EXPECT_EQ(w->pos().x(), panel::twipsToPixels(c.expectedXTwips, dpiX)) << c.x;
        EXPECT_EQ(w->pos().y(), c.yKept ? panel::twipsToPixels(c.y, dpiY) : createdTop) << c.y;
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
    ASSERT_EQ(h.shown.size(), 1u);
    EXPECT_EQ(h.shown[0].first, QStringLiteral("Zelmor"));
    EXPECT_EQ(h.shown[0].second,
              QStringLiteral("Usage:\tZelmor.exe (NUM) (-clean)\r\n     with\r\n"
                             "\tNAME  = Instance name\r\n\t-clean = Registry clean option"));
    EXPECT_FALSE(QFile::exists(settings::storeFilePath(h.dir_.path())));
    h.store->WriteSetting(QStringLiteral("Zelmor - 2"), QLatin1String(names::X), 5);
    h.store->WriteSetting(QStringLiteral("Zelmor - 3"), QLatin1String(names::X), 6);
    exitsEarly(QStringLiteral(" 2 -clean "));
    EXPECT_EQ(h.shown.back().second,
              QStringLiteral("Cleaning 2 registry context\r\nPlease restart application"));
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor - 2"), names::X), Absent);
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor - 3"), names::X), 6);
}

// The dialog has no Cancel button: Escape does not close it, and closed without "&OK" at its first
// use, it must not hand back 0, 0, 0 for the address the user has.
TEST(MainWindow, ConfigurationClosedWithoutOkKeepsTheAddress) {
    MainHarness h;
    auto w = h.shownWindow();
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
    sim.ibwrt(ud, "AP13DMAMS2S4");
    sim.ibloc(ud);
    EXPECT_TRUE(display.readout().contains("AMPLITUDE  +13.0 dBm\nAM         OFF\n"));
    EXPECT_TRUE(display.readout().contains("\nLOCAL\nREFUSED    \"FR2000MZ\""));
}

}  // namespace
}  // namespace zelmor::app
