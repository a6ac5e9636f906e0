// SPDX-License-Identifier: MIT
#include <algorithm>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "FakeLibrary.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using Lines = std::vector<std::string>;

// A link whose driver comes from `make`; `sim` points at it when it is the simulator.
struct Bench {
    explicit Bench(std::function<DriverLoad()> make) : make_(std::move(make)) {}
    Bench()
        : Bench([this] {
              auto driver = std::make_unique<SimGenerator>();
              sim = driver.get();
              return DriverLoad{std::move(driver), {}, false};
          }) {}
    std::function<DriverLoad()> make_;
    GpibAddress address;
    SimGenerator* sim = nullptr;
    Lines messages;
    DeviceLink link{address, [this] { return make_(); },
                    [this](const std::string& text) { messages.push_back(text); }};
};

DriverLoad fromSpec(const std::string& spec) {
    BackendRegistry registry;
    registerBuiltinBackends(registry);
    return registry.create(spec);
}

TEST(DeviceLink, CommandWhileClosedOpensFirst) {
    Bench b;
    EXPECT_TRUE(b.link.SendCommand("FR100MZ"));
    EXPECT_TRUE(b.link.DeviceOpen());
    EXPECT_EQ(b.sim->calls(), (Lines{"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1",
                                     "ibwrt 1 \"XX\"", "ibwrt 1 \"FR100MZ\""}));
    EXPECT_EQ(b.sim->state().frequencyHz, 100'000'000);
    EXPECT_TRUE(b.sim->lockedOut());

    FakeLibrary fake(FAKE_GPIB_THREAD);
    Bench lib([&] { return fromSpec(fake.spec()); });
    EXPECT_TRUE(lib.link.SendCommand("AP-.5DM"));
    EXPECT_TRUE(lib.link.SendCommand(""));
    EXPECT_EQ(fake.calls(), (Lines{"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1",
                                   "ibwrt 1 2 XX", "ibwrt 1 7 AP-.5DM", "ibwrt 1 0 "}));
}

TEST(DeviceLink, FailuresCloseReopensAndClosesReleaseOneDescriptor) {
    Bench b;
    ASSERT_TRUE(b.link.OpenDevice());
    ASSERT_TRUE(b.link.OpenDevice());  // the old descriptor goes first
    b.sim->setWriteTimeout(true);
    EXPECT_FALSE(b.link.SendCommand("AP0DM"));
    EXPECT_FALSE(b.link.DeviceOpen());
    b.sim->setWriteTimeout(false);
    EXPECT_TRUE(b.link.SendCommand("AP1DM"));
    b.link.CloseDevice();
    b.link.CloseDevice();
    const Lines open = {"ibconfig 0 23 1", "ibdev 0 7 0 12 1 0", "ibclr 1", "ibwrt 1 \"XX\""};
    Lines want = open;
    want.push_back("ibonl 1 0");
    want.insert(want.end(), open.begin(), open.end());
    want.insert(want.end(), {"ibwrt 1 \"AP0DM\"", "ibonl 1 0"});
    want.insert(want.end(), open.begin(), open.end());
    want.insert(want.end(), {"ibwrt 1 \"AP1DM\"", "ibloc 1", "ibonl 1 0"});
    EXPECT_EQ(b.sim->calls(), want);
    EXPECT_EQ(b.sim->state().levelDeciDbm, 10);
    EXPECT_FALSE(b.sim->remote());
    EXPECT_EQ(b.sim->descriptorsOnLine(), 0);
}

TEST(DeviceLink, NoListenerFailsSilentlyAndReleasesTheDescriptor) {
    for (const bool wrongAddress : {false, true}) {
        Bench b;
        b.address.PAd = wrongAddress ? 8 : 7;
        ASSERT_TRUE(b.link.binding());
        b.sim->setListening(wrongAddress);
        EXPECT_FALSE(b.link.OpenDevice());
        EXPECT_FALSE(b.link.SendCommand("FR1MZ"));
        EXPECT_FALSE(b.link.DeviceOpen());
        EXPECT_TRUE(b.messages.empty());
        EXPECT_TRUE(b.sim->writes().empty());
        EXPECT_EQ(b.sim->descriptorsOnLine(), 0);
        EXPECT_EQ(b.sim->calls().back(), "ibonl 1 0");
    }
}

TEST(DeviceLink, DriverThatCannotLoadIsReportedAtEveryOpen) {
    const std::string hint = "\rInstall National Instruments drivers";
    Bench missing([] { return fromSpec("lib:/no/such/dir/libgpib.so.0"); });
    EXPECT_FALSE(missing.link.OpenDevice());
    EXPECT_FALSE(missing.link.SendCommand("FR1MZ"));
    EXPECT_EQ(missing.link.binding(), nullptr);
    EXPECT_FALSE(missing.link.DeviceOpen());
    ASSERT_EQ(missing.messages.size(), 3u);
    const std::string& text = missing.messages[0];
    EXPECT_NE(text.find("/no/such/dir/libgpib.so.0"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - hint.size()), hint);

    Bench noEntry([] { return fromSpec(std::string("lib:") + FAKE_GPIB_NO_IBLOC); });
    EXPECT_FALSE(noEntry.link.OpenDevice());
    ASSERT_EQ(noEntry.messages.size(), 1u);
    EXPECT_NE(noEntry.messages[0].find(FAKE_GPIB_NO_IBLOC), std::string::npos);
    EXPECT_NE(noEntry.messages[0].find("ibloc"), std::string::npos);
    EXPECT_EQ(noEntry.messages[0].find("Install"), std::string::npos);
}

TEST(DeviceLink, DestroyingAnOpenLinkLeavesTheBusAlone) {
    FakeLibrary fake(FAKE_GPIB_REGISTER);
    Bench([&] { return fromSpec(fake.spec()); }).link.OpenDevice();
    const Lines calls = fake.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), "UnregisterGpibGlobalsForThread");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ibloc 1"), 0);
}

// Random opens, commands, closes and bus faults never leave more than one descriptor on line,
// and none after the last close.
TEST(DeviceLink, NoDescriptorLeaksOverRandomSequences) {
    auto run = [](DeviceLink& link, auto listen, auto failWrites, auto online) {
        std::mt19937 rng(8656);
        for (int i = 0; i < 3000; ++i) {
            switch (rng() % 6) {
                case 0:
                    link.OpenDevice();
                    break;
                case 1:
                    link.CloseDevice();
                    break;
                case 2:
                    listen(rng() % 3 != 0);
                    break;
                case 3:
                    failWrites(rng() % 3 == 0);
                    break;
                default:
                    link.SendCommand("FRUP");
                    break;
            }
            ASSERT_EQ(online(), link.DeviceOpen() ? 1 : 0) << "step " << i;
        }
        link.CloseDevice();
        EXPECT_EQ(online(), 0);
    };
    Bench s;
    ASSERT_TRUE(s.link.binding());
    run(
        s.link, [&](bool on) { s.sim->setListening(on); },
        [&](bool on) { s.sim->setWriteTimeout(on); }, [&] { return s.sim->descriptorsOnLine(); });
    FakeLibrary fake(FAKE_GPIB_GLOBALS);
    Bench l([&] { return fromSpec(fake.spec()); });
    run(
        l.link, [&](bool on) { fake.setListening(on); },
        [&](bool on) { fake.setWriteError(on ? EABO : -1); }, [&] { return fake.online(); });
}

}  // namespace
}  // namespace zelmor::link
