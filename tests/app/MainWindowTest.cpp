// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "zelmor/app/Application.h"
#include "zelmor/app/Main.h"
#include "zelmor/link/Backends.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::app {
namespace {

namespace names = settings::names;
constexpr std::int32_t Absent = -999999;

// Main windows over a file store in a temporary folder and the simulated generator, every
// driver call traced.
class MainHarness {
public:
    MainHarness() : store(settings::makeFileStore(dir_.path())) {
        link::registerBuiltinBackends(registry_);
    }
    std::unique_ptr<Main> make() {
        return std::make_unique<Main>(
            *store,
            [this] {
                link::DriverLoad load = registry_.create("sim");
                if (load.driver) load.driver = link::makeTracing(std::move(load.driver), trace_);
                return load;
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
    QStringList trace() const {
        QFile f(QString::fromStdString(trace_));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    std::int32_t stored(const QString& key, const char* name) {
        return store->ReadSetting(key, QLatin1String(name), Absent);
    }

    QTemporaryDir dir_;
    std::unique_ptr<settings::SettingsStore> store;
    std::vector<std::pair<QString, QString>> shown;  // title, text

private:
    std::string trace_ = dir_.filePath(QStringLiteral("trace.txt")).toStdString();
    link::BackendRegistry registry_;
};

TEST(MainWindow, StartAndCloseLeaveAllFiveValues) {
    MainHarness h;
    auto w = h.make();
    ASSERT_TRUE(w->Form_Load(QStringLiteral("bench 2")));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Zelmor V1.1.1 - bench 2"));
    EXPECT_EQ(w->gpibAddress().PAd, 7);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->close();
    const QString key = QStringLiteral("Zelmor - bench 2");
    EXPECT_EQ(w->AppKey, key);
    EXPECT_EQ(h.stored(key, names::Board), 0);
    EXPECT_EQ(h.stored(key, names::PAd), 7);
    EXPECT_EQ(h.stored(key, names::SAd), 0);
    EXPECT_NE(h.stored(key, names::X), Absent);
    EXPECT_NE(h.stored(key, names::Y), Absent);
    EXPECT_TRUE(h.trace().isEmpty()) << "closing off line never touches the bus";
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor"), names::X), Absent) << "other keys untouched";
}

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
    EXPECT_TRUE(h.shown[0].second.startsWith(QStringLiteral("Usage:\t")));
    EXPECT_FALSE(QFile::exists(settings::storeFilePath(h.dir_.path())));
    h.store->WriteSetting(QStringLiteral("Zelmor - 2"), QLatin1String(names::X), 5);
    h.store->WriteSetting(QStringLiteral("Zelmor - 3"), QLatin1String(names::X), 6);
    exitsEarly(QStringLiteral(" 2 -clean "));
    EXPECT_EQ(h.shown.back().second,
              QStringLiteral("Cleaning 2 registry context\r\nPlease restart application"));
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor - 2"), names::X), Absent);
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor - 3"), names::X), 6);
}

// Closing on line, or a signal while the configuration dialog is up (closing both), stops the
// sweep timer and returns the generator to local control before the address is stored; the
// interrupted button handler then writes nothing more.
TEST(MainWindow, ClosingOnLineOrBySignalUnderTheDialogReturnsTheGeneratorToLocal) {
    for (const bool bySignal : {false, true}) {
        MainHarness h;
        auto w = h.shownWindow();
        QTest::mouseClick(w->Onn, Qt::LeftButton);
        ASSERT_TRUE(w->Online);
        w->Timer->start();
        if (bySignal) {
            closeOnSignals(w.get());
            QTimer::singleShot(0, [] { std::raise(SIGTERM); });
            QTest::mouseClick(w->Cnf, Qt::LeftButton);
        } else {
            w->close();
        }
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(w->Timer->isActive());
        const QStringList lines = h.trace();
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines[lines.size() - 2].startsWith(QStringLiteral("ibloc ")));
        EXPECT_TRUE(lines.back().contains(QStringLiteral(" 0 -> ")));
        EXPECT_EQ(h.stored(QStringLiteral("Zelmor"), names::PAd), 7);
    }
}

TEST(MainWindow, ConfigurationButtonAdoptsTheNewAddress) {
    MainHarness h;
    auto w = h.shownWindow();
    // Closed without "&OK" at its first use, the dialog must not hand back 0, 0, 0. Escape
    // does not close it: there is no Cancel button.
    bool survivedEscape = false;
    QTimer::singleShot(0, [&] {
        QDialog* dialog = w->conf().window();
        QTest::keyClick(dialog->findChildren<QLineEdit*>().front(), Qt::Key_Escape);
        survivedEscape = dialog->isVisible();
        dialog->reject();
    });
    QTest::mouseClick(w->Cnf, Qt::LeftButton);
    EXPECT_EQ(w->gpibAddress().PAd, 7);
    EXPECT_TRUE(survivedEscape);
    bool answered = false;
    QTimer::singleShot(0, [&] {
        QDialog* dialog = w->conf().window();
        ASSERT_NE(dialog, nullptr);
        const auto fields = dialog->findChildren<QLineEdit*>();
        ASSERT_EQ(fields.size(), 3);
        for (int i = 0; i < 3; ++i) {
            fields[i]->clear();
            QTest::keyClicks(fields[i], QStringList{"0", "9", "96"}[i]);
        }
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("&OK")) QTest::mouseClick(b, Qt::LeftButton);
        answered = true;
    });
    QTest::mouseClick(w->Cnf, Qt::LeftButton);
    ASSERT_TRUE(answered);
    EXPECT_EQ(w->gpibAddress().PAd, 9);
    EXPECT_EQ(w->gpibAddress().SAd, 96);
    // The reopen with the new address is the last ibdev traced.
    const QStringList devs = h.trace().filter(QRegularExpression(QStringLiteral("^ibdev ")));
    ASSERT_FALSE(devs.isEmpty());
    EXPECT_TRUE(devs.back().startsWith(QStringLiteral("ibdev 0 9 96 12 1 0 -> ")));
    EXPECT_FALSE(w->Online);
    w->close();
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor"), names::PAd), 9);
    EXPECT_EQ(h.stored(QStringLiteral("Zelmor"), names::SAd), 96);
}

// Coming back from another application keeps a pending entry; coming back from the
// program's own dialog selects the 1 MHz digit again.
TEST(MainWindow, ActivationSelectsTheMegahertzDigitOnlyAfterOwnWindows) {
    MainHarness h;
    auto w = h.shownWindow();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::qWait(10);
    ASSERT_TRUE(w->FrqDigit->HasFocus());
    // The 1 MHz digit, and only it, shows highlighted (the 100 MHz digit kept its highlight).
    std::string highlighted;
    for (auto* box : w->findChildren<digit::QtDigitBox*>())
        if (box->hasSelectedText()) highlighted += std::to_string(box->index());
    EXPECT_EQ(highlighted, "2");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12"));
    emit qApp->focusWindowChanged(nullptr);  // another application takes the focus
    emit qApp->focusWindowChanged(w->windowHandle());
    QTest::qWait(10);
    EXPECT_FALSE(w->FrqDigit->HasFocus());
    EXPECT_EQ(w->FrqDigit->entryBuffer(), "12");
    QWidget other;  // one of the program's own windows, such as the dialog
    other.show();
    emit qApp->focusWindowChanged(other.windowHandle());
    emit qApp->focusWindowChanged(w->windowHandle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->FrqDigit->HasFocus(); }, 1000));
}

}  // namespace
}  // namespace zelmor::app
