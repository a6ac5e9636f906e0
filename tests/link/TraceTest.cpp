// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "FakeLibrary.h"
#include "zelmor/link/SimGenerator.h"

namespace zelmor::link {
namespace {

TEST(Trace, WritesOneFlushedLinePerCall) {
    const std::string path = testing::TempDir() + "zelmor-trace-" + std::to_string(getpid());
    std::ofstream(path) << "kept\n";  // appended to, not replaced
    const auto d = makeTracing(std::make_unique<SimGenerator>(), path);
    testing::internal::CaptureStderr();
    d->ibdev(1, 7, 0, 12, 1, 0);
    d->ibdev(0, 7, 0, 12, 1, 0);
    d->ibwrt(1, std::string("q \"\\\r\n\x1F\0\x7F\xE9~", 11));
    d->ibonl(1, 0);
    testing::internal::GetCapturedStderr();
    // Read while the driver is alive: flushed. The generator's complaints come before the call,
    // as they are; a failed call is followed by its error in words.
    Lines lines = readLines(std::ifstream(path));
    std::remove(path.c_str());
    const std::string odd = R"("q \"\\\r\n\x1F\x00\x7F\xE9~")";
    EXPECT_EQ(lines.at(4), "# sim: " + odd + ": unexpected byte \"q\"");
    EXPECT_EQ(std::erase_if(lines, [](const std::string& l) { return l.starts_with("# sim: "); }),
              11);
    EXPECT_EQ(lines, (Lines{"kept", "ibdev 1 7 0 12 1 0 -> -1",
                            "# ENEB: no such board, or the board is off line",
                            "ibdev 0 7 0 12 1 0 -> 1", "ibwrt 1 " + odd + " -> 256",
                            "ibonl 1 0 -> 256"}));
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
