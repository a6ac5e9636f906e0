// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDialog>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <tuple>

#include "../link/FakeLibrary.h"
#include "zelmor/app/Main.h"
#include "zelmor/app/SimDisplay.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::app {
namespace {

namespace names = settings::names;

// Main windows over a file store in a temporary folder and the simulated generator.
struct MainWindow : ::testing::Test {
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

    QTemporaryDir dir;
    std::unique_ptr<settings::SettingsStore> store = settings::makeFileStore(dir.path());
    std::vector<std::pair<QString, QString>> shown;  // title, text
};

TEST_F(MainWindow, StoredPositionAndAddressAreCheckedAndKeptByADialogClosedWithoutOk) {
    const QString key = QStringLiteral("Zelmor");
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpiX = screen->logicalDotsPerInchX(), dpiY = screen->logicalDotsPerInchY();
    const double widthTwips = panel::pixelsToTwips(screen->geometry().width(), dpiX);
    // An out-of-range address reads as absent; the board next to it is kept.
    store->WriteSetting(key, QLatin1String(names::PAd), 70000);
    store->WriteSetting(key, QLatin1String(names::Board), 3);
    // clang-format off
    const std::tuple<double, double, double, bool> cases[] = {  // x, y, x shown, y kept
        {1500, 1500, 1500, true}, {widthTwips + 10, -5, 100, false},  // else the creation top
        {-1, 300, 100, true}, {widthTwips - 100, 0, widthTwips - 100, true}};
    // clang-format on
    for (const auto& [x, y, shownX, yKept] : cases) {
        store->WriteSetting(key, QLatin1String(names::X), x);
        store->WriteSetting(key, QLatin1String(names::Y), y);
        auto w = make();
        const int createdTop = w->pos().y();
        ASSERT_TRUE(w->Form_Load(QString()));
        EXPECT_EQ(w->pos().x(), panel::twipsToPixels(shownX, dpiX)) << x;
        EXPECT_EQ(w->pos().y(), yKept ? panel::twipsToPixels(y, dpiY) : createdTop) << y;
        // The dialog has no Cancel button: closed without "&OK" at its first use, it must not
        // hand back 0, 0, 0 for the address the user has.
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        QTimer::singleShot(0, [&] { w->conf().window()->reject(); });
        QTest::mouseClick(w->Cnf, Qt::LeftButton);
        EXPECT_EQ(w->gpibAddress().PAd, 7);
        EXPECT_EQ(w->gpibAddress().Board, 3);
    }
}

TEST_F(MainWindow, UsageAndCleanExitsWriteNothing) {
    const auto exitsEarly = [&](const QString& commandLine) {  // and a close stores nothing
        auto w = make();
        EXPECT_FALSE(w->Form_Load(commandLine));
        w->close();
    };
    exitsEarly(QStringLiteral("a -? b"));
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_TRUE(shown[0].second.startsWith("Usage:\tZelmor.exe (NUM) (-clean)"));
    EXPECT_FALSE(QFile::exists(settings::storeFilePath(dir.path())));
    store->WriteSetting("Zelmor - 2", QLatin1String(names::X), 5);
    store->WriteSetting("Zelmor - 3", QLatin1String(names::X), 6);
    exitsEarly(QStringLiteral(" 2 -clean "));
    EXPECT_EQ(shown.back().second,
              QStringLiteral("Cleaning 2 registry context\r\nPlease restart application"));
    EXPECT_EQ(store->ReadSetting("Zelmor - 2", QLatin1String(names::X), -1), -1);
    EXPECT_EQ(store->ReadSetting("Zelmor - 3", QLatin1String(names::X), -1), 6);
}

// The real window over a driver library that fails on request: each driver call failing in
// turn, in every operation that makes it (open, probe, command, clear, go to local, off line),
// a write that blocks until the time-out, an entry point missing. Through switching on, a
// command, the sweep, the defaults, the dialog and closing: no crash, no hang, never green over
// a link that failed, no descriptor left on line but the open one, and the settings written.
// `call` fails the nth time (0: never) with `err`; each write blocks `blockMs`.
void playThrough(const char* library, const char* call, int nth, int err, int blockMs = 0) {
    SCOPED_TRACE(std::string(call) + " #" + std::to_string(nth));
    link::FakeLibrary fake(library);
    if (nth > 0) fake.fail(call, nth, err);
    fake.set("block", blockMs);
    QTemporaryDir dir;
    auto store = settings::makeFileStore(dir.path());
    int messages = 0;
    Main w(
        *store, [&] { return link::fromSpec(fake.spec()); },
        [&](panel::MessageIcon, const QString&, const QString&) { ++messages; });
    ASSERT_TRUE(w.Form_Load(QString()));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto step = [&](const char* what, const std::function<void()>& act) {
        const auto start = std::chrono::steady_clock::now();
        act();
        // A hang would be many time-outs; one action makes a handful of calls at most.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << what;
        const bool green = w.Onn->styleSheet().contains(QStringLiteral("0, 255, 0"));
        EXPECT_TRUE(!green || (w.Online && w.deviceLink().DeviceOpen())) << what;
        EXPECT_EQ(w.Online, w.Onn->text() == QStringLiteral("OFF")) << what;
        EXPECT_EQ(fake.online() - fake.failedOnl(), w.deviceLink().DeviceOpen() ? 1 : 0) << what;
    };
    const auto click = [](QWidget* on) { QTest::mouseClick(on, Qt::LeftButton); };
    step("switch on", [&] { click(w.Onn); });
    step("a command", [&] { click(w.Frq[2]), QTest::keyClick(w.Frq[2], Qt::Key_Up); });
    step("the sweep", [&] {
        w.HScrExc->setValue(2), click(w.Swp);
        for (int i = 0; i < 4; ++i) w.Timer_Timer();
        click(w.Swp);
    });
    step("the defaults", [&] { click(w.Raz); });
    step("the dialog", [&] {
        QTimer::singleShot(0, [&] { click(w.conf().window()->findChild<QPushButton*>("OK")); });
        click(w.Cnf);
    });
    step("off and on", [&] { click(w.Onn), click(w.Onn); });
    w.close();
    for (const char* name : {"X", "Y", "Board", "PAd", "SAd"})
        EXPECT_NE(store->ReadSetting("Zelmor", QLatin1String(name), -99999), -99999) << name;
    EXPECT_EQ(messages > 0, library == std::string(FAKE_GPIB_NO_IBLOC));
}

TEST(FaultInjection, EachDriverCallFailingInTurnABlockedWriteAndAMissingEntryPoint) {
    for (const char* call : {"ibconfig", "ibdev", "ibclr", "ibwrt", "ibloc", "ibonl"}) {
        const int err = std::string(call) == "ibdev" ? link::ENEB : link::ENOL;
        for (const int nth : {1, 2, 3, 5, 8}) playThrough(FAKE_GPIB_THREAD, call, nth, err);
    }
    playThrough(FAKE_GPIB_THREAD, "ibwrt", 2, link::EABO);
    playThrough(FAKE_GPIB_THREAD, "", 0, 0, 300);
    playThrough(FAKE_GPIB_NO_IBLOC, "", 0, 0);
}

// The simulated generator's own display, which a user without a bus reads instead of the front
// of a real generator.
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
