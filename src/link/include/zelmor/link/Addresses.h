// SPDX-License-Identifier: MIT
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace zelmor::link {

// GPIB addresses as ibdev takes them: primary 0 to 30; secondary 0 for none, else 0x60 to 0x7E
// (96 to 126).
inline bool validPad(std::int32_t pad) { return pad >= 0 && pad <= 30; }
inline bool validSad(std::int32_t sad) { return sad == 0 || (sad >= 0x60 && sad <= 0x7E); }

// A number in a backend's options ("sim:8", a TCP port): decimal digits only, no sign, no blank.
inline std::optional<std::int32_t> parseDecimal(std::string_view text) {
    std::int32_t v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc{} || ptr != end || text[0] == '-') return std::nullopt;
    return v;
}

}  // namespace zelmor::link
