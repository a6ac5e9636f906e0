// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

#include "zelmor/link/Backends.h"

namespace zelmor::link::detail {

// The names tried, in order, when no file is named.
inline constexpr std::string_view kSystemLibraryNames[] = {"libgpib.so.0", "libni4882.so",
                                                           "libgpibapi.so"};

// Loads an NI-488.2-compatible library at run time: the file at `path`, or the first of
// kSystemLibraryNames that loads when `path` is empty. Every entry point is resolved here, so
// the driver comes back whole or not at all.
DriverLoad loadLibraryDriver(std::string_view path);

}  // namespace zelmor::link::detail
