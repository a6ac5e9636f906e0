// SPDX-License-Identifier: MIT
#pragma once

#include <dlfcn.h>
#include <gmock/gmock.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "zelmor/link/Backends.h"

namespace zelmor::link {

using Lines = std::vector<std::string>;

inline Lines readLines(std::istream&& in) {
    Lines lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline BackendRegistry builtins() {
    BackendRegistry registry;
    registerBuiltinBackends(registry);
    return registry;
}
inline DriverLoad fromSpec(const std::string& spec) { return builtins().create(spec); }

// Steers one fake driver library (fake/FakeGpib.c) through its fake_* functions; holding it
// open keeps the very copy the backend under test loads.
class FakeLibrary {
public:
    explicit FakeLibrary(std::string path)
        : path_(std::move(path)), h_(dlopen(path_.c_str(), RTLD_NOW)) {
        if (!h_) throw std::runtime_error(dlerror());
        reset();
    }
    ~FakeLibrary() { dlclose(h_); }
    FakeLibrary(const FakeLibrary&) = delete;

    std::string spec() const { return "lib:" + path_; }
    // The calls made since the last reset.
    Lines calls() const {
        return readLines(std::istringstream(fn<const char* (*)()>("fake_log")()));
    }
    void reset() const { fn<void (*)()>("fake_reset")(); }
    int online() const { return fn<int (*)()>("fake_online")(); }
    // fake_set_listening, fake_set_block (ibwrt blocks that many ms, then times out).
    void set(const std::string& what, int v) const { fn<void (*)(int)>("fake_set_" + what)(v); }
    // The nth call named `call` from now on fails with ERR and `err`.
    void fail(const std::string& call, int nth, int err) const {
        fn<void (*)(const char*, int, int)>("fake_set_fail")(call.c_str(), nth, err);
    }
    int failedOnl() const { return fn<int (*)()>("fake_failed_onl")(); }
    void setRegisterResults(const std::vector<int>& rc) const {
        fn<void (*)(const int*, int)>("fake_set_register_results")(rc.data(), int(rc.size()));
    }

private:
    template <typename F>
    F fn(const std::string& name) const {
        void* f = dlsym(h_, name.c_str());
        return f ? reinterpret_cast<F>(f) : throw std::runtime_error("no " + name);
    }
    std::string path_;
    void* h_;
};

}  // namespace zelmor::link
