// SPDX-License-Identifier: MIT
// How long the window freezes when the generator holds off the bus handshake: every call that
// needs it (ibclr, ibwrt, ibloc) waits for the 3-second time-out and fails. Built against the
// current code and, by scripts/bench, against the code before the link learnt to give up, so it
// uses only what both have: FrontPanel, DeviceLink and GpibDriver.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "BenchReport.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/link/GpibDriver.h"
#include "zelmor/panel/FrontPanel.h"
#include "zelmor/panel/StackedButton.h"

namespace zelmor::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(3);  // the link's T3s
constexpr std::int32_t kEabo = 6;                   // I/O aborted: the time-out

// A generator that answers until it dies, then holds off every handshake.
class HandshakeDriver final : public link::GpibDriver {
public:
    bool dead = false;
    bool dieAfterProbe = false;  // answers the probe of the first open, then nothing more

    std::int32_t ibconfig(std::int32_t, std::int32_t, std::int32_t) override { return ok(0); }
    std::int32_t ibdev(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                       std::int32_t) override {
        return ok(1);
    }
    std::int32_t ibclr(std::int32_t) override { return handshake(0); }
    std::int32_t ibwrt(std::int32_t, std::string_view bytes) override {
        const std::int32_t result = handshake(static_cast<std::int32_t>(bytes.size()));
        if (dieAfterProbe && bytes == "XX") dead = true;
        return result;
    }
    std::int32_t ibloc(std::int32_t) override { return handshake(0); }
    std::int32_t ibonl(std::int32_t, std::int32_t) override { return ok(0); }
    link::DriverStatus status() const override { return status_; }

private:
    std::int32_t ok(std::int32_t count) {
        status_ = {link::CMPL, 0, count, count};
        return count;
    }
    std::int32_t handshake(std::int32_t count) {
        if (!dead) return ok(count);
        std::this_thread::sleep_for(kTimeout);
        status_ = {link::ERR | link::TIMO | link::CMPL, kEabo, 0, 0};
        return status_.ibsta;
    }
    link::DriverStatus status_;
};

// A started panel over the driver above.
struct Rig {
    Rig() {
        link = std::make_unique<link::DeviceLink>(
            address,
            [this] {
                auto made = std::make_unique<HandshakeDriver>();
                driver = made.get();
                return link::DriverLoad{std::move(made), {}, false};
            },
            nullptr);
        panel = std::make_unique<panel::FrontPanel>(
            *link, address, [](panel::MessageIcon, const QString&, const QString&) {});
        panel->setUpPanel();
        panel->show();
        if (!QTest::qWaitForWindowExposed(panel.get())) std::fprintf(stderr, "not shown\n");
    }
    // Loads the driver, as the first click on the panel would.
    HandshakeDriver& loaded() {
        if (driver == nullptr) link->binding();
        return *driver;
    }
    link::GpibAddress address;
    std::unique_ptr<link::DeviceLink> link;
    HandshakeDriver* driver = nullptr;  // owned by the link
    std::unique_ptr<panel::FrontPanel> panel;
};

struct Freeze {
    double longest = 0;  // seconds without an event handled
    double share = 0;    // of the time watched, spent in freezes over 100 ms
};

// Runs `action` from the event loop and watches the loop with a 5 ms heartbeat for `watch`
// after it started (and at least until it returned).
Freeze watch(const std::function<void()>& action, std::chrono::milliseconds span) {
    Freeze f;
    Clock::time_point last = Clock::now();
    const Clock::time_point start = last;
    double frozen = 0;
    const auto beat = [&] {
        const Clock::time_point now = Clock::now();
        const double gap = std::chrono::duration<double>(now - last).count();
        f.longest = std::max(f.longest, gap);
        if (gap > 0.1) frozen += gap;
        last = now;
    };
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(5);
    QObject::connect(&heart, &QTimer::timeout, beat);
    heart.start();
    bool done = false;
    QTimer::singleShot(0, [&] {
        action();
        done = true;
    });
    while (!done || Clock::now() - start < span) QTest::qWait(5);
    beat();
    f.share = frozen / std::chrono::duration<double>(Clock::now() - start).count();
    return f;
}

void report(benchmark::State& state, const Freeze& f) {
    state.SetIterationTime(f.longest);
    state.counters["longest_s"] = f.longest;
    state.counters["frozen_share"] = f.share;
}

void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

void BM_SwitchOnDeadBus(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        rig.loaded().dead = true;
        report(state, watch([&] { click(rig.panel->Onn); }, std::chrono::milliseconds(200)));
    }
}

void BM_SwitchOnDiesAfterProbe(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        rig.loaded().dieAfterProbe = true;
        report(state, watch([&] { click(rig.panel->Onn); }, std::chrono::milliseconds(200)));
    }
}

void BM_DefaultsDeadBus(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        click(rig.panel->Onn);
        rig.loaded().dead = true;
        report(state, watch([&] { click(rig.panel->Raz); }, std::chrono::milliseconds(200)));
    }
}

// The sweep runs on line at 120 ms a tick when the generator dies; watched for 12 s.
void BM_SweepDeadBus(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        click(rig.panel->Onn);
        rig.panel->HScrExc->setValue(100);
        click(rig.panel->Swp);
        QTest::qWait(500);
        rig.loaded().dead = true;
        report(state, watch([] {}, std::chrono::seconds(12)));
        rig.driver->dead = false;
        click(rig.panel->Swp);
    }
}

#define FREEZE(name) \
    BENCHMARK(name)->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond)
FREEZE(BM_SwitchOnDeadBus);
FREEZE(BM_SwitchOnDiesAfterProbe);
FREEZE(BM_DefaultsDeadBus);
FREEZE(BM_SweepDeadBus);

}  // namespace
}  // namespace zelmor::bench

// Argument 1, when given and not a benchmark flag: the name of the code measured, for the lines.
int main(int argc, char** argv) {
    using namespace zelmor::bench;
    QApplication app(argc, argv);
    std::string code = "this code";
    if (argc > 1 && std::string_view(argv[1]).substr(0, 2) != "--") {
        code = argv[1];
        argv[1] = argv[0];
        --argc, ++argv;
    }
    Figures f = runBenchmarks(argc, argv);
    const struct {
        const char* name;
        const char* what;
    } lines[] = {{"BM_SwitchOnDeadBus", "switching on, generator not answering"},
                 {"BM_SwitchOnDiesAfterProbe", "switching on, generator stops after the probe"},
                 {"BM_DefaultsDeadBus", "defaults button, on line, bus dead"},
                 {"BM_SweepDeadBus", "sweep at 120 ms, on line, bus dead (12 s)"}};
    std::printf("\n");
    for (const auto& l : lines) {
        const double longest = f[l.name]["longest_s"];
        const bool sweep = std::string_view(l.name) == "BM_SweepDeadBus";
        std::printf(
            "freeze, %-46s %-8s longest %4.1f s%s  (goal: one time-out, 3 s, per action)"
            "  %s\n",
            l.what, code.c_str(), longest,
            sweep ? (", frozen " + std::to_string(std::lround(100 * f[l.name]["frozen_share"])) +
                     " % of the time")
                        .c_str()
                  : "",
            verdict(longest < 3.5));
    }
    return 0;
}
