// SPDX-License-Identifier: MIT
#include "Hp8656a.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "TraceText.h"

namespace zelmor::link::detail {

namespace {

// A number as sent: its text, and its value as mantissa x 10^-scale.
struct Number {
    std::string text;
    bool negative = false;
    std::int64_t mantissa = 0;
    int scale = 0;
};

struct Unit {
    std::string_view code;
    int exp10;  // the unit's size as a power of ten of the quantity's step
};

// A settable quantity, counted in whole steps of its resolution.
struct Quantity {
    const char* name;
    std::vector<Unit> units;
    std::int64_t min;
    std::int64_t max;
    const char* range;
    const char* step;
    void (*store)(SimGeneratorState&, std::int64_t steps);
};

// Frequencies and deviations in 100 Hz, levels in 0.1 dB, depth in %.
const std::vector<Unit> kHertz{{"MZ", 4}, {"KZ", 1}, {"HZ", -2}};
const std::vector<Unit> kDecibel{{"DM", 1}};
// clang-format off
const Quantity kFrequency{"frequency", kHertz, 1000, 9'900'000, "0.1 to 990 MHz", "100 Hz",
    [](SimGeneratorState& s, std::int64_t v) { s.frequencyHz = v * 100; }};
const Quantity kFrequencyStep{"frequency increment", kHertz, 1, 9'900'000, "100 Hz to 990 MHz",
    "100 Hz", [](SimGeneratorState& s, std::int64_t v) { s.frequencyIncrementHz = v * 100; }};
const Quantity kLevel{"level", kDecibel, -1270, 130, "-127 to +13 dBm", "0.1 dB",
    [](SimGeneratorState& s, std::int64_t v) { s.levelDeciDbm = static_cast<std::int32_t>(v); }};
const Quantity kLevelStep{"level increment", kDecibel, 1, 1400, "0.1 to 140 dB", "0.1 dB",
    [](SimGeneratorState& s, std::int64_t v) {
        s.levelIncrementDeciDb = static_cast<std::int32_t>(v);
    }};
const Quantity kAmDepth{"AM depth", {{"PC", 0}}, 0, 99, "0 to 99 %", "1 %",
    [](SimGeneratorState& s, std::int64_t v) { s.amDepthPercent = static_cast<std::int32_t>(v); }};
const Quantity kFmDeviation{"FM deviation", kHertz, 0, 990, "0 to 99 kHz", "100 Hz",
    [](SimGeneratorState& s, std::int64_t v) {
        s.fmDeviationHz = static_cast<std::int32_t>(v * 100);
    }};
// clang-format on

constexpr std::int64_t kHugeSteps = std::numeric_limits<std::int64_t>::max() / 100;

// n x 10^exp10 in whole steps; nullopt when finer than one step. Saturates far outside every
// range instead of overflowing.
std::optional<std::int64_t> inSteps(const Number& n, int exp10) {
    std::int64_t v = n.mantissa;
    for (int e = exp10 - n.scale; e != 0; e += e > 0 ? -1 : 1) {
        if (e > 0) {
            if (v > kHugeSteps / 10) {
                v = kHugeSteps;
                break;
            }
            v *= 10;
        } else {
            if (v % 10 != 0) return std::nullopt;
            v /= 10;
        }
    }
    return n.negative ? -v : v;
}

bool isCodeStart(char c) { return c >= 'A' && c <= 'Z'; }
bool isCodeSecond(char c) { return isCodeStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// One message's walk through the codes. Settings change as each part completes, as on the
// instrument, so a refused part does not undo the parts before it.
class Message {
public:
    using Function = Hp8656a::Function;

    Message(SimGeneratorState& state, Function& function) : state_(state), function_(function) {}

    std::vector<std::string> run(std::string_view text) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            const char c = text[pos];
            if (isCodeStart(c) && pos + 1 < text.size() && isCodeSecond(text[pos + 1])) {
                code(text.substr(pos, 2));
                pos += 2;
            } else if (isDigit(c) || c == '.' || c == '-' || c == '+') {
                pos = number(text, pos);
            } else {
                complain("unexpected byte " + quoteText(text.substr(pos, 1)));
                ++pos;
            }
        }
        dropPending();
        if (increment_) complain("IS without a value");
        for (const std::string& source : sources_) {
            complain(source + " names no AM or FM");
        }
        return std::move(complaints_);
    }

private:
    void complain(std::string why) { complaints_.push_back(std::move(why)); }

    void dropPending() {
        if (pending_) complain("number " + pending_->text + " has no unit");
        pending_.reset();
    }

    std::size_t number(std::string_view text, std::size_t pos) {
        const std::size_t start = pos;
        Number n;
        if (text[pos] == '-' || text[pos] == '+') n.negative = text[pos++] == '-';
        int digits = 0;
        int significant = 0;
        bool point = false;
        for (; pos < text.size(); ++pos) {
            const char c = text[pos];
            if (c == '.' && !point) {
                point = true;
            } else if (isDigit(c)) {
                ++digits;
                if (n.mantissa != 0 || c != '0') ++significant;
                if (significant <= 18) n.mantissa = n.mantissa * 10 + (c - '0');
                if (point) ++n.scale;
            } else {
                break;
            }
        }
        n.text = std::string(text.substr(start, pos - start));
        dropPending();
        if (digits == 0) {
            complain("no digits in number " + quoteText(n.text));
        } else if (significant > 18) {
            complain("number " + n.text + " has too many digits");
        } else {
            pending_ = std::move(n);
        }
        return pos;
    }

    void code(std::string_view c) {
        if (c == "FR" || c == "AP" || c == "AM" || c == "FM") {
            select(c == "FR"   ? Function::Frequency
                   : c == "AP" ? Function::Level
                   : c == "AM" ? Function::Am
                               : Function::Fm);
        } else if (c == "IS") {
            dropPending();
            if (function_ == Function::Frequency || function_ == Function::Level) {
                increment_ = true;
            } else {
                complain("IS needs FR or AP before it");
            }
        } else if (c == "UP" || c == "DN") {
            dropPending();
            step(c == "UP" ? 1 : -1, c);
        } else if (c == "MZ" || c == "KZ" || c == "HZ" || c == "DM" || c == "PC") {
            unit(c);
        } else if (c[0] == 'S' && c[1] >= '1' && c[1] <= '5') {
            dropPending();
            if (message_ == Function::Am || message_ == Function::Fm) {
                source(message_, c);
            } else {
                sources_.emplace_back(c);
            }
        } else if (c == "XX") {
            dropPending();  // the link's probe: taken, does nothing
        } else {
            dropPending();
            complain("unknown code " + std::string(c));
        }
    }

    void select(Function f) {
        dropPending();
        if (increment_) complain("IS without a value");
        increment_ = false;
        function_ = f;
        message_ = f;
        if (f == Function::Am || f == Function::Fm) {
            for (const std::string& s : sources_) source(f, s);
            sources_.clear();
        }
    }

    void source(Function f, std::string_view c) {
        bool& on = f == Function::Am ? state_.amOn : state_.fmOn;
        ModSource& src = f == Function::Am ? state_.amSource : state_.fmSource;
        if (c[1] == '4') {
            on = false;
        } else {
            src = static_cast<ModSource>(c[1] - '0');
            on = true;
        }
    }

    void step(int sign, std::string_view c) {
        if (increment_) complain("IS without a value");
        if (function_ == Function::Frequency) {
            const std::int64_t to =
                state_.frequencyHz / 100 + sign * (state_.frequencyIncrementHz / 100);
            if (to < kFrequency.min || to > kFrequency.max) {
                complain(std::string(c) + " would take the frequency outside " + kFrequency.range);
            } else {
                state_.frequencyHz = to * 100;
            }
        } else if (function_ == Function::Level) {
            const std::int64_t to = state_.levelDeciDbm + sign * state_.levelIncrementDeciDb;
            if (to < kLevel.min || to > kLevel.max) {
                complain(std::string(c) + " would take the level outside " + kLevel.range);
            } else {
                state_.levelDeciDbm = static_cast<std::int32_t>(to);
            }
        } else {
            complain(std::string(c) + " needs FR or AP before it");
        }
        increment_ = false;
    }

    void unit(std::string_view c) {
        if (!pending_) {
            complain("unit " + std::string(c) + " without a number");
            return;
        }
        const Number n = std::move(*pending_);
        pending_.reset();
        const bool inc = increment_;
        increment_ = false;
        const Quantity* q = function_ == Function::Frequency ? (inc ? &kFrequencyStep : &kFrequency)
                            : function_ == Function::Level   ? (inc ? &kLevelStep : &kLevel)
                            : function_ == Function::Am      ? &kAmDepth
                            : function_ == Function::Fm      ? &kFmDeviation
                                                             : nullptr;
        const std::string value = n.text + std::string(c);
        if (!q) {
            complain("number " + value + " with no function before it");
            return;
        }
        const Unit* u = nullptr;
        for (const Unit& candidate : q->units) {
            if (candidate.code == c) u = &candidate;
        }
        if (!u) {
            complain("unit " + std::string(c) + " does not fit the " + q->name);
            return;
        }
        const std::optional<std::int64_t> v = inSteps(n, u->exp10);
        if (!v) {
            complain(std::string(q->name) + " " + value + " is finer than " + q->step);
        } else if (*v < q->min || *v > q->max) {
            complain(std::string(q->name) + " " + value + " is outside " + q->range);
        } else {
            q->store(state_, *v);
        }
    }

    SimGeneratorState& state_;
    Function& function_;
    Function message_ = Function::None;  // the function named in this message
    bool increment_ = false;             // IS seen, its value not yet
    std::optional<Number> pending_;      // a number waiting for its unit
    std::vector<std::string> sources_;   // source codes waiting for AM or FM
    std::vector<std::string> complaints_;
};

}  // namespace

std::vector<std::string> Hp8656a::apply(std::string_view message) {
    return Message(state_, function_).run(message);
}

}  // namespace zelmor::link::detail
