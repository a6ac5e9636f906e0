// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "../link/FakeLibrary.h"
#include "zelmor/app/Main.h"
#include "zelmor/panel/StackedButton.h"

// The real window over a driver library that fails on request: each driver call failing in
// turn, in every operation that makes it (open, probe, command, clear, go to local, off line),
// a write that blocks until the time-out, an entry point missing. Through switching on, a
// command, the sweep, the defaults, the dialog and closing: no crash, no hang, never green over
// a link that failed, no descriptor left on line but the open one, and the settings written.
namespace zelmor::app {
namespace {

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
        QTimer::singleShot(0, [&] {
            for (QPushButton* b : w.conf().window()->findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("&OK")) click(b);
        });
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

}  // namespace
}  // namespace zelmor::app
