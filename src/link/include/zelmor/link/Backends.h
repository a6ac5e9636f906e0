// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zelmor/link/GpibDriver.h"

namespace zelmor::link {

// What making a backend gives: a driver, or an error and no driver.
struct DriverLoad {
    std::unique_ptr<GpibDriver> driver;
    std::string error;          // why no driver could be made, for the user
    bool fileNotFound = false;  // the library file itself was not found
};

// Backends chosen by one string "scheme" or "scheme:rest"; the string is split at its first
// ":" only and the backend parses the rest. The empty string means the system library.
class BackendRegistry {
public:
    using Factory = std::function<DriverLoad(std::string_view rest)>;

    // `forms` lists the accepted forms for messages, e.g. "sim, sim:PAD or sim:PAD,SAD".
    void add(std::string scheme, std::string forms, Factory factory);
    DriverLoad create(std::string_view spec) const;
    // Every accepted form, for an unknown-value message.
    std::string acceptedForms() const;

private:
    struct Entry {
        std::string forms;
        Factory factory;
    };
    std::map<std::string, Entry, std::less<>> entries_;
    std::vector<std::string> order_;
};

// Fills the registry with the built-in backends: "lib" (the system NI-488.2-compatible
// library, loaded at run time) and "sim" (the simulated HP 8656A).
void registerBuiltinBackends(BackendRegistry& registry);

// Wraps a driver so that every call appends one line to `path`: a regular file, a terminal or
// another character device, or a pipe. Returns the driver unchanged, after one line on standard
// error, when `path` is none of these or cannot be opened at once. A trace that can no longer
// be written stops, with one line on standard error; the driver goes on.
std::unique_ptr<GpibDriver> makeTracing(std::unique_ptr<GpibDriver> inner, const std::string& path);

// The driver the environment asks for: ZELMOR_GPIB chooses the backend (unset: the system
// library), ZELMOR_TRACE names a trace file. `made`, if given, sees the backend itself before
// the trace wraps it (a display of the simulated generator follows it so).
DriverLoad createFromEnvironment(const BackendRegistry& registry,
                                 const std::function<void(GpibDriver&)>& made = {});

// The scheme ZELMOR_GPIB names ("sim" for "sim:8"), "lib" when it is unset or empty.
std::string schemeFromEnvironment();

}  // namespace zelmor::link
