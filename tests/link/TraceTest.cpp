// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "FakeLibrary.h"
#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

// A trace file path unique to this process, removed before and after.
struct TraceFile {
    std::string path = testing::TempDir() + "zelmor-trace-" + std::to_string(getpid());
    TraceFile() { std::remove(path.c_str()); }
    ~TraceFile() { std::remove(path.c_str()); }
    Lines lines() const { return readLines(std::ifstream(path)); }
};

TEST(Trace, WritesOneFlushedLinePerCall) {
    TraceFile file;
    std::ofstream(file.path) << "kept\n";
    auto* sim = new SimGenerator;
    const auto d = makeTracing(std::unique_ptr<GpibDriver>(sim), file.path);
    const std::string odd("q \"\\\r\n\x1F\0\x7F\xE9~", 11);
    const std::pair<std::function<void()>, const char*> steps[] = {
        {[&] { d->ibconfig(0, IbcSendLLO, 1); }, "ibconfig 0 23 1 -> 256"},
        {[&] { d->ibdev(1, 7, 0, 12, 1, 0); },
         "ibdev 1 7 0 12 1 0 -> -1\n# ENEB: no such board, or the board is off line"},
        {[&] { d->ibdev(0, 7, 0, 12, 1, 0); }, "ibdev 0 7 0 12 1 0 -> 1"},
        {[&] { d->ibclr(1); }, "ibclr 1 -> 256"},
        {[&] { d->ibwrt(1, "FR100MZ"); }, "ibwrt 1 \"FR100MZ\" -> 256"},
        {[&] { d->ibwrt(1, odd); }, R"(ibwrt 1 "q \"\\\r\n\x1F\x00\x7F\xE9~" -> 256)"},
        {[&] { d->ibwrt(9, ""); }, "ibwrt 9 \"\" -> 32768\n# EDVR: system error"},
        {[&] { d->ibloc(1); }, "ibloc 1 -> 256"},
        {[&] { d->ibonl(1, 0); }, "ibonl 1 0 -> 256"},
    };
    Lines want{"kept"};  // appended to, not replaced
    testing::internal::CaptureStderr();
    for (const auto& [call, line] : steps) {
        const std::size_t notes = sim->notes().size();
        call();
        // The generator's complaints come first, as they are.
        want.insert(want.end(), sim->notes().begin() + notes, sim->notes().end());
        // A failed call is followed by its error in words.
        for (std::istringstream in(line); std::getline(in, want.emplace_back());) {
        }
        want.pop_back();
        EXPECT_EQ(file.lines(), want);  // read while the driver is alive: flushed
    }
    testing::internal::GetCapturedStderr();
    EXPECT_GT(sim->notes().size(), 1u);
}

// The fields are unregistered when the binding goes, at exit: that call is traced too.
TEST(Trace, RegistrationCallsHaveNoArguments) {
    TraceFile file;
    FakeLibrary fake(FAKE_GPIB_REGISTER);
    fake.setRegisterResults({1, 0});
    const auto d = makeTracing(fromSpec(fake.spec()).driver, file.path);
    GpibBinding(*d).ibdev(0, 7, 0, 12, 1, 0);
    EXPECT_EQ(file.lines(),
              (Lines{"RegisterGpibGlobalsForThread -> 1", "UnregisterGpibGlobalsForThread -> 0",
                     "RegisterGpibGlobalsForThread -> 0", "ibdev 0 7 0 12 1 0 -> 1",
                     "UnregisterGpibGlobalsForThread -> 0"}));
}

// A pipe whose reader falls behind costs the lines that do not fit, said once, never time.
TEST(Trace, FullPipeDropsLinesWithoutWaiting) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string path = "/proc/self/fd/" + std::to_string(ends[1]);
    const auto d = makeTracing(std::make_unique<SimGenerator>(), path);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 5000; ++i) d->ibconfig(0, IbcSendLLO, 1);  // 23 bytes a line; 64 KiB
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zelmor: the trace file " + path +
                  " is not read fast enough; lines that do not fit are dropped\n");
    ::close(ends[0]), ::close(ends[1]);
}

}  // namespace
}  // namespace zelmor::link
