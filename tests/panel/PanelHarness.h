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

// A real front panel on the simulated generator at primary address 7.
class PanelHarness {
public:
    PanelHarness() {
        link_ = std::make_unique<link::DeviceLink>(
            address,
            [this] {
                auto generator = std::make_unique<link::SimGenerator>(7);
                sim = generator.get();
                return link::DriverLoad{std::move(generator), {}, false};
            },
            nullptr);
        panel = std::make_unique<FrontPanel>(*link_, address, [](MessageIcon, auto&, auto&) {});
    }
    ~PanelHarness() {  // every command the panel wrote is one the generator takes
        if (sim != nullptr) {
            EXPECT_TRUE(sim->notes().empty()) << sim->notes().front();
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
    // What the generator took since the last take(), the probe included.
    Writes take() {
        if (sim == nullptr) return {};
        Writes w = sim->writes();
        sim->clearRecords();
        return w;
    }

    template <std::size_t N>
    static std::string join(const std::array<digit::QtDigitBox*, N>& row) {
        std::string s;
        for (auto* b : row) s += static_cast<const digit::DigitBox*>(b)->text();
        return s;
    }

    link::GpibAddress address;
    std::unique_ptr<link::DeviceLink> link_;
    std::unique_ptr<FrontPanel> panel;
    // The generator, with its fault switches, owned by the link; nullptr until first loaded.
    link::SimGenerator* sim = nullptr;
};

// A test on a started panel.
struct PanelTest : ::testing::Test {
    PanelHarness h;
    FrontPanel& p = *h.panel;
    PanelTest() { h.start(); }
};

}  // namespace zelmor::panel::testing
