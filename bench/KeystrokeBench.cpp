// SPDX-License-Identifier: MIT
// The keystroke path in process: a key press delivered to the focused 1 MHz box of the real
// window, on line, until its write enters the driver; beside it a bare widget whose key handler
// writes at once. Also how many QLineEdit::setText calls a key and a sweep tick cost.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchReport.h"
#include "SetTextCounter.h"
#include "StampDriver.h"
#include "zelmor/app/Main.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::bench {
namespace {

using Clock = StampDriver::Clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The real main window over a store in a temporary folder, on line, the 1 MHz digit selected.
struct RealWindow {
    RealWindow() {
        window = std::make_unique<app::Main>(
            *store,
            [this] {
                auto made = std::make_unique<StampDriver>();
                driver = made.get();
                return link::DriverLoad{std::move(made), {}, false};
            },
            [](panel::MessageIcon, const QString&, const QString& text) {
                std::fprintf(stderr, "message: %s\n", qPrintable(text));
            });
        window->Form_Load(QString());
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get())) std::fprintf(stderr, "not active\n");
        QTest::mouseClick(window->Onn, Qt::LeftButton);
        window->Frq[2]->QWidget::setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
    }
    QTemporaryDir dir;
    std::unique_ptr<settings::SettingsStore> store = settings::makeFileStore(dir.path());
    StampDriver* driver = nullptr;  // owned by the window's link
    std::unique_ptr<app::Main> window;
};

// The least a Qt program can do with a key: write at once.
class BareWidget final : public QWidget {
public:
    explicit BareWidget(StampDriver& driver) : driver_(driver) {
        setFocusPolicy(Qt::StrongFocus);
        resize(200, 100);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        driver_.ibwrt(1, event->key() == Qt::Key_Up ? "FR101MZ" : "FR100MZ");
        event->accept();
    }

private:
    StampDriver& driver_;
};

// Notes when a key press reaches the widget itself, after the shortcut override and the
// application's event filters.
class Arrival final : public QObject {
public:
    Clock::time_point at;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) at = Clock::now();
        return false;
    }
};

// Presses Up and Down in turn on the focused widget; each iteration's time is from the press to
// the write. The release and the repaint that follow are outside it, as between a user's keys.
void pressKeys(benchmark::State& state, StampDriver& driver) {
    std::vector<double> latencies;
    std::vector<double> arrivals;
    Arrival arrival;
    long setTexts = 0;
    long long setTextNs = 0;
    bool up = true;
    for (auto _ : state) {
        QWidget* focused = QApplication::focusWidget();
        focused->installEventFilter(&arrival);  // once: a filter installed again moves to the front
        const Qt::Key key = up ? Qt::Key_Up : Qt::Key_Down;
        up = !up;
        const long writes = driver.writes;
        const long texts = setTextCalls();
        const long long textNs = setTextNanos();
        const Clock::time_point start = Clock::now();
        QTest::keyPress(focused, key);
        const Clock::time_point written = driver.lastWrite;
        setTexts += setTextCalls() - texts;
        setTextNs += setTextNanos() - textNs;
        if (driver.writes != writes + 1) {
            state.SkipWithError("a key did not make exactly one write");
            break;
        }
        latencies.push_back(micros(written - start));
        arrivals.push_back(micros(arrival.at - start));
        state.SetIterationTime(latencies.back() / 1e6);
        QTest::keyRelease(focused, key);
        QApplication::processEvents();
    }
    state.counters["p50_us"] = percentile(latencies, 50);
    state.counters["p99_us"] = percentile(latencies, 99);
    state.counters["arrival_p50_us"] = percentile(arrivals, 50);
    const double presses = std::max<double>(1, latencies.size());
    state.counters["setText_per_key"] = setTexts / presses;
    state.counters["setText_us_per_key"] = setTextNs / presses / 1e3;
}

void BM_KeystrokeWindow(benchmark::State& state) {
    RealWindow w;
    if (w.driver == nullptr || QApplication::focusWidget() != w.window->Frq[2]) {
        state.SkipWithError("the window is not on line with the 1 MHz digit focused");
        return;
    }
    pressKeys(state, *w.driver);
}
BENCHMARK(BM_KeystrokeWindow)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_KeystrokeBare(benchmark::State& state) {
    StampDriver driver;
    BareWidget widget(driver);
    widget.show();
    widget.activateWindow();
    if (!QTest::qWaitForWindowActive(&widget)) std::fprintf(stderr, "not active\n");
    widget.setFocus();
    QApplication::processEvents();
    pressKeys(state, driver);
}
BENCHMARK(BM_KeystrokeBare)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A frequency sweep in steps of 100 Hz over an excursion of 100 steps, tick by tick: the time of
// the whole tick and the setText calls it makes.
void BM_SweepTick(benchmark::State& state) {
    RealWindow w;
    w.window->HScrExc->setValue(100);
    w.window->Off->setCurrentRow(0);
    std::vector<double> ticks;
    long setTexts = 0;
    for (auto _ : state) {
        const long texts = setTextCalls();
        const Clock::time_point start = Clock::now();
        w.window->Timer_Timer();
        const Clock::time_point end = Clock::now();
        setTexts += setTextCalls() - texts;
        ticks.push_back(micros(end - start));
        state.SetIterationTime(ticks.back() / 1e6);
        QApplication::processEvents();
    }
    state.counters["p50_us"] = percentile(ticks, 50);
    state.counters["setText_per_tick"] =
        ticks.empty() ? 0 : static_cast<double>(setTexts) / ticks.size();
}
BENCHMARK(BM_SweepTick)->Iterations(1010)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelmor::bench

int main(int argc, char** argv) {
    using namespace zelmor::bench;
    QApplication app(argc, argv);
    Figures f = runBenchmarks(argc, argv);
    auto& real = f["BM_KeystrokeWindow"];
    auto& bare = f["BM_KeystrokeBare"];
    auto& tick = f["BM_SweepTick"];
    std::printf("\nmedians of the repetitions, on %s\n", qPrintable(QApplication::platformName()));
    std::printf(
        "keystroke in process, real window   p50 %.1f us (goal < 15 us)  p99 %.1f us "
        "(goal < 50 us)  %s\n",
        real["p50_us"], real["p99_us"], verdict(real["p50_us"] < 15 && real["p99_us"] < 50));
    std::printf("  of which to reach the box (shortcut override, event filters) p50 %.1f us\n",
                real["arrival_p50_us"]);
    std::printf(
        "keystroke in process, bare widget   p50 %.1f us  p99 %.1f us  (window/bare at "
        "p50: %.1f times)\n",
        bare["p50_us"], bare["p99_us"], bare["p50_us"] > 0 ? real["p50_us"] / bare["p50_us"] : 0.0);
    std::printf(
        "QLineEdit::setText calls  per Up or Down on the 1 MHz digit %.2f, made after the write "
        "(%.1f us)  per sweep tick %.2f (step 100 Hz; a tick takes %.1f us at p50)\n",
        real["setText_per_key"], real["setText_us_per_key"], tick["setText_per_tick"],
        tick["p50_us"]);
    return 0;
}
