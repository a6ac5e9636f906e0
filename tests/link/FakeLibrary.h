// SPDX-License-Identifier: MIT
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Steers one fake driver library through its fake_* functions. Holding the library open here
// keeps the very copy the backend under test loads.
class FakeLibrary {
public:
    explicit FakeLibrary(const char* path) : path_(path), handle_(dlopen(path, RTLD_NOW)) {
        if (!handle_) ADD_FAILURE() << dlerror();
        fn<void (*)()>("fake_reset")();
    }
    ~FakeLibrary() {
        if (handle_) dlclose(handle_);
    }
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;

    std::string spec() const { return "lib:" + path_; }
    // The calls made since the last reset, one per line.
    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::string all = fn<const char* (*)()>("fake_log")();
        for (std::size_t pos = 0, nl; (nl = all.find('\n', pos)) != std::string::npos;
             pos = nl + 1) {
            lines.push_back(all.substr(pos, nl - pos));
        }
        return lines;
    }
    int online() const { return fn<int (*)()>("fake_online")(); }
    void setListening(bool on) const { fn<void (*)(int)>("fake_set_listening")(on); }
    void setWriteError(int err) const { fn<void (*)(int)>("fake_set_write_error")(err); }
    void setNextUd(int ud) const { fn<void (*)(int)>("fake_set_next_ud")(ud); }
    void setExtraStatus(int bits) const { fn<void (*)(int)>("fake_set_extra_status")(bits); }
    void setRegisterResults(std::vector<int> results) const {
        fn<void (*)(const int*, int)>("fake_set_register_results")(
            results.data(), static_cast<int>(results.size()));
    }

private:
    template <typename F>
    F fn(const char* name) const {
        return reinterpret_cast<F>(dlsym(handle_, name));
    }

    std::string path_;
    void* handle_;
};
