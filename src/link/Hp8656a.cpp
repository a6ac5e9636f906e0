// SPDX-License-Identifier: MIT
#include "Hp8656a.h"

#include <cstdint>
#include <utility>

namespace zelmor::link::detail {

namespace {

using panel::Function;
using panel::Quantity;

// The generator's settings as the parts of a message reach them.
class Settings final : public panel::CommandSink {
public:
    explicit Settings(SimGeneratorState& state) : state_(state) {}

    void value(Quantity q, std::int64_t v, std::size_t) override {
        switch (q) {
            case Quantity::Frequency:
                state_.frequencyHz = v * 100;
                break;
            case Quantity::FrequencyIncrement:
                state_.frequencyIncrementHz = v * 100;
                break;
            case Quantity::Level:
                state_.levelDeciDbm = static_cast<std::int32_t>(v);
                break;
            case Quantity::LevelIncrement:
                state_.levelIncrementDeciDb = static_cast<std::int32_t>(v);
                break;
            case Quantity::AmDepth:
                state_.amDepthPercent = static_cast<std::int32_t>(v);
                break;
            case Quantity::FmDeviation:
                state_.fmDeviationHz = static_cast<std::int32_t>(v * 100);
                break;
        }
    }

    void source(Function f, int code, std::size_t) override {
        bool& on = f == Function::Am ? state_.amOn : state_.fmOn;
        ModSource& src = f == Function::Am ? state_.amSource : state_.fmSource;
        if (code == 4) {
            on = false;
        } else {
            src = static_cast<ModSource>(code);
            on = true;
        }
    }

    void step(Function f, int sign, std::size_t) override {
        const char* code = sign > 0 ? "UP" : "DN";
        const bool frq = f == Function::Frequency;
        const panel::QuantityRange& r = panel::rangeOf(frq ? Quantity::Frequency : Quantity::Level);
        const std::int64_t to =
            frq ? state_.frequencyHz / 100 + sign * (state_.frequencyIncrementHz / 100)
                : state_.levelDeciDbm + sign * state_.levelIncrementDeciDb;
        if (to < r.min || to > r.max) {
            refuse(std::string(code) + " would take the " + r.name + " outside " + r.range, 0);
        } else if (frq) {
            state_.frequencyHz = to * 100;
        } else {
            state_.levelDeciDbm = static_cast<std::int32_t>(to);
        }
    }

    void refuse(std::string why, std::size_t) override { complaints_.push_back(std::move(why)); }

    std::vector<std::string> complaints_;

private:
    SimGeneratorState& state_;
};

}  // namespace

std::vector<std::string> Hp8656a::apply(std::string_view message) {
    Settings settings(state_);
    panel::readCommands(message, function_, settings);
    return std::move(settings.complaints_);
}

}  // namespace zelmor::link::detail
