// SPDX-License-Identifier: MIT
#include "BenchReport.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace zelmor::bench {
namespace {

class MedianCollector final : public benchmark::ConsoleReporter {
public:
    explicit MedianCollector(OutputOptions options) : ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            // A single repetition has no aggregates: its own counters are the figures.
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!single && !(run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")) {
                continue;
            }
            const std::string name = run.run_name.function_name +
                                     (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            for (const auto& [counter, value] : run.counters) figures[name][counter] = value;
            figures[name]["seconds"] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }
    Figures figures;
};

bool given(int argc, char** argv, std::string_view flag) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).substr(0, flag.size()) == flag) return true;
    }
    return false;
}

}  // namespace

Figures runBenchmarks(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_display_aggregates_only=true";
    if (!given(argc, argv, "--benchmark_repetitions")) args.push_back(repetitions.data());
    if (!given(argc, argv, "--benchmark_enable_random_interleaving"))
        args.push_back(interleave.data());
    if (!given(argc, argv, "--benchmark_display_aggregates_only"))
        args.push_back(aggregates.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    // BENCH_TABLE: where Google Benchmark's own table goes (appended), to keep the figures apart.
    std::ofstream table;
    if (const char* path = std::getenv("BENCH_TABLE"); path != nullptr && *path != '\0') {
        table.open(path, std::ios::app);
    }
    MedianCollector collector(table.is_open() || isatty(STDOUT_FILENO) == 0
                                  ? benchmark::ConsoleReporter::OO_Tabular
                                  : benchmark::ConsoleReporter::OO_Defaults);
    if (table.is_open()) {
        collector.SetOutputStream(&table);
        collector.SetErrorStream(&table);
    }
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    return collector.figures;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * values.size()));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

const char* verdict(bool met) { return met ? "ok" : "MISSED"; }

}  // namespace zelmor::bench
