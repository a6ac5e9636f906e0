// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelmor::link {

// One of the driver's error codes (iberr, meaningful when ERR is set), as NI-488.2 and Linux
// GPIB number them: its name, what it means, and what a user can check.
struct GpibError {
    std::int32_t code;
    std::string_view name;     // "ENOL"
    std::string_view meaning;  // "no listener"
    std::string_view check;
};

std::span<const GpibError> gpibErrors();
// nullptr for a code no library defines.
const GpibError* findGpibError(std::int32_t code);

// A failed call in words for the user: what failed and where ("No listener at board 0,
// address 7"), and what to check. `cause` is the driver's long count, which holds errno after
// EDVR; `endpoint` names an adapter's port ("/dev/ttyUSB0", "lab:1234"), empty for a board.
struct FailureText {
    std::string what;
    std::string check;
};
FailureText describeFailure(std::int32_t iberr, std::int32_t cause, std::int32_t board,
                            std::int32_t pad, std::int32_t sad, std::string_view endpoint);

}  // namespace zelmor::link
