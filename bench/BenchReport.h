// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zelmor::bench {

// The median over the repetitions of each counter, and of the time of one iteration in
// "seconds", by benchmark name ("BM_Startup/1000").
using Figures = std::map<std::string, std::map<std::string, double>>;

// Runs the benchmarks the command line selects, by default three repetitions in random
// interleaved order, prints Google Benchmark's table (into the file BENCH_TABLE names, if set)
// and returns the medians.
Figures runBenchmarks(int argc, char** argv);

// The nearest-rank percentile (0 to 100) of `values`; 0 for none.
double percentile(std::vector<double> values, double p);

// What a figure's line ends with.
const char* verdict(bool met);

}  // namespace zelmor::bench
