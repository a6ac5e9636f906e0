// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "zelmor/panel/PanelRequest.h"

namespace zelmor::control {

// The panel as the control socket reaches it. Called on the window's thread, one request at a
// time; a call may block on the bus as the user's own edits do. The string results are empty
// when the request was carried out, else why nothing was done.
class PanelControl {
public:
    enum class Action { Online, Sweep, Defaults, Store, Recall };

    virtual ~PanelControl() = default;

    // The panel cannot take a request now (a modal dialog or message box is open).
    virtual bool busy() const = 0;
    // Every setting the request names, through the panel's own handlers, or none of them.
    virtual std::string apply(const panel::PanelRequest& request) = 0;
    // The panel's state as the commands that switching on writes.
    virtual std::string state() const = 0;
    // `argument`: 0 or 1 for Online and Sweep, the preset's number for Store and Recall.
    virtual std::string act(Action action, int argument) = 0;
};

}  // namespace zelmor::control
