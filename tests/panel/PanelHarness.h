// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/FrontPanel.h"

namespace zelmor::panel::testing {

using Writes = std::vector<std::string>;

// A real front panel on the simulated generator at primary address `pad`.
class PanelHarness {
public:
    explicit PanelHarness(std::int32_t pad = 7) {
        link_ = std::make_unique<link::DeviceLink>(
            address,
            [this, pad] {
                auto sim = std::make_unique<link::SimGenerator>(pad);
                sim_ = sim.get();
                return link::DriverLoad{std::move(sim), {}, false};
            },
            nullptr);
        panel = std::make_unique<FrontPanel>(
            *link_, address,
            [this](MessageIcon, const QString&, const QString& t) { messages.push_back(t); });
    }
    ~PanelHarness() {
        // Every command the panel wrote is one the generator takes.
        if (sim_ != nullptr) {
            EXPECT_TRUE(sim_->notes().empty()) << sim_->notes().front();
        }
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
    // The generator, with its fault switches; nullptr until the link first loaded it.
    link::SimGenerator* sim() const { return sim_; }
    // No driver call yet: the driver was never even loaded.
    bool untouched() const { return sim_ == nullptr; }
    // What the generator took since the last take(), the probe included.
    Writes take() {
        if (sim_ == nullptr) return {};
        Writes w = sim_->writes();
        sim_->clearRecords();
        return w;
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
    link::SimGenerator* sim_ = nullptr;  // owned by the link
    std::unique_ptr<link::DeviceLink> link_;
};

// A test on a started panel.
struct PanelTest : ::testing::Test {
    PanelHarness h;
    FrontPanel& p = *h.panel;
    PanelTest() { h.start(); }
};

}  // namespace zelmor::panel::testing
