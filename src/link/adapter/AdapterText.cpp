// SPDX-License-Identifier: MIT
#include "AdapterText.h"

#include <algorithm>

#include "zelmor/link/Addresses.h"

namespace zelmor::link::detail {

namespace {

constexpr char kEsc = 0x1B;

std::string trimmed(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == line.npos) return {};
    return std::string(line.substr(first, line.find_last_not_of(" \t\r") - first + 1));
}

}  // namespace

std::string escaped(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (const char ch : bytes) {
        if (ch == '\r' || ch == '\n' || ch == kEsc || ch == '+') out += kEsc;
        out += ch;
    }
    return out;
}

std::optional<std::string> takeLine(std::string& inbox) {
    const std::size_t eol = inbox.find('\n');
    if (eol == std::string::npos) return std::nullopt;
    std::string line = trimmed(std::string_view(inbox).substr(0, eol));
    inbox.erase(0, eol + 1);
    return line;
}

bool isVersion(std::string_view line) {
    return line.starts_with("Prologix") || line.find("AR488") != std::string_view::npos;
}

bool isUnrecognized(std::string_view line) {
    return line.find("nrecognized") != std::string_view::npos;
}

bool isListenerList(std::string_view line) {
    return isUnrecognized(line) || line.find_first_not_of("0123456789:, \t") == line.npos;
}

bool listed(std::string_view list, std::int32_t pad, std::int32_t sad) {
    while (!list.empty()) {
        const std::size_t end = std::min(list.find_first_of(", \t"), list.size());
        const std::string_view token = list.substr(0, end);
        list.remove_prefix(std::min(end + 1, list.size()));
        const std::size_t colon = token.find(':');
        if (parseDecimal(token.substr(0, colon)) != pad) continue;
        if (sad == 0 || colon == token.npos) return true;
        const std::optional<std::int32_t> s = parseDecimal(token.substr(colon + 1));
        if (s == sad || s == sad - 0x60) return true;
    }
    return false;
}

}  // namespace zelmor::link::detail
