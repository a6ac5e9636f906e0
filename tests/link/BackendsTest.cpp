// SPDX-License-Identifier: MIT
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <tuple>

#include "FakeLibrary.h"
#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using testing::AllOf, testing::HasSubstr;

TEST(BackendRegistry, ParsesTheSimFormsAndNamesWhatItRefuses) {
    const std::tuple<const char*, int, int> good[] = {
        {"sim", 7, 0}, {"sim:12", 12, 0}, {"sim:0,96", 0, 96}, {"sim:30,126", 30, 126}};
    for (const auto& [spec, pad, sad] : good) {
        const DriverLoad load = fromSpec(spec);
        const auto* sim = dynamic_cast<SimGenerator*>(load.driver.get());
        EXPECT_TRUE(sim && sim->pad() == pad && sim->sad() == sad) << spec;
    }
    // Every refusal names the value and the accepted forms; an unknown scheme lists them all.
    for (const std::string spec :
         {"sim:x", "sim:31", "sim:-1", "sim:7,", "sim:7,95", "sim:7,127", "sim:7,96,1", "bogus"}) {
        const DriverLoad load = fromSpec(spec);
        EXPECT_FALSE(load.driver || load.fileNotFound);
        EXPECT_THAT(load.error,
                    AllOf(HasSubstr('"' + spec + '"'), HasSubstr("sim, sim:PAD or sim:PAD,SAD")));
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
    if (!installed)
        EXPECT_THAT(loads[0].error, HasSubstr("libgpib.so.0, libni4882.so, libgpibapi.so"));
}

// The same 16-bit view, however the library exposes its status.
TEST(GpibBinding, NarrowsWhatEveryLibraryFormReports) {
    for (const char* path : {FAKE_GPIB_THREAD, FAKE_GPIB_THREAD_NI, FAKE_GPIB_FUNCS,
                             FAKE_GPIB_GLOBALS, FAKE_GPIB_REGISTER}) {
        SCOPED_TRACE(path);
        FakeLibrary fake(path);
        const DriverLoad load = fromSpec(fake.spec());
        GpibBinding binding(*load.driver);
        const GpibStatus& s = binding.status();
        fake.set("next_ud", 0x8000);
        EXPECT_EQ(binding.ibdev(0, 7, 0, 12, 1, 0), -32768);  // a descriptor reads negative
        fake.set("next_ud", 1);
        EXPECT_EQ(binding.ibdev(0, 7, 0, 12, 1, 0), 1);
        fake.set("extra_status", 0x10000);
        binding.ibwrt(1, std::string(70000, 'A'));
        EXPECT_EQ(std::tuple(s.ibcntl32, s.ibcnt, s.ibsta),
                  std::tuple(70000, 70000 - 65536, 0x100));
        fake.set("listening", 0);
        EXPECT_EQ(binding.ibclr(1), -32512);  // ERR | CMPL
        EXPECT_TRUE(binding.err() && s.iberr == ENOL);
    }
}

// The library's answers to RegisterGpibGlobalsForThread: 1 swaps ours in, 2 and 3 undo it.
TEST(GpibBinding, RegistersByResult) {
    const std::string reg = "RegisterGpibGlobalsForThread -> ";
    const std::string unreg = "UnregisterGpibGlobalsForThread";
    const std::pair<std::vector<int>, Lines> rows[] = {
        {{0}, {reg + "0"}},
        {{9}, {reg + "9"}},
        {{2}, {reg + "2", unreg}},
        {{1, 0}, {reg + "1", unreg, reg + "0"}},
        {{1, 5}, {reg + "1", unreg, reg + "5"}}};  // refused twice: nothing registered
    for (const auto& [results, calls] : rows) {
        SCOPED_TRACE(calls.back());
        FakeLibrary fake(FAKE_GPIB_REGISTER);
        fake.setRegisterResults(results);
        const DriverLoad load = fromSpec(fake.spec());
        auto binding = std::make_unique<GpibBinding>(*load.driver);
        binding->ibdev(0, 7, 0, 12, 1, 0);
        const bool registered = calls.back() == reg + "0";
        EXPECT_EQ(binding->err(), !registered);  // an outcome nobody reported reads as failed
        if (!registered)
            EXPECT_EQ(binding->status().ibcntl32, static_cast<std::int32_t>(0xDEAD37F0));
        binding->ibwrt(1, "ABC");  // registers again (now answered 0) only when still needed
        EXPECT_FALSE(binding->err());
        binding.reset();  // and unregisters when it goes
        Lines all = calls;
        all.push_back("ibdev 0 7 0 12 1 0");
        if (!registered) all.push_back(reg + "0");
        all.insert(all.end(), {"ibwrt 1 3 ABC", unreg});
        EXPECT_EQ(fake.calls(), all);
    }
}

}  // namespace
}  // namespace zelmor::link
