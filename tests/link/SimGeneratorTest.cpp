// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using State = SimGeneratorState;
using Texts = std::vector<std::string>;
using testing::HasSubstr;

// Writes each text in turn over a new descriptor; the status of each write.
std::vector<std::int32_t> send(SimGenerator& sim, const Texts& texts) {
    const std::int32_t ud = sim.ibdev(0, 7, 0, 12, 1, 0);
    std::vector<std::int32_t> sta;
    for (const std::string& t : texts) sta.push_back(sim.ibwrt(ud, t));
    return sta;
}

TEST(SimGenerator, AcceptsEveryCommandForm) {
    constexpr ModSource k1k = ModSource::Internal1kHz;
    // clang-format off
    const std::pair<Texts, State> rows[] = {
        {{"XX", "AP-127DM", "FR.1MZ"}, {.frequencyHz = 100'000}},
        {{"FR990MZ", "AP13DM"}, {.frequencyHz = 990'000'000, .levelDeciDbm = 130}},
        {{"FR123.4567MZ", "AP-.5DM"}, {.frequencyHz = 123'456'700, .levelDeciDbm = -5}},
        {{"S3AM99PC"}, {.amDepthPercent = 99, .amSource = k1k, .amOn = true}},
        {{"S2AM5PC", "AMS2S4"}, {.amDepthPercent = 5}}, {{"S3FM99KZ", "FMS2S4"}, {.fmDeviationHz = 99'000}},
        {{"S2FM10KZ"}, {.fmDeviationHz = 10'000, .fmOn = true}},
        {{"FRIS1000HZ", "FRUP", "FRUP"}, {.frequencyHz = 100'002'000, .frequencyIncrementHz = 1000}},
        {{"APIS0.1DM", "AP12.9DM", "APUP"}, {.levelDeciDbm = 130, .levelIncrementDeciDb = 1}},
        {{"AP0DMS2AM30PCAPIS3DM"},
         {.levelDeciDbm = 0, .amDepthPercent = 30, .amOn = true, .levelIncrementDeciDb = 30}}};
    // clang-format on
    for (const auto& [texts, want] : rows) {
        SCOPED_TRACE(texts.front());
        SimGenerator sim;
        EXPECT_THAT(send(sim, texts), testing::Each(CMPL));
        EXPECT_EQ(sim.state(), want);
        EXPECT_EQ(sim.notes(), Texts{});
        EXPECT_EQ(sim.status().ibcntl, static_cast<int>(texts.back().size()));
    }
}

// The bus takes the bytes all the same; the complaint goes to stderr and the notes.
TEST(SimGenerator, RefusesWhatTheInstrumentWouldNot) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"FR99.9KZ", "frequency 99.9KZ is outside 0.1 to 990 MHz"}, {"FR100", "number 100 has no unit"},
        {"FR990.0001MZ", "frequency 990.0001MZ is outside"}, {"FR100.00001MZ", "finer than 100 Hz"},
        {"AP-127.1DM", "level -127.1DM is outside -127 to +13 dBm"}, {"AP13.1DM", "level 13.1DM is outside"},
        {"S2AM100PC", "AM depth 100PC is outside 0 to 99 %"}, {"QQ", "unknown code QQ"},
        {"S2FM99.1KZ", "FM deviation 99.1KZ is outside 0 to 99 kHz"}, {"S2", "S2 names no AM or FM"},
        {"FR100DM", "unit DM does not fit the frequency"}, {"AP13DMAPUP", "UP would take the level outside"},
        {"FR1234567890123456789MZ", "too many digits"}, {"FR100MZ\r\n", "unexpected byte \"\\r\""}};
    // clang-format on
    for (const auto& [text, why] : rows) {
        SimGenerator sim;
        testing::internal::CaptureStderr();
        EXPECT_EQ(send(sim, {text}), std::vector{CMPL}) << text;
        EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr(why));
        EXPECT_THAT(sim.notes(), testing::Contains(testing::AllOf(testing::StartsWith("# sim: "),
                                                                  HasSubstr(why))));
    }
}

TEST(SimGenerator, BusAnswersByAddress) {
    const std::tuple<int, int, int, int, bool> rows[] = {
        // board, PAD, SAD, ibdev's error, listens
        {0, 7, 0, -1, true},     {1, 7, 0, ENEB, false}, {0, 31, 0, EARG, false},
        {0, -1, 0, EARG, false}, {0, 8, 0, -1, false},   {0, 7, 0x60, -1, false},
    };
    for (const auto& [board, pad, sad, ibdevErr, listens] : rows) {
        SCOPED_TRACE(testing::Message() << board << " " << pad << " " << sad);
        SimGenerator sim;
        sim.ibconfig(0, IbcSendLLO, 1);
        const std::int32_t ud = sim.ibdev(board, pad, sad, 12, 1, 0);
        EXPECT_EQ(std::pair(ud, sim.status().iberr),
                  std::pair(ibdevErr < 0 ? 1 : -1, std::max(ibdevErr, 0)));
        if (ibdevErr >= 0) continue;
        const std::int32_t sta = listens ? CMPL : ERR | CMPL;
        EXPECT_EQ(sim.ibclr(ud), sta);
        EXPECT_EQ(sim.ibwrt(ud, "XX"), sta);
        EXPECT_EQ(sim.lockedOut(), listens);
        EXPECT_EQ(sim.ibloc(ud), sta);
        EXPECT_TRUE(sim.status().iberr == (listens ? 0 : ENOL) && !sim.remote());
        EXPECT_EQ(sim.ibonl(ud, 0), CMPL);
        EXPECT_EQ(sim.ibonl(ud, 0), ERR);  // already released
    }
    SimGenerator withSad(7, 0x61);
    EXPECT_EQ(withSad.ibclr(withSad.ibdev(0, 7, 0x61, 12, 1, 0)), CMPL);
    EXPECT_EQ(withSad.ibdev(0, 7, 0x61, 12, 1, 0), 2);  // while 1 is in use
}

}  // namespace
}  // namespace zelmor::link
