// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "FakeLibrary.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using testing::HasSubstr;

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One link, on the simulated bus ("sim") or on the fake library at the given path.
class Link : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_NE(link.binding(), nullptr); }

    Lines calls() const { return sim ? sim->calls() : fake->calls(); }
    std::string wrt(const std::string& text) const {  // how each bus logs a write of text
        return sim ? "ibwrt 1 \"" + text + "\""
                   : "ibwrt 1 " + std::to_string(text.size()) + " " + text;
    }
    void reset() { sim ? sim->clearRecords() : fake->reset(); }
    void listen(bool on) { sim ? sim->setListening(on) : fake->set("listening", on); }
    void failWrites(bool on) {
        sim ? sim->setWriteTimeout(on) : fake->set("write_error", on ? EABO : -1);
    }
    int online() const { return sim ? sim->descriptorsOnLine() : fake->online(); }

    std::unique_ptr<FakeLibrary> fake =
        GetParam() == std::string("sim") ? nullptr : std::make_unique<FakeLibrary>(GetParam());
    SimGenerator* sim = nullptr;
    GpibAddress address;
    Lines messages;
    DeviceLink link{address,
                    [this] {
                        DriverLoad load = fromSpec(fake ? fake->spec() : "sim");
                        sim = dynamic_cast<SimGenerator*>(load.driver.get());
                        return load;
                    },
                    [this](const std::string& text) { messages.push_back(text); }};
};
INSTANTIATE_TEST_SUITE_P(Buses, Link, testing::Values("sim", FAKE_GPIB_THREAD, FAKE_GPIB_GLOBALS));

TEST_P(Link, OpensSendsReopensAfterAFailedWriteAndClosesOnce) {
    EXPECT_TRUE(link.SendCommand("AP-.5DM"));  // closed: opens first
    ASSERT_TRUE(link.OpenDevice());            // the old descriptor goes first
    failWrites(true);
    EXPECT_FALSE(link.SendCommand("AP0DM"));
    failWrites(false);
    EXPECT_FALSE(link.SendCommand("AP1DM"));  // the same action: no reopen, no second time-out
    link.beginAction();
    EXPECT_TRUE(link.SendCommand(""));  // the next action reopens
    link.CloseDevice();
    link.CloseDevice();
    auto session = [&](const Lines& end) {
        return join({{"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", wrt("XX")}, end});
    };
    EXPECT_EQ(calls(),
              join({session({wrt("AP-.5DM"), "ibonl 1 0"}), session({wrt("AP0DM"), "ibonl 1 0"}),
                    session({wrt(""), "ibloc 1", "ibonl 1 0"})}));
}

TEST_P(Link, FailedOpenSaysNothingAndKeepsNoDescriptor) {
    const std::pair<std::int16_t, Lines> rows[] = {
        {0, {"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", "ibonl 1 0"}},  // no listener
        {1, {"ibconfig 1 23 1", "ibdev 1 7 0 12 1 0"}},                          // no such board
    };
    for (const auto& [board, failedOpen] : rows) {
        reset();
        address.Board = board;
        listen(board != 0);
        link.beginAction();
        EXPECT_FALSE(link.OpenDevice());
        EXPECT_FALSE(link.SendCommand("FR1MZ"));  // the same action: not tried again
        EXPECT_EQ(link.failure()->call, board == 0 ? "ibclr" : "ibdev");
        link.beginAction();
        EXPECT_FALSE(link.SendCommand("FR1MZ"));  // the next action tries again
        EXPECT_EQ(calls(), join({failedOpen, failedOpen}));
        EXPECT_EQ(online(), 0);
        listen(true);
        address.Board = 0;
        EXPECT_EQ(link.SendCommand("FR1MZ"), board != 0);  // another address is worth a try
        EXPECT_EQ(link.failure().has_value(), board == 0);
        link.CloseDevice();
    }
    EXPECT_TRUE(messages.empty());
}

TEST(DeviceLink, DriverThatCannotLoadIsReportedAtEveryOpen) {
    for (const std::string path : {"/no/such/dir/libgpib.so.0", FAKE_GPIB_NO_IBLOC}) {
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
