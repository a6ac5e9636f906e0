// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace zelmor::control {

// Where this copy's control socket goes.
struct SocketPlace {
    QString path;     // empty: no socket
    QString problem;  // why there is none, for standard error; empty when turned off
};

// ZELMOR_CONTROL=off: none; ZELMOR_CONTROL=PATH: that path; else
// $XDG_RUNTIME_DIR/zelmor/<settings key>.sock, whose folder is made with mode 0700 and refused
// when it is not a folder of this user's that nobody else may enter.
SocketPlace socketPlace(const QString& settingsKey);

// The settings key as a socket's file name: every byte (in UTF-8) outside printable ASCII, and
// "/" and "%", written %XX, so distinct keys keep distinct names; "." and ".." likewise; then
// ".sock".
QString socketFileName(const QString& settingsKey);

}  // namespace zelmor::control
