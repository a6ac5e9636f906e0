// SPDX-License-Identifier: MIT
// A "++" adapter's protocol as text: the escaping of what is written, and the reading of what
// the adapter sends (lines, the version answer, ++fndl's listener lists) against references.
#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "AdapterText.h"
#include "Check.h"

namespace {

using namespace zelmor::link::detail;

// Whole decimal digits whose value is `want`.
bool number(const std::string& digits, std::int32_t want) {
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size());
    return !digits.empty() && digits.find_first_not_of("0123456789") == digits.npos &&
           digits.size() - first <= 10 && std::stoll("0" + digits.substr(first)) == want;
}

// Words between commas, blanks and tabs, each "PAD" or "PAD:SAD".
bool inList(std::string list, std::int32_t pad, std::int32_t sad) {
    std::replace(list.begin(), list.end(), ',', ' ');
    std::replace(list.begin(), list.end(), '\t', ' ');
    std::istringstream words(list);
    for (std::string word; std::getline(words, word, ' ');) {
        const std::size_t colon = word.find(':');
        const std::string second = colon == word.npos ? "" : word.substr(colon + 1);
        if (number(word.substr(0, colon), pad) &&
            (sad == 0 || colon == word.npos || number(second, sad) || number(second, sad - 0x60))) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The adapter takes the byte after each ESC as it is: the bytes come back, and none of them
    // is left to end a line or start a "++" command.
    static const std::regex pair("\x1B([\\s\\S])");
    FUZZ_CHECK(std::regex_replace(escaped(bytes), pair, "$1") == bytes);
    FUZZ_CHECK(std::regex_replace(escaped(bytes), pair, "").find_first_of("\r\n+\x1B") ==
               bytes.npos);

    // The same lines however the bytes arrive: here in two pieces cut where the first byte says.
    std::vector<std::string> lines, want;
    std::string inbox;
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    for (const std::string& piece : {bytes.substr(0, cut), bytes.substr(cut)}) {
        inbox += piece;
        while (const auto line = takeLine(inbox)) lines.push_back(*line);
    }
    std::size_t start = 0;
    for (std::size_t eol; (eol = bytes.find('\n', start)) != bytes.npos; start = eol + 1) {
        const std::string line = bytes.substr(start, eol - start);
        const std::size_t first = line.find_first_not_of(" \t\r"),
                          last = line.find_last_not_of(" \t\r");
        want.push_back(first == line.npos ? "" : line.substr(first, last - first + 1));
    }
    FUZZ_CHECK(lines == want && inbox == bytes.substr(start));

    static const std::regex version("^Prologix|AR488");
    const std::int32_t pad = size > 1 ? data[1] % 31 : 7;
    const std::int32_t sad = size > 2 && data[2] % 2 ? 0x60 + data[2] / 2 % 31 : 0;
    for (const std::string& line : lines) {
        FUZZ_CHECK(isVersion(line) == std::regex_search(line, version));
        FUZZ_CHECK(isListenerList(line) ==
                   (line.find_first_not_of("0123456789:, \t") == line.npos ||
                    line.find("nrecognized") != line.npos));
        FUZZ_CHECK(listed(line, pad, sad) == inList(line, pad, sad));
    }
    return 0;
}
