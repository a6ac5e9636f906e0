// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "zelmor/link/Backends.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/panel/FrontPanel.h"

namespace zelmor::panel::testing {

struct Message {
    MessageIcon icon;
    QString title;
    QString text;
};

// A real front panel on the simulated generator, every driver call traced to a file.
class PanelHarness {
public:
    explicit PanelHarness(std::string backend = "sim") : backend_(std::move(backend)) {
        link::registerBuiltinBackends(registry_);
        tracePath_ = dir_.filePath(QStringLiteral("trace.txt")).toStdString();
        link_ = std::make_unique<link::DeviceLink>(
            address,
            [this] {
                link::DriverLoad load = registry_.create(backend_);
                if (load.driver) load.driver = link::makeTracing(std::move(load.driver), tracePath_);
                return load;
            },
            [this](const std::string& text) {
                messages.push_back({MessageIcon::Critical, QString(), QString::fromStdString(text)});
            });
        panel = std::make_unique<FrontPanel>(
            *link_, address,
            [this](MessageIcon icon, const QString& title, const QString& text) {
                messages.push_back({icon, title, text});
            });
    }

    ~PanelHarness() {
        panel.reset();
        // Every command the panel wrote is one the generator takes.
        EXPECT_TRUE(allLines().filter(QStringLiteral("# sim:")).isEmpty())
            << allLines().filter(QStringLiteral("# sim:")).join(QLatin1Char('\n')).toStdString();
    }
    PanelHarness(const PanelHarness&) = delete;
    PanelHarness& operator=(const PanelHarness&) = delete;

    // Start-up as the main window does it, then the window shown and active with the 1 MHz
    // digit selected.
    void start() {
        panel->setUpPanel();
        panel->show();
        panel->activateWindow();
        if (!QTest::qWaitForWindowActive(panel.get())) ADD_FAILURE() << "window not active";
        panel->Frq[2]->QWidget::setFocus();
        QApplication::processEvents();
    }

    // The texts written with ibwrt, in order, the probe included.
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        static const QRegularExpression line(
            QStringLiteral(R"re(^ibwrt -?\d+ "(.*)" -> -?\d+$)re"));
        for (const QString& l : lines()) {
            const auto m = line.match(l);
            if (m.hasMatch()) out.push_back(m.captured(1).toStdString());
        }
        return out;
    }
    // Every trace line since the last clearTrace().
    QStringList lines() const { return allLines().mid(seen_); }
    // Forgets what was traced so far (the trace keeps its file open, so it is not removed).
    void clearTrace() { seen_ = allLines().size(); }

    // Real key presses, sent to whatever has the keyboard focus at each key.
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, k, m);
    }
    static void typeText(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) key(static_cast<Qt::Key>(*c));
    }

    template <std::size_t N>
    static std::string join(const std::array<digit::QtDigitBox*, N>& row) {
        std::string s;
        for (auto* b : row) s += static_cast<const digit::DigitBox*>(b)->text();
        return s;
    }

    link::GpibAddress address;
    std::vector<Message> messages;
    std::unique_ptr<FrontPanel> panel;

private:
    QStringList allLines() const {
        QFile f(QString::fromStdString(tracePath_));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    qsizetype seen_ = 0;
    QTemporaryDir dir_;
    std::string backend_;
    std::string tracePath_;
    link::BackendRegistry registry_;
    std::unique_ptr<link::DeviceLink> link_;
};

}  // namespace zelmor::panel::testing
