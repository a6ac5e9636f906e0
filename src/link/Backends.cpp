// SPDX-License-Identifier: MIT
#include "zelmor/link/Backends.h"

#include <cstdlib>
#include <utility>

#include "LibraryDriver.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {

namespace {
// The empty string, and the environment without ZELMOR_GPIB, mean this scheme.
constexpr char kSystemScheme[] = "lib";
}  // namespace

void BackendRegistry::add(std::string scheme, std::string forms, Factory factory) {
    auto [it, inserted] = entries_.insert_or_assign(scheme, Entry{std::move(forms), {}});
    it->second.factory = std::move(factory);
    if (inserted) order_.push_back(std::move(scheme));
}

DriverLoad BackendRegistry::create(std::string_view spec) const {
    const std::size_t colon = spec.find(':');
    std::string_view scheme = spec.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? "" : spec.substr(colon + 1);
    if (spec.empty()) scheme = kSystemScheme;
    const auto it = entries_.find(scheme);
    if (it == entries_.end() || !it->second.factory) {
        return {nullptr,
                "Unknown GPIB backend \"" + std::string(spec) +
                    "\". Accepted forms: " + acceptedForms() + ".",
                false};
    }
    return it->second.factory(rest);
}

std::string BackendRegistry::acceptedForms() const {
    std::string forms;
    for (const std::string& scheme : order_) {
        if (!forms.empty()) forms += "; ";
        forms += entries_.find(scheme)->second.forms;
    }
    return forms.empty() ? "none" : forms;
}

void registerBuiltinBackends(BackendRegistry& registry) {
    registry.add(kSystemScheme, "lib (the system GPIB library) or lib:PATH",
                 [](std::string_view rest) { return detail::loadLibraryDriver(rest); });
    registry.add("sim", std::string(SimGenerator::kForms),
                 [](std::string_view rest) { return SimGenerator::fromOptions(rest); });
}

std::string schemeFromEnvironment() {
    const char* spec = std::getenv("ZELMOR_GPIB");
    if (spec == nullptr || *spec == '\0') return kSystemScheme;
    const std::string_view text(spec);
    return std::string(text.substr(0, text.find(':')));
}

DriverLoad createFromEnvironment(const BackendRegistry& registry,
                                 const std::function<void(GpibDriver&)>& made) {
    const char* spec = std::getenv("ZELMOR_GPIB");
    DriverLoad load = registry.create(spec ? spec : "");
    if (!load.driver) {
        if (spec && *spec) load.error = "ZELMOR_GPIB: " + load.error;
        return load;
    }
    if (made) made(*load.driver);
    const char* trace = std::getenv("ZELMOR_TRACE");
    if (trace && *trace) load.driver = makeTracing(std::move(load.driver), trace);
    return load;
}

}  // namespace zelmor::link
