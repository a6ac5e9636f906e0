// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <functional>

#include "FakeLibrary.h"
#include "zelmor/link/DeviceLink.h"

namespace zelmor::link {
namespace {

using testing::HasSubstr;

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One link on a fake library, with its status as thread functions or as variables.
class Link : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_NE(link.binding(), nullptr); }
    static std::string wrt(const std::string& text) {
        return "ibwrt 1 " + std::to_string(text.size()) + " " + text;
    }

    FakeLibrary fake{GetParam()};
    GpibAddress address;
    Lines messages;
    DeviceLink link{address, [this] { return fromSpec(fake.spec()); },
                    [this](const std::string& text) { messages.push_back(text); }};
};
INSTANTIATE_TEST_SUITE_P(Buses, Link, testing::Values(FAKE_GPIB_THREAD, FAKE_GPIB_GLOBALS));

TEST_P(Link, OpensSendsReopensAfterAFailedWriteAndClosesOnce) {
    EXPECT_TRUE(link.SendCommand("AP-.5DM"));  // closed: opens first
    ASSERT_TRUE(link.OpenDevice());            // the old descriptor goes first
    fake.set("write_error", EABO);
    EXPECT_FALSE(link.SendCommand("AP0DM"));
    fake.set("write_error", -1);
    EXPECT_FALSE(link.SendCommand("AP1DM"));  // the same action: no reopen, no second time-out
    link.beginAction();
    EXPECT_TRUE(link.SendCommand(""));  // the next action reopens
    link.CloseDevice();
    link.CloseDevice();
    auto session = [&](const Lines& end) {
        return join({{"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", wrt("XX")}, end});
    };
    EXPECT_EQ(fake.calls(),
              join({session({wrt("AP-.5DM"), "ibonl 1 0"}), session({wrt("AP0DM"), "ibonl 1 0"}),
                    session({wrt(""), "ibloc 1", "ibonl 1 0"})}));
}

TEST_P(Link, FailedOpenSaysNothingAndKeepsNoDescriptor) {
    const std::pair<std::int16_t, Lines> rows[] = {
        {0, {"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", "ibonl 1 0"}},  // no listener
        {1, {"ibconfig 1 23 1", "ibdev 1 7 0 12 1 0"}},                          // no such board
    };
    for (const auto& [board, failedOpen] : rows) {
        fake.reset();
        address.Board = board;
        fake.set("listening", board != 0);
        link.beginAction();
        EXPECT_FALSE(link.OpenDevice());
        EXPECT_FALSE(link.SendCommand("FR1MZ"));  // the same action: not tried again
        EXPECT_EQ(link.failure()->call, board == 0 ? "ibclr" : "ibdev");
        link.beginAction();
        EXPECT_FALSE(link.SendCommand("FR1MZ"));  // the next action tries again
        EXPECT_EQ(fake.calls(), join({failedOpen, failedOpen}));
        EXPECT_EQ(fake.online(), 0);
        fake.set("listening", true);
        address.Board = 0;
        EXPECT_EQ(link.SendCommand("FR1MZ"), board != 0);  // another address is worth a try
        EXPECT_EQ(link.failure().has_value(), board == 0);
        link.CloseDevice();
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
        EXPECT_EQ(link.binding(), nullptr);
        ASSERT_EQ(said.size(), 3u);  // every action tries again
        EXPECT_THAT(said[0], HasSubstr(path));
        EXPECT_THAT(said[0], HasSubstr(missing ? path : "ibloc"));
        EXPECT_EQ(said[0].ends_with("\rInstall National Instruments drivers"), missing);
    }
}

}  // namespace
}  // namespace zelmor::link
