// SPDX-License-Identifier: MIT
#include "zelmor/panel/CommandReader.h"

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "zelmor/panel/Commands.h"

namespace zelmor::panel {

namespace {

// A number as sent: its text, and its value as mantissa x 10^-scale.
struct Number {
    std::string text;
    std::size_t at = 0;
    bool negative = false;
    std::int64_t mantissa = 0;
    int scale = 0;
};

struct Unit {
    std::string_view code;
    int exp10;  // the unit's size as a power of ten of the quantity's step
};

// Frequencies and deviations in 100 Hz, levels in 0.1 dB, depth in %.
const std::vector<Unit> kHertz{{"MZ", 4}, {"KZ", 1}, {"HZ", -2}};
const std::vector<Unit> kDecibel{{"DM", 1}};
const std::vector<Unit> kPercent{{"PC", 0}};

const std::vector<Unit>& unitsOf(Quantity q) {
    switch (q) {
        case Quantity::Level:
        case Quantity::LevelIncrement:
            return kDecibel;
        case Quantity::AmDepth:
            return kPercent;
        default:
            return kHertz;
    }
}

constexpr auto kFrqMin = static_cast<std::int64_t>(FrqMin);
constexpr auto kFrqMax = static_cast<std::int64_t>(FrqMax);
constexpr auto kLvlMin = static_cast<std::int64_t>(LvlMin);
constexpr auto kLvlMax = static_cast<std::int64_t>(LvlMax);

// clang-format off
const QuantityRange kRanges[] = {
    {"frequency", kFrqMin, kFrqMax, "0.1 to 990 MHz", "100 Hz"},
    {"frequency increment", 1, kFrqMax, "100 Hz to 990 MHz", "100 Hz"},
    {"level", kLvlMin, kLvlMax, "-127 to +13 dBm", "0.1 dB"},
    {"level increment", 1, kLvlMax - kLvlMin, "0.1 to 140 dB", "0.1 dB"},
    {"AM depth", 0, ModulationMax, "0 to 99 %", "1 %"},
    {"FM deviation", 0, ModulationMax * 10, "0 to 99 kHz", "100 Hz"},
};
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

// One message's walk through the codes. The sink hears each part as it completes, as the
// instrument acts on it, so a refused part does not undo the parts before it.
class Reader {
public:
    Reader(Function& function, CommandSink& sink) : function_(function), sink_(sink) {}

    void run(std::string_view text) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            const char c = text[pos];
            if (isCodeStart(c) && pos + 1 < text.size() && isCodeSecond(text[pos + 1])) {
                code(text.substr(pos, 2), pos);
                pos += 2;
            } else if (isDigit(c) || c == '.' || c == '-' || c == '+') {
                pos = number(text, pos);
            } else {
                sink_.refuse("unexpected byte " + quoteText(text.substr(pos, 1)), pos);
                ++pos;
            }
        }
        dropPending();
        if (increment_) sink_.refuse("IS without a value", incrementAt_);
        for (const auto& [source, at] : sources_) {
            sink_.refuse(source + " names no AM or FM", at);
        }
    }

private:
    void dropPending() {
        if (pending_) sink_.refuse("number " + pending_->text + " has no unit", pending_->at);
        pending_.reset();
    }

    std::size_t number(std::string_view text, std::size_t pos) {
        const std::size_t start = pos;
        Number n;
        n.at = start;
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
            sink_.refuse("no digits in number " + quoteText(n.text), start);
        } else if (significant > 18) {
            sink_.refuse("number " + n.text + " has too many digits", start);
        } else {
            pending_ = std::move(n);
        }
        return pos;
    }

    void code(std::string_view c, std::size_t at) {
        if (c == "FR" || c == "AP" || c == "AM" || c == "FM") {
            select(c == "FR"   ? Function::Frequency
                   : c == "AP" ? Function::Level
                   : c == "AM" ? Function::Am
                               : Function::Fm);
        } else if (c == "IS") {
            dropPending();
            if (function_ == Function::Frequency || function_ == Function::Level) {
                increment_ = true;
                incrementAt_ = at;
            } else {
                sink_.refuse("IS needs FR or AP before it", at);
            }
        } else if (c == "UP" || c == "DN") {
            dropPending();
            if (increment_) sink_.refuse("IS without a value", incrementAt_);
            if (function_ == Function::Frequency || function_ == Function::Level) {
                sink_.step(function_, c == "UP" ? 1 : -1, at);
            } else {
                sink_.refuse(std::string(c) + " needs FR or AP before it", at);
            }
            increment_ = false;
        } else if (c == "MZ" || c == "KZ" || c == "HZ" || c == "DM" || c == "PC") {
            unit(c, at);
        } else if (c[0] == 'S' && c[1] >= '1' && c[1] <= '5') {
            dropPending();
            if (message_ == Function::Am || message_ == Function::Fm) {
                sink_.source(message_, c[1] - '0', at);
            } else {
                sources_.emplace_back(std::string(c), at);
            }
        } else if (c == "XX") {
            dropPending();  // the link's probe: taken, does nothing
        } else {
            dropPending();
            sink_.refuse("unknown code " + std::string(c), at);
        }
    }

    void select(Function f) {
        dropPending();
        if (increment_) sink_.refuse("IS without a value", incrementAt_);
        increment_ = false;
        function_ = f;
        message_ = f;
        if (f == Function::Am || f == Function::Fm) {
            for (const auto& [source, at] : sources_) sink_.source(f, source[1] - '0', at);
            sources_.clear();
        }
    }

    void unit(std::string_view c, std::size_t at) {
        if (!pending_) {
            sink_.refuse("unit " + std::string(c) + " without a number", at);
            return;
        }
        const Number n = std::move(*pending_);
        pending_.reset();
        const bool inc = increment_;
        increment_ = false;
        std::optional<Quantity> q;
        switch (function_) {
            case Function::Frequency:
                q = inc ? Quantity::FrequencyIncrement : Quantity::Frequency;
                break;
            case Function::Level:
                q = inc ? Quantity::LevelIncrement : Quantity::Level;
                break;
            case Function::Am:
                q = Quantity::AmDepth;
                break;
            case Function::Fm:
                q = Quantity::FmDeviation;
                break;
            case Function::None:
                break;
        }
        const std::string value = n.text + std::string(c);
        if (!q) {
            sink_.refuse("number " + value + " with no function before it", n.at);
            return;
        }
        const QuantityRange& r = rangeOf(*q);
        const Unit* u = nullptr;
        for (const Unit& candidate : unitsOf(*q)) {
            if (candidate.code == c) u = &candidate;
        }
        if (!u) {
            sink_.refuse("unit " + std::string(c) + " does not fit the " + r.name, at);
            return;
        }
        const std::optional<std::int64_t> v = inSteps(n, u->exp10);
        if (!v) {
            sink_.refuse(std::string(r.name) + " " + value + " is finer than " + r.step, n.at);
        } else if (*v < r.min || *v > r.max) {
            sink_.refuse(std::string(r.name) + " " + value + " is outside " + r.range, n.at);
        } else {
            sink_.value(*q, *v, n.at);
        }
    }

    Function& function_;
    CommandSink& sink_;
    Function message_ = Function::None;  // the function named in this message
    bool increment_ = false;             // IS seen, its value not yet
    std::size_t incrementAt_ = 0;
    std::optional<Number> pending_;                             // a number waiting for its unit
    std::vector<std::pair<std::string, std::size_t>> sources_;  // waiting for AM or FM
};

}  // namespace

const QuantityRange& rangeOf(Quantity q) { return kRanges[static_cast<int>(q)]; }

void readCommands(std::string_view message, Function& function, CommandSink& sink) {
    Reader(function, sink).run(message);
}

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

}  // namespace zelmor::panel
