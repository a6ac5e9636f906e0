// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using State = SimGeneratorState;
constexpr ModSource k1k = ModSource::Internal1kHz;

// A generator with one descriptor on it; `send` writes each text in turn.
struct Bench {
    SimGenerator sim;
    std::int32_t ud = sim.ibdev(0, 7, 0, 12, 1, 0);
    std::int32_t send(const std::vector<const char*>& texts) {
        std::int32_t sta = 0;
        for (const char* t : texts) sta = sim.ibwrt(ud, t);
        return sta;
    }
};

TEST(SimGenerator, AcceptsEveryCommandForm) {
    struct Row {
        std::vector<const char*> texts;
        std::function<void(State&)> edit;
    };
    const Row rows[] = {
        {{"XX"}, [](State&) {}},
        {{"FR.1MZ"}, [](State& s) { s.frequencyHz = 100'000; }},
        {{"FR123.4567MZ"}, [](State& s) { s.frequencyHz = 123'456'700; }},
        {{"AP-.5DM"}, [](State& s) { s.levelDeciDbm = -5; }},
        {{"AP13DM"}, [](State& s) { s.levelDeciDbm = 130; }},
        {{"S3AM99PC"}, [](State& s) { s.amDepthPercent = 99, s.amOn = true, s.amSource = k1k; }},
        {{"S2AM5PC", "AMS2S4"}, [](State& s) { s.amDepthPercent = 5; }},
        {{"S2FM10KZ"}, [](State& s) { s.fmDeviationHz = 10'000, s.fmOn = true; }},
        {{"S3FM99KZ", "FMS2S4"}, [](State& s) { s.fmDeviationHz = 99'000; }},
        {{"FRIS1000HZ", "FRUP", "FRUP"},
         [](State& s) { s.frequencyIncrementHz = 1000, s.frequencyHz = 100'002'000; }},
        {{"APIS0.1DM", "AP12.9DM", "APUP"},
         [](State& s) { s.levelIncrementDeciDb = 1, s.levelDeciDbm = 130; }},
        {{"FR1MZAP0DMS2AM30PCAPIS3DM"},
         [](State& s) {
             s.frequencyHz = 1'000'000, s.levelDeciDbm = 0, s.levelIncrementDeciDb = 30;
             s.amDepthPercent = 30, s.amOn = true;
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.texts.front());
        Bench b;
        State want;
        r.edit(want);
        EXPECT_EQ(b.send(r.texts), CMPL);
        EXPECT_EQ(b.sim.state(), want);
        EXPECT_TRUE(b.sim.notes().empty()) << b.sim.notes().front();
        EXPECT_EQ(b.sim.writes(), std::vector<std::string>(r.texts.begin(), r.texts.end()));
        EXPECT_EQ(b.sim.status().ibcntl, static_cast<int>(std::strlen(r.texts.back())));
    }
}

TEST(SimGenerator, RefusesWhatTheInstrumentWouldNot) {
    const std::pair<const char*, const char*> rows[] = {
        {"FR1000MZ", "frequency 1000MZ is outside 0.1 to 990 MHz"},
        {"FR.09MZ", "frequency .09MZ is outside"},
        {"FR100.00001MZ", "finer than 100 Hz"},
        {"AP-127.1DM", "level -127.1DM is outside -127 to +13 dBm"},
        {"S2AM100PC", "AM depth 100PC is outside 0 to 99 %"},
        {"S2FM100KZ", "FM deviation 100KZ is outside 0 to 99 kHz"},
        {"FR100DM", "unit DM does not fit the frequency"},
        {"FR100", "number 100 has no unit"},
        {"QQ", "unknown code QQ"},
        {"S2", "S2 names no AM or FM"},
        {"AP13DMAPUP", "UP would take the level outside"},
        {"FR1234567890123456789MZ", "too many digits"},
        {"FR100MZ\r\n", "unexpected byte \"\\r\""},
    };
    for (const auto& [text, why] : rows) {
        SCOPED_TRACE(text);
        Bench b;
        testing::internal::CaptureStderr();
        EXPECT_EQ(b.send({text}), CMPL);  // the bus took the bytes all the same
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_FALSE(b.sim.notes().empty());
        const std::string& note = b.sim.notes().front();
        EXPECT_EQ(note.rfind("# sim: ", 0), 0u) << note;
        EXPECT_NE(note.find(why), std::string::npos) << note;
        EXPECT_NE(err.find(note + "\n"), std::string::npos);
    }
    Bench b;
    b.sim.setFailRefusedWrites(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(b.send({"AP0DMAP99DM"}), ERR | TIMO | CMPL);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(b.sim.status().iberr, EABO);
    EXPECT_EQ(b.sim.state().levelDeciDbm, 0);  // the part it could take stands
}

TEST(SimGenerator, BusAnswersByAddress) {
    struct Row {
        std::int32_t board, pad, sad;
        std::int32_t ibdevErr;  // -1: ibdev succeeds
        bool listens;
    };
    const Row rows[] = {
        {0, 7, 0, -1, true},     {1, 7, 0, ENEB, false},    {0, 31, 0, EARG, false},
        {0, -1, 0, EARG, false}, {0, 7, 0x5F, EARG, false}, {0, 7, 0x7F, EARG, false},
        {0, 8, 0, -1, false},    {0, 7, 0x60, -1, false},   {0, 0, 0x7E, -1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.board << " " << r.pad << " " << r.sad);
        SimGenerator sim;
        sim.ibconfig(0, IbcSendLLO, 1);
        const std::int32_t ud = sim.ibdev(r.board, r.pad, r.sad, 12, 1, 0);
        EXPECT_EQ(sim.status().iberr, std::max(r.ibdevErr, 0));
        EXPECT_EQ(sim.descriptorsOnLine(), r.ibdevErr < 0 ? 1 : 0);
        if (r.ibdevErr >= 0) {
            EXPECT_EQ(ud, -1);
            continue;
        }
        EXPECT_EQ(sim.ibclr(ud) == CMPL, r.listens);
        EXPECT_EQ(sim.ibwrt(ud, "XX") == CMPL, r.listens);
        EXPECT_EQ(sim.status().iberr, r.listens ? 0 : ENOL);
        EXPECT_EQ(sim.lockedOut(), r.listens);
        EXPECT_EQ(sim.ibloc(ud) == CMPL, r.listens);
        EXPECT_FALSE(sim.remote());
        EXPECT_EQ(sim.ibonl(ud, 0), CMPL);
        EXPECT_EQ(sim.ibonl(ud, 0), ERR);  // already released
        EXPECT_EQ(sim.descriptorsOnLine(), 0);
    }
    SimGenerator withSad(7, 0x61);
    EXPECT_EQ(withSad.ibclr(withSad.ibdev(0, 7, 0x61, 12, 1, 0)), CMPL);
}

TEST(SimGenerator, WriteTimeoutBlocksForTheDelayThenFails) {
    Bench b;
    b.sim.setWriteTimeout(true, std::chrono::milliseconds(60));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(b.send({"FR1MZ"}), ERR | TIMO | CMPL);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(b.sim.status().iberr, EABO);
    EXPECT_TRUE(b.sim.writes().empty());
    EXPECT_EQ(b.sim.state(), State{});
}

}  // namespace
}  // namespace zelmor::link
