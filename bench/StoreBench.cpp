// SPDX-License-Identifier: MIT
// What the settings store adds to start-up and to closing, against the number of other instance
// keys in the file: start-up reads X, Y, Board, PAd and SAd with a store made afresh, as the
// program does; closing writes Board, PAd, SAd, X and Y, once with every value as stored
// already and once with the window moved.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "BenchReport.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::bench {
namespace {

namespace names = settings::names;
using Clock = std::chrono::steady_clock;
const QString kKey = QStringLiteral("Zelmor");

QJsonObject instance(int x) {
    const auto dword = [](int v) { return QJsonObject{{QStringLiteral("dword"), v}}; };
    return {{names::X, dword(x)},
            {names::Y, dword(1200)},
            {names::Board, dword(0)},
            {names::PAd, dword(7)},
            {names::SAd, dword(0)}};
}

// A config folder whose file holds this copy's key and `others` more, as the store writes it.
struct Folder {
    explicit Folder(int others) {
        QJsonObject root{{kKey, instance(1500)}};
        for (int i = 0; i < others; ++i)
            root.insert(QStringLiteral("Zelmor - %1").arg(i), instance(i));
        const QString file = settings::storeFilePath(dir.path());
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) std::abort();
    }
    QTemporaryDir dir;
    QByteArray bytes;
};

void startupReads(settings::SettingsStore& store) {
    benchmark::DoNotOptimize(store.ReadSetting(kKey, names::X, 100));
    benchmark::DoNotOptimize(store.ReadSetting(kKey, names::Y, 0));
    benchmark::DoNotOptimize(settings::ReadSetting16(store, kKey, names::Board, 0));
    benchmark::DoNotOptimize(settings::ReadSetting16(store, kKey, names::PAd, 7));
    benchmark::DoNotOptimize(settings::ReadSetting16(store, kKey, names::SAd, 0));
}

bool closeWrites(settings::SettingsStore& store, int x) {
    return store.WriteSettings(
        kKey,
        {{names::Board, 0}, {names::PAd, 7}, {names::SAd, 0}, {names::X, x}, {names::Y, 1200}});
}

void BM_Startup(benchmark::State& state) {
    Folder folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        auto store = settings::makeFileStore(folder.dir.path());
        startupReads(*store);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["file_MB"] = folder.bytes.size() / 1e6;
}

// moved: the window closes elsewhere than it opened, so the file is saved.
void close(benchmark::State& state, bool moved) {
    Folder folder(static_cast<int>(state.range(0)));
    int x = 1500;
    for (auto _ : state) {
        auto store = settings::makeFileStore(folder.dir.path());
        startupReads(*store);
        if (moved) x = x == 1500 ? 1515 : 1500;
        const Clock::time_point start = Clock::now();
        const bool stored = closeWrites(*store, x);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!stored) state.SkipWithError("the close could not store its values");
    }
}
void BM_CloseUnchanged(benchmark::State& state) { close(state, false); }
void BM_CloseMoved(benchmark::State& state) { close(state, true); }

// Files of 0, 1,000 and 10,000 other instances; each figure is one call, timed by hand.
void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(0)->Arg(1000)->Arg(10000)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Startup)->Apply(sizes);
BENCHMARK(BM_CloseUnchanged)->Apply(sizes);
BENCHMARK(BM_CloseMoved)->Apply(sizes);

}  // namespace
}  // namespace zelmor::bench

int main(int argc, char** argv) {
    using namespace zelmor::bench;
    QCoreApplication app(argc, argv);
    Figures f = runBenchmarks(argc, argv);
    const auto ms = [&f](const char* what, int others) {
        return f[std::string(what) + "/" + std::to_string(others)]["seconds"] * 1e3;
    };
    std::printf(
        "\nmedians of the repetitions; file of 0 / 1,000 / 10,000 other instances: "
        "%.2f / %.2f / %.2f MB\n",
        f["BM_Startup/0"]["file_MB"], f["BM_Startup/1000"]["file_MB"],
        f["BM_Startup/10000"]["file_MB"]);
    for (const char* what : {"BM_Startup", "BM_CloseUnchanged", "BM_CloseMoved"}) {
        const bool close = std::string(what) != "BM_Startup";
        std::printf(
            "settings, %-22s %7.2f / %7.2f / %7.2f ms%s\n",
            close ? (std::string(what) == "BM_CloseMoved" ? "close, window moved"
                                                          : "close, nothing changed")
                  : "start-up, five reads",
            ms(what, 0), ms(what, 1000), ms(what, 10000),
            close ? (std::string("  (goal < 20 ms with 10,000)  ") + verdict(ms(what, 10000) < 20))
                        .c_str()
                  : "");
    }
    return 0;
}
