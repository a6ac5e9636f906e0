// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QString>
#include <QWindow>
#include <memory>

#include "zelmor/link/DeviceLink.h"
#include "zelmor/panel/FrontPanel.h"
#include "zelmor/panel/PanelRemote.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::app {

// Holds what the panel base refers to, so that it is built before the panel.
struct MainLink {
    MainLink(link::DeviceLink::DriverSource source, link::DeviceLink::CriticalMessage message)
        : link(address, std::move(source), std::move(message)) {}
    link::GpibAddress address;  // Board, PAd, SAd
    link::DeviceLink link;
};

// The main window: its start-up from the command line and the settings, its activation and
// its shutdown. No Q_OBJECT: moc needs the QObject base first, and the link must be built
// before the panel that refers to it.
class Main final : private MainLink, public panel::FrontPanel {
public:
    Main(settings::SettingsStore& store, link::DeviceLink::DriverSource source,
         panel::MessageFunction message);
    ~Main() override;

    // Reads the command line, names the settings key and sets the window up. False when the
    // program must end without showing the window (usage or cleaning); nothing is written to
    // the settings store then.
    bool Form_Load(const QString& commandLine);
    // Releases the instrument and stores the settings; runs once, when the window closes.
    void Form_Unload();

    QString InstanceSuffix;
    QString AppKey;
    link::GpibAddress& gpibAddress() { return address; }
    link::DeviceLink& deviceLink() { return link; }
    // The panel as scripts and presets drive it; null until Form_Load has set the window up.
    panel::PanelRemote* remote() { return remote_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    // A right click on the window's background, or the Menu key: the presets' menu.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Form_Activate();
    void focusWindowChanged(QWindow* now);

    settings::SettingsStore& store_;
    panel::MessageFunction message_;
    std::unique_ptr<panel::PanelRemote> remote_;
    QPointer<QWindow> lastFocusWindow_;
    bool pressedWhileInactive_ = false;  // since the window was last activated
    bool loaded_ = false;
    bool unloaded_ = false;
};

}  // namespace zelmor::app
