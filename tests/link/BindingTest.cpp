// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeLibrary.h"
#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibBinding.h"

namespace zelmor::link {
namespace {

std::unique_ptr<GpibDriver> load(const FakeLibrary& fake) {
    BackendRegistry registry;
    registerBuiltinBackends(registry);
    DriverLoad load = registry.create(fake.spec());
    EXPECT_TRUE(load.driver) << load.error;
    return std::move(load.driver);
}

// The same 16-bit view, however the library exposes its status.
TEST(GpibBinding, NarrowsWhatEveryLibraryFormReports) {
    for (const char* path : {FAKE_GPIB_THREAD, FAKE_GPIB_THREAD_NI, FAKE_GPIB_FUNCS,
                             FAKE_GPIB_GLOBALS, FAKE_GPIB_REGISTER}) {
        SCOPED_TRACE(path);
        FakeLibrary fake(path);
        const auto driver = load(fake);
        ASSERT_TRUE(driver);
        GpibBinding binding(*driver);
        fake.setNextUd(0x8000);
        EXPECT_EQ(binding.ibdev(0, 7, 0, 12, 1, 0), -32768);  // a descriptor reads negative
        EXPECT_FALSE(binding.err());
        fake.setNextUd(0x12345);
        EXPECT_EQ(binding.ibdev(0, 7, 0, 12, 1, 0), 0x2345);
        fake.setNextUd(1);
        const std::int16_t ud = binding.ibdev(0, 7, 0, 12, 1, 0);
        fake.setExtraStatus(0x10000);
        binding.ibwrt(ud, std::string(70000, 'A'));
        EXPECT_EQ(binding.status().ibcntl32, 70000);
        EXPECT_EQ(binding.status().ibcnt, 70000 - 65536);
        EXPECT_EQ(binding.status().ibsta32, 0x10100);
        EXPECT_EQ(binding.status().ibsta, 0x100);
        fake.setListening(false);
        EXPECT_EQ(binding.ibclr(ud), -32512);  // ERR | CMPL
        EXPECT_TRUE(binding.err());
        EXPECT_EQ(binding.status().iberr, ENOL);
    }
}

TEST(GpibBinding, RegistersByResult) {
    const std::string reg = "RegisterGpibGlobalsForThread -> ";
    const std::string unreg = "UnregisterGpibGlobalsForThread";
    struct Row {
        std::vector<int> results;
        std::vector<std::string> calls;  // before the first ibdev
    };
    const Row rows[] = {
        {{0}, {reg + "0"}},
        {{1, 0}, {reg + "1", unreg, reg + "0"}},
        {{2}, {reg + "2", unreg}},
        {{3}, {reg + "3", unreg}},
        {{9}, {reg + "9"}},
        {{1, 5}, {reg + "1", unreg, reg + "5"}},  // refused twice: nothing registered
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.calls.back());
        FakeLibrary fake(FAKE_GPIB_REGISTER);
        fake.setRegisterResults(r.results);
        const auto driver = load(fake);
        ASSERT_TRUE(driver);
        GpibBinding binding(*driver);
        const std::int16_t ud = binding.ibdev(0, 7, 0, 12, 1, 0);
        const bool registered = r.calls.back() == reg + "0";
        std::vector<std::string> calls = r.calls;
        calls.push_back("ibdev 0 7 0 12 1 0");
        EXPECT_EQ(fake.calls(), calls);
        EXPECT_EQ(binding.status().registered, registered);
        // Unregistered, the call's outcome is unknown: it must read as failed.
        EXPECT_EQ(binding.err(), !registered);
        if (!registered) {
            EXPECT_EQ(binding.status().iberr, 0);
            EXPECT_EQ(binding.status().ibcntl32, static_cast<std::int32_t>(0xDEAD37F0));
            EXPECT_EQ(binding.status().ibcnt, 0x37F0);
        }
        // The next call registers again (the script now answers 0) only when still needed.
        binding.ibwrt(ud, "ABC");
        if (!registered) calls.push_back(reg + "0");
        calls.push_back("ibwrt 1 3 ABC");
        EXPECT_EQ(fake.calls(), calls);
        EXPECT_FALSE(binding.err());
        EXPECT_EQ(binding.status().ibcnt, 3);
    }
}

}  // namespace
}  // namespace zelmor::link
