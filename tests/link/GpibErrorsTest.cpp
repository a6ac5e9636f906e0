// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cerrno>

#include "zelmor/link/GpibDriver.h"
#include "zelmor/link/GpibErrors.h"

namespace zelmor::link {
namespace {

TEST(GpibErrors, FailuresAreSaidWithWhereAndWhatToCheck) {
    // clang-format off
    const struct { std::int32_t err, cause; const char *endpoint, *said; } rows[] = {
        {ENOL, 0, "", "No listener at board 0, address 7: is the generator switched on, at address 7, and the cable in?"},
        {EDVR, EACCES, "", "Permission denied opening /dev/gpib0: add your user to the gpib group"},
        {EDVR, ENOENT, "", "No /dev/gpib0: is the GPIB driver loaded, and has gpib_config run?"},
        {ENEB, 0, "", "No GPIB board 0: has gpib_config run?"},
        {EDVR, ETIMEDOUT, "/dev/ttyUSB0", "The adapter on /dev/ttyUSB0 does not answer: is it plugged in and powered, and is it a \"++\" adapter?"},
        {EDVR, EACCES, "/dev/ttyUSB0", "Permission denied opening /dev/ttyUSB0: add your user to the dialout group"},
        {14, 0, "", "GPIB error EBUS (bus error: command bytes could not be sent) at board 0, address 7: are the devices on the bus powered and the cables in?"},
        {99, 0, "", "GPIB error 99 at board 0, address 7: the failing call is in the trace (ZELMOR_TRACE)"}};
    // clang-format on
    for (const auto& r : rows) {
        const FailureText t = describeFailure(r.err, r.cause, 0, 7, 0, r.endpoint);
        EXPECT_EQ(t.what + ": " + t.check, r.said);
    }
}

}  // namespace
}  // namespace zelmor::link
