// SPDX-License-Identifier: MIT
// The simulated generator: its backend forms, the commands it takes and refuses, its bus, and
// the trace written over it.
#include <gmock/gmock.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "FakeLibrary.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using State = SimGeneratorState;
using Texts = std::vector<std::string>;
using testing::AllOf, testing::HasSubstr;

TEST(BackendRegistry, ParsesTheSimFormsAndNamesWhatItRefuses) {
    const std::tuple<const char*, int, int> good[] = {
        {"sim", 7, 0}, {"sim:12", 12, 0}, {"sim:0,96", 0, 96}, {"sim:30,126", 30, 126}};
    for (const auto& [spec, pad, sad] : good) {
        const DriverLoad load = fromSpec(spec);
        const auto* sim = dynamic_cast<SimGenerator*>(load.driver.get());
        EXPECT_TRUE(sim && sim->pad() == pad && sim->sad() == sad) << spec;
    }
    // Every refusal names the value and the accepted forms.
    for (const std::string spec :
         {"sim:x", "sim:31", "sim:-1", "sim:7,", "sim:7,95", "sim:7,127", "sim:7,96,1", "bogus"}) {
        const DriverLoad load = fromSpec(spec);
        EXPECT_FALSE(load.driver || load.fileNotFound);
        EXPECT_THAT(load.error,
                    AllOf(HasSubstr('"' + spec + '"'), HasSubstr("sim, sim:PAD or sim:PAD,SAD")));
    }
}

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
        EXPECT_THAT(sim.notes(), testing::Contains(HasSubstr(why)));
    }
}

// The simulated bus seen through the trace.
TEST(Trace, WritesOneFlushedLinePerCall) {
    const std::string path = testing::TempDir() + "zelmor-trace-" + std::to_string(getpid());
    std::ofstream(path) << "kept\n";  // appended to, not replaced
    const auto d = makeTracing(std::make_unique<SimGenerator>(), path);
    testing::internal::CaptureStderr();
    d->ibdev(1, 7, 0, 12, 1, 0);
    d->ibdev(0, 7, 0, 12, 1, 0);
    d->ibdev(0, 7, 0x60, 12, 1, 0);  // the lowest free descriptor
    d->ibclr(2);                     // nobody at that secondary address
    d->ibwrt(1, std::string("q \"\\\r\n\x1F\0\x7F\xE9~", 11));
    d->ibonl(1, 0);
    testing::internal::GetCapturedStderr();
    // Read while the driver is alive: flushed. The generator's complaints come before the call,
    // as they are; a failed call is followed by its error in words.
    Lines lines = readLines(std::ifstream(path));
    std::remove(path.c_str());
    const std::string odd = R"("q \"\\\r\n\x1F\x00\x7F\xE9~")";
    EXPECT_EQ(lines.at(7), "# sim: " + odd + ": unexpected byte \"q\"");
    EXPECT_EQ(std::erase_if(lines, [](const std::string& l) { return l.starts_with("# sim: "); }),
              11);
    EXPECT_EQ(lines,
              (Lines{"kept", "ibdev 1 7 0 12 1 0 -> -1",
                     "# ENEB: no such board, or the board is off line", "ibdev 0 7 0 12 1 0 -> 1",
                     "ibdev 0 7 96 12 1 0 -> 2", "ibclr 2 -> 33024", "# ENOL: no listener",
                     "ibwrt 1 " + odd + " -> 256", "ibonl 1 0 -> 256"}));
}

}  // namespace
}  // namespace zelmor::link
