// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>

#include <QCoreApplication>
#include <cerrno>
#include <chrono>

#include "FakeAdapter.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/PrologixDriver.h"

namespace zelmor::link {
namespace {

using namespace std::chrono_literals;
using Transport = PrologixDriver::Transport;
using Clock = std::chrono::steady_clock;

// What the adapter received after the ++ver asked while it woke up (an AR488 drops some).
std::string afterWakeUp(std::string bytes) {
    EXPECT_TRUE(bytes.starts_with("++ver\n")) << bytes;
    while (bytes.starts_with("++ver\n")) bytes.erase(0, 6);
    return bytes;
}

// A Prologix on a TCP port, or an AR488 on a serial port: that one resets when plugged in, so
// it misses the first two ++ver and greets with noise.
FakeAdapter::Replies replies(bool ar488) {
    if (!ar488) return {{"++ver", {"Prologix GPIB-USB Controller version 6.107\r\n"}}};
    return {
        {"++ver", {"", "\xF8\xFF\xFE\r\nready.\r\n", "AR488 GPIB controller, ver. 0.51.29\r\n"}},
        {"++fndl", {"7\r\n"}}};
}

class Adapter : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { ASSERT_NE(d, nullptr); }
    const bool tcp = GetParam(), ar488 = !tcp;
    const Transport transport = tcp ? Transport::Tcp : Transport::Serial;
    FakeAdapter fake{tcp, replies(ar488)};
    std::unique_ptr<GpibDriver> d =
        PrologixDriver::fromOptions(transport, fake.options(), {.io = 300ms, .retry = 50ms}).driver;
};
INSTANTIATE_TEST_SUITE_P(Adapters, Adapter, testing::Bool(),
                         [](const auto& info) { return info.param ? "Tcp" : "Serial"; });

TEST_P(Adapter, SpeaksTheProtocolByteForByte) {
    fake.reply("++llo", {"Unrecognized command\r\n"});            // old firmware
    fake.reply("++fndl", {"3,7:5,11\r\n"});                       // PAD:SAD, the SAD as 0..31
    fake.reply("++clr", {"\x01garbage\xFF\r\n\xFE++noise\r\n"});  // read before the next command
    d->ibconfig(0, IbcSendLLO, 1);
    const std::int32_t ud = d->ibdev(0, 7, 101, 12, 1, 0);
    ASSERT_EQ(ud, 1);
    EXPECT_EQ(fake.speed(), tcp ? 0 : B115200);
    EXPECT_EQ(d->ibclr(ud), CMPL);
    EXPECT_EQ(d->ibwrt(ud, "XX"), CMPL);
    EXPECT_EQ(d->ibdev(0, 9, 101, 12, 1, 0), 2);
    EXPECT_EQ(d->ibwrt(ud, "A\rB\nC\033D+E"), CMPL);  // back to the first address
    EXPECT_EQ(d->status().ibcntl, 9);
    EXPECT_EQ(d->ibwrt(ud, ""), CMPL);  // nothing for the bus, nothing for the adapter
    EXPECT_EQ(d->ibonl(2, 0), CMPL);    // the port stays open for the other descriptor
    EXPECT_EQ(d->ibloc(ud), CMPL);
    const std::string llo = "++llo\n++ver\n";
    EXPECT_EQ(afterWakeUp(fake.take()),
              "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++eot_enable 0\n++addr 7 101\n" + llo +
                  (ar488 ? "++fndl 7\n" : "") + "++clr\nXX\n++addr 9 101\n" + llo +
                  "++addr 7 101\nA\033\rB\033\nC\033\033D\033+E\n++loc\n");
    // A Prologix cannot tell whether anyone listens; an AR488 looks (++fndl) before the clear.
    fake.reply("++fndl", {"17,3,7:6\r\n"});
    EXPECT_EQ(d->ibclr(ud), ar488 ? ERR : CMPL);
    EXPECT_EQ(d->status().iberr, ar488 ? ENOL : 0);
    EXPECT_EQ(fake.take(), ar488 ? "++fndl 7\n" : "++clr\n");
}

// Noise with no line end is dropped before the next question, so it cannot spoil the answer;
// an adapter that stays mute to a question is a time-out.
TEST_P(Adapter, ALineCutShortIsDroppedAndSilenceIsATimeOut) {
    d->ibconfig(0, IbcSendLLO, 1);
    const std::int32_t ud = d->ibdev(0, 7, 0, 12, 1, 0);
    fake.reply("++clr", {"noise"});
    ASSERT_EQ(d->ibclr(ud), CMPL);
    fake.take();  // the noise is on its way
    EXPECT_EQ(d->ibdev(0, 9, 0, 12, 1, 0), 2);
    fake.reply("++ver", {""});
    EXPECT_EQ(d->ibdev(0, 10, 0, 12, 1, 0), -1);
    EXPECT_EQ(d->status().ibsta & (ERR | TIMO), ERR | TIMO);
    EXPECT_EQ(d->status().iberr, EABO);
}

// Through the link, at the real time-outs.
TEST_P(Adapter, PulledCableClosesTheLinkUntilTheAdapterIsBack) {
    GpibAddress address;
    DeviceLink link(address, [&] { return PrologixDriver::fromOptions(transport, fake.options()); },
                    {});
    EXPECT_TRUE(link.SendCommand("FR100MZ"));
    fake.unplug();
    const auto start = Clock::now();
    EXPECT_FALSE(link.SendCommand("FRUP"));
    link.beginAction();
    EXPECT_FALSE(link.SendCommand("FRUP"));  // the reopen fails while the adapter is away
    EXPECT_EQ(link.binding()->status().ibcntl32, tcp ? ECONNREFUSED : ENOENT);
    EXPECT_LT(Clock::now() - start, 3s);
    fake.take();
    fake.plug();
    link.beginAction();
    EXPECT_TRUE(link.SendCommand("FR101MZ"));
    EXPECT_THAT(afterWakeUp(fake.take()), testing::EndsWith("++clr\nXX\nFR101MZ\n"));
}

TEST(AdapterOptions, ParsesDevicesHostsAndPortsAndNamesWhatItRefuses) {
    BackendRegistry registry;
    registerAdapterBackends(registry);
    // clang-format off
    const std::tuple<std::string, std::string, int> rows[] = {  // refused: no name
        {"prologix:./odd:name", "./odd:name", 0}, {"prologix-tcp:lab", "lab", 1234},
        {"prologix-tcp:10.0.0.5:5000", "10.0.0.5", 5000}, {"prologix-tcp:fe80::1", "fe80::1", 1234},
        {"prologix-tcp:[::1]:65535", "::1", 65535}, {"prologix:", "", 0}, {"prologix-tcp:", "", 0},
        {"prologix-tcp::1234", "", 0}, {"prologix-tcp:h:0", "", 0}, {"prologix-tcp:h:65536", "", 0},
        {"prologix-tcp:h:x", "", 0}, {"prologix-tcp:[::1", "", 0}, {"prologix-tcp:[::1]1", "", 0}};
    // clang-format on
    for (const auto& [spec, name, port] : rows) {
        const DriverLoad load = registry.create(spec);
        const auto* driver = dynamic_cast<const PrologixDriver*>(load.driver.get());
        EXPECT_EQ(
            driver ? std::pair(driver->name(), int{driver->port()}) : std::pair(std::string(), 0),
            std::pair(name, port));
        EXPECT_EQ(load.error.find("forms: prolog") == std::string::npos, driver != nullptr);
    }
}

}  // namespace
}  // namespace zelmor::link

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // sockets and serial ports belong to a Qt thread
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
