// SPDX-License-Identifier: MIT
// The trace's quoting of bytes: one printable ASCII token that reads back to the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Check.h"
#include "zelmor/panel/CommandReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string q = zelmor::panel::quoteText(bytes);
    FUZZ_CHECK(q.size() >= 2 && q.front() == '"' && q.back() == '"');
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string back;
    for (std::size_t i = 1; i + 1 < q.size(); ++i) {
        FUZZ_CHECK(q[i] >= 0x20 && q[i] < 0x7F && q[i] != '"');
        if (q[i] != '\\') {
            back += q[i];
            continue;
        }
        FUZZ_CHECK(i + 2 < q.size());
        const char e = q[++i];
        if (e == 'x') {
            FUZZ_CHECK(i + 3 < q.size() && kHex.find(q[i + 1]) != kHex.npos &&
                       kHex.find(q[i + 2]) != kHex.npos);
            back += static_cast<char>(kHex.find(q[i + 1]) * 16 + kHex.find(q[i + 2]));
            i += 2;
        } else {
            FUZZ_CHECK(e == '"' || e == '\\' || e == 'r' || e == 'n');
            back += e == 'r' ? '\r' : e == 'n' ? '\n' : e;
        }
    }
    FUZZ_CHECK(back == bytes);
    return 0;
}
