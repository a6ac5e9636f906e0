// SPDX-License-Identifier: MIT
#include "zelmor/link/SimGenerator.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <thread>

#include "Hp8656a.h"
#include "TraceText.h"
#include "zelmor/link/Addresses.h"
#include "zelmor/panel/CommandReader.h"

namespace zelmor::link {

namespace {

constexpr std::int32_t kBoard = 0;
// The records serve tests and the display; a demo left sweeping for days must not grow them
// without end, so only the most recent ones are kept.
constexpr std::size_t kRecordsKept = 10'000;

void record(std::vector<std::string>& records, std::string entry) {
    if (records.size() >= 2 * kRecordsKept) {
        records.erase(records.begin(), records.begin() + kRecordsKept);
    }
    records.push_back(std::move(entry));
}
constexpr std::int32_t kFirstDescriptor = 1;  // 0 stays the board's own unit
constexpr std::int32_t kMaxTimeoutCode = 17;  // T1000s


}  // namespace

DriverLoad SimGenerator::fromOptions(std::string_view options) {
    auto refuse = [options](const std::string& why) {
        return DriverLoad{nullptr,
                          "GPIB backend \"sim:" + std::string(options) + "\": " + why +
                              ". Accepted forms: " + std::string(kForms) +
                              " (PAD 0 to 30; SAD 0 for none, or 96 to 126).",
                          false};
    };
    std::int32_t pad = 7;
    std::int32_t sad = 0;
    if (!options.empty()) {
        const std::size_t comma = options.find(',');
        const std::string_view padText = options.substr(0, comma);
        const std::optional<std::int32_t> p = parseDecimal(padText);
        if (!p || !validPad(*p)) {
            return refuse("bad primary address \"" + std::string(padText) + "\"");
        }
        pad = *p;
        if (comma != std::string_view::npos) {
            const std::string_view sadText = options.substr(comma + 1);
            const std::optional<std::int32_t> s = parseDecimal(sadText);
            if (!s || !validSad(*s)) {
                return refuse("bad secondary address \"" + std::string(sadText) + "\"");
            }
            sad = *s;
        }
    }
    return {std::make_unique<SimGenerator>(pad, sad), {}, false};
}

SimGenerator::SimGenerator(std::int32_t pad, std::int32_t sad)
    : pad_(pad), sad_(sad), instrument_(std::make_unique<detail::Hp8656a>()) {}

SimGenerator::~SimGenerator() = default;

const SimGeneratorState& SimGenerator::state() const { return instrument_->state(); }

void SimGenerator::clearRecords() {
    writes_.clear();
    calls_.clear();
    notes_.clear();
}

void SimGenerator::setListening(bool listening) {
    listening_ = listening;
    if (!listening) remote_ = lockout_ = false;  // a generator switched off forgets both
}

void SimGenerator::setWriteTimeout(bool on, std::chrono::milliseconds delay) {
    writeTimeout_ = on;
    timeoutDelay_ = delay;
}

std::int32_t SimGenerator::done(std::int32_t result, std::int32_t sta, std::int32_t err,
                                std::int32_t count) {
    status_ = {sta, err, count, count};
    if (observer_) observer_();
    return result;
}

const SimGenerator::Descriptor* SimGenerator::find(std::int32_t ud) const {
    const auto it = descriptors_.find(ud);
    return it == descriptors_.end() ? nullptr : &it->second;
}

bool SimGenerator::reaches(const Descriptor& d) const {
    return listening_ && d.pad == pad_ && d.sad == sad_;
}

void SimGenerator::note(const std::string& line) {
    record(notes_, line);
    lastNote_ = line;
    std::fprintf(stderr, "%s\n", line.c_str());
    if (sink_) sink_(line);
}

std::int32_t SimGenerator::ibconfig(std::int32_t unit, std::int32_t option, std::int32_t value) {
    record(calls_, detail::callText("ibconfig", {unit, option, value}));
    if (find(unit)) {
        // A device descriptor: only the options a device has.
        constexpr std::int32_t kIbcTmo = 0x3;
        constexpr std::int32_t kIbcEot = 0x4;
        if (option != kIbcTmo && option != kIbcEot) return done(ERR, ERR, EARG);
        return done(CMPL, CMPL);
    }
    if (unit != kBoard) return done(ERR, ERR, ENEB);
    if (option != IbcSendLLO) return done(ERR, ERR, EARG);
    sendLlo_ = value != 0;
    return done(CMPL, CMPL);
}

std::int32_t SimGenerator::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                 std::int32_t tmo, std::int32_t eot, std::int32_t eos) {
    record(calls_, detail::callText("ibdev", {board, pad, sad, tmo, eot, eos}));
    if (board != kBoard) return done(-1, ERR, ENEB);
    if (!validPad(pad) || !validSad(sad) || tmo < 0 || tmo > kMaxTimeoutCode || eos < 0 ||
        eos > 0xFFFF) {
        return done(-1, ERR, EARG);
    }
    std::int32_t ud = kFirstDescriptor;
    while (descriptors_.count(ud)) ++ud;
    descriptors_[ud] = {pad, sad};
    // With the board option set, Local Lockout goes to every device on the bus.
    if (sendLlo_ && listening_) lockout_ = true;
    return done(ud, CMPL);
}

std::int32_t SimGenerator::ibclr(std::int32_t ud) {
    record(calls_, detail::callText("ibclr", {ud}));
    const Descriptor* d = find(ud);
    if (!d) return done(ERR, ERR, EDVR);
    if (!reaches(*d)) return done(ERR | CMPL, ERR | CMPL, ENOL);
    remote_ = true;
    return done(CMPL, CMPL);
}

std::int32_t SimGenerator::ibwrt(std::int32_t ud, std::string_view bytes) {
    record(calls_, detail::callText("ibwrt", {ud}) + " " + panel::quoteText(bytes));
    const Descriptor* d = find(ud);
    if (!d) return done(ERR, ERR, EDVR);
    if (!reaches(*d)) return done(ERR | CMPL, ERR | CMPL, ENOL);
    constexpr std::int32_t kTimedOut = ERR | TIMO | CMPL;
    if (writeTimeout_) {
        if (timeoutDelay_.count() > 0) std::this_thread::sleep_for(timeoutDelay_);
        return done(kTimedOut, kTimedOut, EABO);
    }
    remote_ = true;
    record(writes_, std::string(bytes));
    const std::vector<std::string> complaints = instrument_->apply(bytes);
    for (const std::string& why : complaints) {
        note("# sim: " + panel::quoteText(bytes) + ": " + why);
    }
    if (failRefused_ && !complaints.empty()) return done(kTimedOut, kTimedOut, EABO);
    const auto count = static_cast<std::int32_t>(bytes.size());
    return done(CMPL, CMPL, 0, count);
}

std::int32_t SimGenerator::ibloc(std::int32_t ud) {
    record(calls_, detail::callText("ibloc", {ud}));
    const Descriptor* d = find(ud);
    if (!d) return done(ERR, ERR, EDVR);
    if (!reaches(*d)) return done(ERR | CMPL, ERR | CMPL, ENOL);
    remote_ = false;  // Go To Local: the keys work again
    return done(CMPL, CMPL);
}

std::int32_t SimGenerator::ibonl(std::int32_t ud, std::int32_t v) {
    record(calls_, detail::callText("ibonl", {ud, v}));
    if (!find(ud)) return done(ERR, ERR, EDVR);
    if (v == 0) descriptors_.erase(ud);
    return done(CMPL, CMPL);
}

}  // namespace zelmor::link
