// SPDX-License-Identifier: MIT
// Counts the calls that reach QLineEdit::setText: this definition takes the place of Qt's for
// every call made from this executable's own code (the digit boxes are linked in statically) and
// hands each one on to Qt's. Only a benchmark may do this.
#include "SetTextCounter.h"

#include <dlfcn.h>

#include <QLineEdit>
#include <QString>
#include <chrono>
#include <cstdlib>

namespace {
long calls = 0;
long long nanos = 0;
}  // namespace

void QLineEdit::setText(const QString& text) {
    using Real = void (*)(QLineEdit*, const QString&);
    static const Real real =
        reinterpret_cast<Real>(dlsym(RTLD_NEXT, "_ZN9QLineEdit7setTextERK7QString"));
    if (real == nullptr) std::abort();
    ++calls;
    const auto start = std::chrono::steady_clock::now();
    real(this, text);
    nanos += std::chrono::nanoseconds(std::chrono::steady_clock::now() - start).count();
}

namespace zelmor::bench {
long setTextCalls() { return calls; }
long long setTextNanos() { return nanos; }
}  // namespace zelmor::bench
