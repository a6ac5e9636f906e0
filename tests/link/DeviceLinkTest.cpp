// SPDX-License-Identifier: MIT
// The link over a driver library: finding the library, reading its status in every form it
// comes in, and the link's calls through it (fake/FakeGpib.c stands in for the library).
#include <gmock/gmock.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "FakeLibrary.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/GpibErrors.h"

namespace zelmor::link {
namespace {

using testing::HasSubstr;

// "", "lib", "lib:" and an unset ZELMOR_GPIB all search the system libraries.
TEST(BackendRegistry, NoPathSearchesTheSystemLibraries) {
    unsetenv("ZELMOR_GPIB");
    const DriverLoad loads[] = {fromSpec("lib"), fromSpec(""), fromSpec("lib:"),
                                createFromEnvironment(builtins())};
    for (const DriverLoad& load : loads) {
        EXPECT_EQ(std::tuple(load.driver != nullptr, load.fileNotFound, load.error),
                  std::tuple(loads[0].driver != nullptr, loads[0].fileNotFound, loads[0].error));
    }
    EXPECT_THAT(loads[0].error, HasSubstr(loads[0].driver ? "" : "libgpib.so.0, libni4882.so"));
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
        EXPECT_EQ(binding->status().ibcntl32 == static_cast<std::int32_t>(0xDEAD37F0), !registered);
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

// One link on a fake library, in each form that reads status without registering fields.
class Link : public testing::TestWithParam<const char*> {
protected:
    FakeLibrary fake{GetParam()};
    GpibAddress address;
    Lines messages;
    DeviceLink link{address, [this] { return fromSpec(fake.spec()); },
                    [this](const std::string& text) { messages.push_back(text); }};
};
INSTANTIATE_TEST_SUITE_P(Forms, Link,
                         testing::Values(FAKE_GPIB_THREAD, FAKE_GPIB_THREAD_NI, FAKE_GPIB_FUNCS,
                                         FAKE_GPIB_GLOBALS));

TEST_P(Link, OpensSendsReopensAfterAFailedWriteAndClosesOnce) {
    EXPECT_TRUE(link.SendCommand("AP-.5DM"));  // closed: opens first
    ASSERT_TRUE(link.OpenDevice());            // the old descriptor goes first
    fake.fail("ibwrt", 1, EABO);
    EXPECT_FALSE(link.SendCommand("AP0DM"));
    EXPECT_FALSE(link.SendCommand("AP1DM"));  // the same action: no reopen, no second time-out
    link.beginAction();
    EXPECT_TRUE(link.SendCommand(""));  // the next action reopens
    link.CloseDevice();
    link.CloseDevice();
    Lines calls;
    for (const std::string text : {"AP-.5DM", "AP0DM", ""}) {
        calls.insert(calls.end(),
                     {"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", "ibwrt 1 2 XX",
                      "ibwrt 1 " + std::to_string(text.size()) + " " + text, "ibonl 1 0"});
    }
    calls.insert(calls.end() - 1, "ibloc 1");
    EXPECT_EQ(fake.calls(), calls);
}

// The same 16-bit view, however the library exposes its status.
TEST_P(Link, NarrowsTheLongCount) {
    EXPECT_TRUE(link.SendCommand(std::string(70000, 'A')));
    const GpibStatus& s = link.binding()->status();
    EXPECT_EQ(std::tuple(s.ibcntl32, s.ibcnt), std::tuple(70000, 70000 - 65536));
}

TEST_P(Link, FailedOpenSaysNothingAndKeepsNoDescriptor) {
    const Lines calls[] = {{"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", "ibonl 1 0"},
                           {"ibconfig 1 23 1", "ibdev 1 7 0 12 1 0"}};
    for (const std::int16_t board : {0, 1}) {  // no listener; no such board
        fake.reset();
        fake.set("listening", board != 0);
        address.Board = board;
        link.beginAction();
        EXPECT_FALSE(link.SendCommand("FR1MZ"));
        EXPECT_FALSE(link.SendCommand("FR1MZ"));  // the same action: not tried again
        EXPECT_EQ(link.failure()->call, board == 0 ? "ibclr" : "ibdev");
        EXPECT_EQ(fake.calls(), calls[board]);
        EXPECT_EQ(fake.online(), 0);
    }
    EXPECT_TRUE(messages.empty());
}

// A path keeps everything after the first colon.
TEST(DeviceLink, DriverThatCannotLoadIsReportedAtEveryOpen) {
    for (const std::string path : {"/no/such:dir/libgpib.so.0", FAKE_GPIB_NO_IBLOC}) {
        const bool missing = path.starts_with("/no/");
        GpibAddress address;
        Lines said;
        DeviceLink link(
            address, [&] { return fromSpec("lib:" + path); },
            [&](const std::string& text) { said.push_back(text); });
        EXPECT_FALSE(link.OpenDevice());
        link.beginAction();
        EXPECT_FALSE(link.SendCommand("FR1MZ"));
        ASSERT_EQ(said.size(), 2u);  // every action tries again
        EXPECT_THAT(said[0],
                    HasSubstr(missing ? path : "library " + path + " has no entry point ibloc"));
        EXPECT_EQ(said[0].ends_with("\rInstall National Instruments drivers"), missing);
    }
}

TEST(GpibErrors, FailuresAreSaidWithWhereAndWhatToCheck) {
    // clang-format off
    const struct { std::int32_t err, cause; const char *endpoint, *said; } rows[] = {
        {EDVR, EACCES, "", "Permission denied opening /dev/gpib0: add your user to the gpib group"},
        {EDVR, EACCES, "/dev/ttyUSB0", "Permission denied opening /dev/ttyUSB0: add your user to the dialout group"},
        {99, 0, "", "GPIB error 99 at board 0, address 7: the failing call is in the trace (ZELMOR_TRACE)"}};
    // clang-format on
    for (const auto& r : rows) {
        const FailureText t = describeFailure(r.err, r.cause, 0, 7, 0, r.endpoint);
        EXPECT_EQ(t.what + ": " + t.check, r.said);
    }
}

}  // namespace
}  // namespace zelmor::link
