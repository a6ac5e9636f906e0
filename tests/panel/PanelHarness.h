// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "zelmor/link/Backends.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/panel/FrontPanel.h"

namespace zelmor::panel::testing {

using Writes = std::vector<std::string>;

// A real front panel on the simulated generator, every driver call traced to a file.
class PanelHarness {
public:
    explicit PanelHarness(std::string backend = "sim") : backend_(std::move(backend)) {
        link::registerBuiltinBackends(registry_);
        trace_ = dir_.filePath(QStringLiteral("trace.txt")).toStdString();
        auto note = [this](const QString& text) { messages.push_back(text); };
        link_ = std::make_unique<link::DeviceLink>(
            address,
            [this] {
                link::DriverLoad load = registry_.create(backend_);
                if (load.driver) load.driver = link::makeTracing(std::move(load.driver), trace_);
                return load;
            },
            [note](const std::string& text) { note(QString::fromStdString(text)); });
        panel = std::make_unique<FrontPanel>(
            *link_, address, [note](MessageIcon, const QString&, const QString& t) { note(t); });
    }
    ~PanelHarness() {
        panel.reset();
        // Every command the panel wrote is one the generator takes.
        const QStringList refused = allLines().filter(QStringLiteral("# sim:"));
        EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
    }

    // Start-up as the main window does it, shown and active with the 1 MHz digit selected.
    void start() {
        panel->setUpPanel();
        panel->show();
        panel->activateWindow();
        if (!QTest::qWaitForWindowActive(panel.get())) ADD_FAILURE() << "window not active";
        panel->Frq[2]->QWidget::setFocus();
        QApplication::processEvents();
    }
    // The texts written with ibwrt since the last clearTrace(), the probe included.
    Writes writes() const {
        Writes out;
        static const QRegularExpression re(
            QStringLiteral(R"re(^ibwrt -?\d+ "(.*)" -> -?\d+$)re"));
        for (const QString& l : lines())
            if (const auto m = re.match(l); m.hasMatch())
                out.push_back(m.captured(1).toStdString());
        return out;
    }
    QStringList lines() const { return allLines().mid(seen_); }
    void clearTrace() { seen_ = allLines().size(); }
    Writes take() {
        Writes w = writes();
        clearTrace();
        return w;
    }

    // Real key presses, sent to whatever has the keyboard focus at each key.
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, k, m);
    }
    static void typeText(const char* text) {
        for (; *text != '\0'; ++text) key(static_cast<Qt::Key>(*text));
    }
    static void enter(const char* digits) {
        typeText(digits);
        key(Qt::Key_Return);
    }
    static void typeInto(digit::QtDigitBox* first, const char* digits) {
        QTest::mouseClick(first, Qt::LeftButton);
        enter(digits);
    }
    template <std::size_t N>
    static std::string join(const std::array<digit::QtDigitBox*, N>& row) {
        std::string s;
        for (auto* b : row) s += static_cast<const digit::DigitBox*>(b)->text();
        return s;
    }

    link::GpibAddress address;
    std::vector<QString> messages;
    std::unique_ptr<FrontPanel> panel;

private:
    QStringList allLines() const {
        QFile f(QString::fromStdString(trace_));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    qsizetype seen_ = 0;
    QTemporaryDir dir_;
    std::string backend_, trace_;
    link::BackendRegistry registry_;
    std::unique_ptr<link::DeviceLink> link_;
};

// A test on a started panel.
struct PanelTest : ::testing::Test {
    PanelHarness h;
    FrontPanel& p = *h.panel;
    PanelTest() { h.start(); }
};

}  // namespace zelmor::panel::testing
