// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "FakeLibrary.h"
#include "zelmor/link/GpibBinding.h"

namespace zelmor::link {
namespace {

// The same 16-bit view, however the library exposes its status.
TEST(GpibBinding, NarrowsWhatEveryLibraryFormReports) {
    for (const char* path : {FAKE_GPIB_THREAD, FAKE_GPIB_THREAD_NI, FAKE_GPIB_FUNCS,
                             FAKE_GPIB_GLOBALS, FAKE_GPIB_REGISTER}) {
        SCOPED_TRACE(path);
        FakeLibrary fake(path);
        const DriverLoad load = fromSpec(fake.spec());
        ASSERT_TRUE(load.driver) << load.error;
        GpibBinding binding(*load.driver);
        const GpibStatus& s = binding.status();
        fake.set("next_ud", 0x8000);
        EXPECT_EQ(binding.ibdev(0, 7, 0, 12, 1, 0), -32768);  // a descriptor reads negative
        EXPECT_FALSE(binding.err());
        fake.set("next_ud", 1);
        const std::int16_t ud = binding.ibdev(0, 7, 0, 12, 1, 0);
        fake.set("extra_status", 0x10000);
        binding.ibwrt(ud, std::string(70000, 'A'));
        EXPECT_EQ(std::tuple(s.ibcntl32, s.ibcnt, s.ibsta),
                  std::tuple(70000, 70000 - 65536, 0x100));
        fake.set("listening", 0);
        EXPECT_EQ(binding.ibclr(ud), -32512);  // ERR | CMPL
        EXPECT_TRUE(binding.err() && s.iberr == ENOL);
    }
}

TEST(GpibBinding, RegistersByResult) {
    const std::string reg = "RegisterGpibGlobalsForThread -> ";
    const std::string unreg = "UnregisterGpibGlobalsForThread";
    const std::pair<std::vector<int>, Lines> rows[] = {
        // the library's answers; calls made
        {{0}, {reg + "0"}},
        {{1, 0}, {reg + "1", unreg, reg + "0"}},
        {{2}, {reg + "2", unreg}},
        {{3}, {reg + "3", unreg}},
        {{9}, {reg + "9"}},
        {{1, 5}, {reg + "1", unreg, reg + "5"}},  // refused twice: nothing registered
    };
    for (const auto& [results, before] : rows) {
        SCOPED_TRACE(before.back());
        FakeLibrary fake(FAKE_GPIB_REGISTER);
        fake.setRegisterResults(results);
        const DriverLoad load = fromSpec(fake.spec());
        ASSERT_TRUE(load.driver) << load.error;
        auto binding = std::make_unique<GpibBinding>(*load.driver);
        const GpibStatus& s = binding->status();
        binding->ibdev(0, 7, 0, 12, 1, 0);
        const bool registered = before.back() == reg + "0";
        Lines calls = before;
        calls.push_back("ibdev 0 7 0 12 1 0");
        EXPECT_EQ(fake.calls(), calls);
        EXPECT_EQ(binding->err(), !registered);  // an outcome nobody reported reads as failed
        if (!registered) {
            EXPECT_EQ(std::tuple(s.iberr, s.ibcntl32, s.ibcnt),
                      std::tuple(EDVR, static_cast<std::int32_t>(0xDEAD37F0), 0x37F0));
        }
        binding->ibwrt(1, "ABC");  // registers again (now answered 0) only when still needed
        EXPECT_FALSE(binding->err());
        binding.reset();  // and unregisters when it goes
        if (!registered) calls.push_back(reg + "0");
        calls.insert(calls.end(), {"ibwrt 1 3 ABC", unreg});
        EXPECT_EQ(fake.calls(), calls);
    }
}

}  // namespace
}  // namespace zelmor::link
