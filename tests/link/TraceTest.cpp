// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "FakeLibrary.h"
#include "zelmor/link/Backends.h"
#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

using Lines = std::vector<std::string>;

struct TraceFile {
    std::string path = testing::TempDir() + "trace-" + std::to_string(getpid());
    TraceFile() { std::remove(path.c_str()); }
    ~TraceFile() { std::remove(path.c_str()); }
    Lines lines() const {
        Lines out;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
};

TEST(Trace, WritesOneFlushedLinePerCall) {
    TraceFile file;
    std::ofstream(file.path) << "kept\n";
    auto owned = std::make_unique<SimGenerator>();
    SimGenerator* sim = owned.get();
    const std::unique_ptr<GpibDriver> d = makeTracing(std::move(owned), file.path);
    const std::string odd("q\"\\\r\n\t\0\x7F\xE9~", 10);
    const std::pair<std::function<void()>, const char*> steps[] = {
        {[&] { d->ibconfig(0, IbcSendLLO, 1); }, "ibconfig 0 23 1 -> 256"},
        {[&] { d->ibdev(1, 7, 0, 12, 1, 0); }, "ibdev 1 7 0 12 1 0 -> -1"},
        {[&] { d->ibdev(0, 7, 0, 12, 1, 0); }, "ibdev 0 7 0 12 1 0 -> 1"},
        {[&] { d->ibclr(1); }, "ibclr 1 -> 256"},
        {[&] { d->ibwrt(1, "FR100MZ"); }, "ibwrt 1 \"FR100MZ\" -> 256"},
        {[&] { d->ibwrt(1, odd); }, R"(ibwrt 1 "q\"\\\r\n\x09\x00\x7F\xE9~" -> 256)"},
        {[&] { d->ibwrt(9, ""); }, "ibwrt 9 \"\" -> 32768"},
        {[&] { d->ibloc(1); }, "ibloc 1 -> 256"},
        {[&] { d->ibonl(1, 0); }, "ibonl 1 0 -> 256"},
    };
    Lines want{"kept"};  // appended to, not replaced
    testing::internal::CaptureStderr();
    for (const auto& [call, line] : steps) {
        const std::size_t notes = sim->notes().size();
        call();
        // The generator's complaints come first, as "# sim:" lines.
        want.insert(want.end(), sim->notes().begin() + notes, sim->notes().end());
        want.push_back(line);
        EXPECT_EQ(file.lines(), want);  // read while the driver is alive: flushed
    }
    testing::internal::GetCapturedStderr();
    EXPECT_GT(sim->notes().size(), 1u);
    EXPECT_EQ(sim->notes().front().rfind("# sim: ", 0), 0u);
}

TEST(Trace, RegistrationCallsHaveNoArguments) {
    TraceFile file;
    FakeLibrary fake(FAKE_GPIB_REGISTER);
    fake.setRegisterResults({1, 0});
    BackendRegistry registry;
    registerBuiltinBackends(registry);
    const std::unique_ptr<GpibDriver> d =
        makeTracing(registry.create(fake.spec()).driver, file.path);
    GpibBinding(*d).ibdev(0, 7, 0, 12, 1, 0);
    EXPECT_EQ(file.lines(),
              (Lines{"RegisterGpibGlobalsForThread -> 1", "UnregisterGpibGlobalsForThread -> 0",
                     "RegisterGpibGlobalsForThread -> 0", "ibdev 0 7 0 12 1 0 -> 1"}));
}

TEST(Trace, UnopenableFileLeavesTheDriverAsItIs) {
    auto sim = std::make_unique<SimGenerator>();
    GpibDriver* raw = sim.get();
    testing::internal::CaptureStderr();
    EXPECT_EQ(makeTracing(std::move(sim), "/no/such/dir/trace.log").get(), raw);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("/no/such/dir/trace.log"),
              std::string::npos);
}

}  // namespace
}  // namespace zelmor::link
