// SPDX-License-Identifier: MIT
#include "TraceText.h"

namespace zelmor::link::detail {

std::string quoteText(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (byte) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                if (byte >= 0x20 && byte < 0x7F) {
                    out += ch;
                } else {
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                }
        }
    }
    out += '"';
    return out;
}

std::string callText(std::string_view name, std::initializer_list<std::int32_t> args) {
    std::string out(name);
    for (const std::int32_t arg : args) {
        out += ' ';
        out += std::to_string(arg);
    }
    return out;
}

}  // namespace zelmor::link::detail
