// SPDX-License-Identifier: MIT
#pragma once

namespace zelmor::bench {

// Calls of QLineEdit::setText made by the program's own code since the start.
long setTextCalls();
// Time spent inside those calls since the start, in nanoseconds.
long long setTextNanos();

}  // namespace zelmor::bench
