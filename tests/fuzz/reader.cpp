// SPDX-License-Identifier: MIT
// The command reader and the request lines built on it: every part it reports lies inside the
// text, and what a line sets, written back as the panel writes it, reads back the same. The
// trace's quoting of the bytes: one printable ASCII token that reads back to them.
#include <algorithm>
#include <regex>
#include <string>
#include <string_view>

#include "Check.h"
#include "zelmor/panel/CommandReader.h"
#include "zelmor/panel/PanelRequest.h"

namespace {

using namespace zelmor::panel;

// Every part reported lies inside the text, every value inside its range.
struct Bounds final : CommandSink {
    void value(Quantity q, std::int64_t steps, std::size_t at) override {
        FUZZ_CHECK(at < size && steps >= rangeOf(q).min && steps <= rangeOf(q).max);
    }
    void source(Function, int code, std::size_t at) override {
        FUZZ_CHECK(at < size && code >= 1 && code <= 5);
    }
    void step(Function, int sign, std::size_t at) override {
        FUZZ_CHECK(at < size && sign * sign == 1);
    }
    void refuse(std::string why, std::size_t at) override { FUZZ_CHECK(at < size && !why.empty()); }
    std::size_t size = 0;
};

// Printable ASCII between quotes, each token a byte: \xHH, \" \\ \r \n, or any other character.
std::string unquoted(const std::string& q) {
    using std::regex_constants::match_continuous;
    static const std::regex token(R"(\\x[0-9A-F]{2}|\\["\\rn]|[^"\\])");
    FUZZ_CHECK(q.size() >= 2 && q.front() == '"' && q.back() == '"');
    FUZZ_CHECK(std::all_of(q.begin(), q.end(), [](char c) { return c >= 0x20 && c < 0x7F; }));
    std::string back;
    std::smatch m;
    for (auto at = q.cbegin() + 1; at != q.cend() - 1; at = m[0].second) {
        FUZZ_CHECK(std::regex_search(at, q.cend() - 1, m, token, match_continuous));
        const std::string t = m.str();
        back += t.size() == 4 ? char(std::stoi(t.substr(2), nullptr, 16))
                : t == "\\r"  ? '\r'
                : t == "\\n"  ? '\n'
                              : t.back();
    }
    return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(unquoted(quoteText(line)) == line);
    Function function = Function::None;
    Bounds bounds;
    bounds.size = size;
    readCommands(line, function, bounds);

    const RequestReading reading = readPanelRequest(line);
    FUZZ_CHECK(reading.ok() || reading.errorAt < size);
    if (!reading.ok()) return 0;
    const PanelRequest& r = reading.request;
    const PanelState s{r.frequency.value_or(1e6), r.level.value_or(-1270), r.am.depth.value_or(0),
                       r.am.rate.value_or(0),     r.fm.depth.value_or(0),  r.fm.rate.value_or(0),
                       r.sweepFrq.value_or(true), r.step.value_or(0),      r.excursion.value_or(0),
                       r.delay.value_or(120)};
    const RequestReading back = readPanelRequest(stateText(s));
    const PanelRequest& b = back.request;
    FUZZ_CHECK(back.ok() && b.frequency == s.frequency && b.level == s.level &&
               b.am.depth == s.amDepth && b.fm.depth == s.fmDeviation && b.sweepFrq == s.sweepFrq &&
               b.step == s.step && b.excursion == s.excursion && b.delay == s.delay);
    // A modulation switched off names no rate.
    FUZZ_CHECK(s.amDepth == 0 ? !b.am.rate : b.am.rate == s.amRate);
    FUZZ_CHECK(s.fmDeviation == 0 ? !b.fm.rate : b.fm.rate == s.fmRate);
    return 0;
}
