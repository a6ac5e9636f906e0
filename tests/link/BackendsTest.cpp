// SPDX-License-Identifier: MIT
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeLibrary.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using testing::AllOf, testing::HasSubstr;

TEST(BackendRegistry, ParsesTheSimFormsAndNamesWhatItRefuses) {
    const std::tuple<const char*, int, int> good[] = {{"sim", 7, 0},
                                                      {"sim:", 7, 0},
                                                      {"sim:12", 12, 0},
                                                      {"sim:0,96", 0, 96},
                                                      {"sim:30,126", 30, 126}};
    for (const auto& [spec, pad, sad] : good) {
        const DriverLoad load = fromSpec(spec);
        const auto* sim = dynamic_cast<SimGenerator*>(load.driver.get());
        EXPECT_TRUE(sim && sim->pad() == pad && sim->sad() == sad) << spec;
    }
    // Every refusal names the value and the accepted forms; an unknown scheme lists them all.
    for (const std::string spec :
         {"sim:x", "sim:31", "sim:-1", "sim: 7", "sim:7,", "sim:7,95", "sim:7,127", "sim:7,96,1",
          "sim:99999999999", "bogus", "foo:bar:baz", "SIM", ":sim"}) {
        const DriverLoad load = fromSpec(spec);
        EXPECT_FALSE(load.driver || load.fileNotFound);
        EXPECT_THAT(load.error,
                    AllOf(HasSubstr("\"" + spec + "\""), HasSubstr("sim, sim:PAD or sim:PAD,SAD")));
        EXPECT_EQ(load.error.find("lib:PATH") == std::string::npos, spec.starts_with("sim:"));
    }
}

// "", "lib", "lib:" and an unset ZELMOR_GPIB all search the system libraries.
TEST(BackendRegistry, NoPathSearchesTheSystemLibraries) {
    bool installed = false;
    for (const char* name : {"libgpib.so.0", "libni4882.so", "libgpibapi.so"}) {
        if (void* h = dlopen(name, RTLD_NOW | RTLD_LOCAL)) installed = true, dlclose(h);
    }
    unsetenv("ZELMOR_GPIB");
    const DriverLoad loads[] = {fromSpec(""), fromSpec("lib"), fromSpec("lib:"),
                                createFromEnvironment(builtins())};
    for (const DriverLoad& load : loads) {
        EXPECT_EQ(load.driver != nullptr, installed) << load.error;
        EXPECT_EQ(load.fileNotFound, !installed);
        EXPECT_EQ(load.error, loads[0].error);
    }
    if (!installed) {
        EXPECT_THAT(loads[0].error, AllOf(HasSubstr("libgpib.so.0, libni4882.so, libgpibapi.so"),
                                          HasSubstr("ZELMOR_GPIB=sim")));
    }
}

}  // namespace
}  // namespace zelmor::link
