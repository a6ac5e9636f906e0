// SPDX-License-Identifier: MIT
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "zelmor/link/Backends.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

BackendRegistry builtins() {
    BackendRegistry registry;
    registerBuiltinBackends(registry);
    return registry;
}

TEST(BackendRegistry, ParsesTheSimFormsAndNamesWhatItRefuses) {
    const std::pair<const char*, int> good[] = {
        {"sim", 7}, {"sim:", 7}, {"sim:12", 12}, {"sim:0,96", 0}, {"sim:30,126", 30}};
    const BackendRegistry registry = builtins();
    for (const auto& [spec, pad] : good) {
        const DriverLoad load = registry.create(spec);
        auto* sim = dynamic_cast<SimGenerator*>(load.driver.get());
        ASSERT_NE(sim, nullptr) << load.error;
        EXPECT_EQ(sim->pad(), pad);
    }
    EXPECT_EQ(dynamic_cast<SimGenerator&>(*registry.create("sim:0,96").driver).sad(), 96);
    // Every refusal names the value and the accepted forms; an unknown scheme lists them all.
    for (const std::string spec :
         {"sim:x", "sim:31", "sim:-1", "sim: 7", "sim:7,", "sim:7,5", "sim:7,127", "sim:7,96,1",
          "sim:99999999999", "bogus", "foo:bar:baz", "SIM", ":sim"}) {
        const DriverLoad load = registry.create(spec);
        EXPECT_EQ(load.driver, nullptr);
        EXPECT_TRUE(contains(load.error, "\"" + spec + "\"")) << load.error;
        EXPECT_TRUE(contains(load.error, "sim, sim:PAD or sim:PAD,SAD")) << load.error;
        EXPECT_EQ(contains(load.error, "lib:PATH"), spec.rfind("sim:", 0) != 0) << load.error;
        EXPECT_FALSE(load.fileNotFound);
    }
}

TEST(BackendRegistry, LibPathKeepsEverythingAfterTheFirstColon) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testing::TempDir()) / ("zelmor:" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(FAKE_GPIB_THREAD, dir / "libgpib.so", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "notalib.so") << "text";
    const BackendRegistry registry = builtins();

    const DriverLoad found = registry.create("lib:" + (dir / "libgpib.so").string());
    EXPECT_NE(found.driver, nullptr) << found.error;
    const DriverLoad missing = registry.create("lib:" + (dir / "none.so").string());
    EXPECT_TRUE(missing.fileNotFound);
    EXPECT_TRUE(contains(missing.error, (dir / "none.so").string())) << missing.error;
    const DriverLoad broken = registry.create("lib:" + (dir / "notalib.so").string());
    EXPECT_EQ(broken.driver, nullptr);
    EXPECT_FALSE(broken.fileNotFound);  // there, but not a library: drivers would not help
    fs::remove_all(dir);
}

TEST(BackendRegistry, EmptySpecSearchesTheSystemLibraries) {
    bool installed = false;
    for (const char* name : {"libgpib.so.0", "libni4882.so", "libgpibapi.so"}) {
        if (void* h = dlopen(name, RTLD_NOW | RTLD_LOCAL)) installed = true, dlclose(h);
    }
    const BackendRegistry registry = builtins();
    for (const char* spec : {"", "lib", "lib:"}) {
        const DriverLoad load = registry.create(spec);
        EXPECT_EQ(load.driver != nullptr, installed) << load.error;
        if (installed) continue;
        EXPECT_TRUE(load.fileNotFound);
        EXPECT_TRUE(contains(load.error, "libgpib.so.0, libni4882.so, libgpibapi.so"))
            << load.error;
    }
}

TEST(Environment, ChoosesTheBackendAndWrapsItInTheTrace) {
    const BackendRegistry registry = builtins();
    unsetenv("ZELMOR_TRACE");
    unsetenv("ZELMOR_GPIB");
    DriverLoad load = createFromEnvironment(registry);
    const DriverLoad system = registry.create("");
    EXPECT_EQ(load.error, system.error);  // unset: the system library search
    EXPECT_EQ(load.fileNotFound, system.fileNotFound);

    setenv("ZELMOR_GPIB", "bogus:1", 1);
    load = createFromEnvironment(registry);
    EXPECT_EQ(load.error.rfind("ZELMOR_GPIB: Unknown GPIB backend \"bogus:1\"", 0), 0u)
        << load.error;

    const std::string trace = testing::TempDir() + "env-trace-" + std::to_string(getpid());
    std::remove(trace.c_str());
    setenv("ZELMOR_GPIB", "sim:9", 1);
    setenv("ZELMOR_TRACE", trace.c_str(), 1);
    load = createFromEnvironment(registry);
    ASSERT_NE(load.driver, nullptr);
    load.driver->ibclr(load.driver->ibdev(0, 9, 0, 12, 1, 0));  // the generator listens at 9
    std::ifstream in(trace);
    std::string lines[2];
    std::getline(std::getline(in, lines[0]), lines[1]);
    EXPECT_EQ(lines[0], "ibdev 0 9 0 12 1 0 -> 1");
    EXPECT_EQ(lines[1], "ibclr 1 -> 256");
    std::remove(trace.c_str());
    unsetenv("ZELMOR_TRACE");
    unsetenv("ZELMOR_GPIB");
}

}  // namespace
}  // namespace zelmor::link
