// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "zelmor/control/PanelControl.h"
#include "zelmor/panel/Conf.h"
#include "zelmor/panel/PanelRequest.h"

class QMenu;
class QPoint;
class QWidget;

namespace zelmor::settings {
class SettingsStore;
}

namespace zelmor::panel {

class FrontPanel;

// The panel driven from outside the window: the control socket's requests, and ten presets kept
// in the settings store under the copy's own key ("Preset0" to "Preset9", each the whole state
// as text that the socket also takes). Every change goes through the panel's own handlers, so
// the bus sees what the user's edits of the same quantities would send, and nothing off line.
// UI thread only.
class PanelRemote final : public control::PanelControl {
public:
    static constexpr int kPresets = 10;

    PanelRemote(FrontPanel& panel, settings::SettingsStore& store, QString appKey,
                MessageFunction message);

    bool busy() const override;
    std::string apply(const PanelRequest& request) override;
    std::string state() const override;
    std::string act(Action action, int argument) override;

    PanelState panelState() const;

    // A preset as stored: its text, empty when the slot is; what it asks, or why it cannot be
    // read (it is then left in the store as it is).
    struct Preset {
        QString text;
        RequestReading reading;
    };
    Preset preset(int n) const;
    std::string store(int n);
    // Stops a running sweep, then sets what the preset holds.
    std::string recall(int n);

    // "Store in" and "Recall", each with the ten slots labelled with what they hold; an empty
    // or unreadable slot cannot be recalled.
    std::unique_ptr<QMenu> menu(QWidget* parent);
    void showMenu(const QPoint& globalPos);

private:
    std::string check(const PanelRequest& request, bool sweeping) const;
    void run(const PanelRequest& request);

    FrontPanel& panel_;
    settings::SettingsStore& store_;
    QString appKey_;
    MessageFunction message_;
};

}  // namespace zelmor::panel
