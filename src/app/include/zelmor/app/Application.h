// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace zelmor::app {

// The whole program: returns the process exit code.
int run(int argc, char** argv);

// SIGINT and SIGTERM close `window` as the user would, so the instrument is returned to local
// control and the settings are written; a second signal ends the process at once. Call once,
// from the UI thread, after the QApplication exists.
void closeOnSignals(QWidget* window);

}  // namespace zelmor::app
