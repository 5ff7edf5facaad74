// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Turns the JSON output of the benchmark binaries into one table: each
// figure next to the baseline measured in the same run, their ratio, the
// target and whether it is met.
//
//   bench::Runs runs;
//   bench::ReadBenchmarkJson(text, &runs, &error);   // once per binary
//   std::cout << bench::FormatTable(bench::AllRows(), runs);
//
// Only medians are used: with --benchmark_repetitions the median aggregate
// of each benchmark, otherwise its single run. The machine is shared, and
// the median of interleaved repetitions is what survives the noise.
#ifndef BENCH_SUMMARY_H_
#define BENCH_SUMMARY_H_

#include <map>
#include <string>
#include <vector>

namespace bench {

// One benchmark's median figures by field: "real_time" and "cpu_time"
// (always in ns) and every counter under its own name. |error| is set when the
// run failed or was skipped, with the benchmark's reason.
struct RunFigures {
  std::map<std::string, double> fields;
  std::string error;
};

// By run name.
using Runs = std::map<std::string, RunFigures>;

// Adds the runs of one binary's JSON output to |*runs|, keyed by run name.
// False, with the reason in |*error|, when |text| is not such output.
bool ReadBenchmarkJson(const std::string& text, Runs* runs, std::string* error);

enum class Unit {
  kNanoseconds,   // A time, printed in ns, us or ms as fits.
  kPerSecond,     // A rate counter; the cost ratio is baseline / figure.
  kMicroseconds,  // A counter in us.
  kMilliseconds,  // A counter in ms.
  kCount,  // A counter of events, where 0 is a figure too; no ratio to 0.
};

struct Row {
  std::string label;
  std::string figure;    // Run name of the measured benchmark.
  std::string baseline;  // Run name of its baseline.
  // CPU time by default: on a shared machine it leaves out the time a
  // single-threaded benchmark spent descheduled.
  std::string field = "cpu_time";
  std::string baseline_field;  // Empty: the same as |field|.
  Unit unit = Unit::kNanoseconds;
  double max_ratio = 0;  // The cost ratio must not exceed it; 0: no target.
  double max_value = 0;  // The figure must stay below it; 0: no limit.
  // Allocations per operation (counter "allocs") the figure may make: -1 for
  // no limit, -2 for "no more than its baseline".
  int max_allocs = -1;
};

constexpr int kAllocsOfBaseline = -2;

// A row of |figure| against |baseline| by CPU time, without a target.
Row Compare(const std::string& label,
            const std::string& figure,
            const std::string& baseline);

struct RowResult {
  bool available = false;
  std::string why_not;  // When not available.
  double figure = 0;
  double baseline = 0;
  double ratio = 0;        // Cost of the figure over the cost of the baseline.
  bool has_ratio = false;  // False for a count against a baseline of 0.
  bool has_allocs = false;
  double figure_allocs = 0;
  double baseline_allocs = 0;
  bool has_target = false;
  bool met = false;
};

RowResult Evaluate(const Row& row, const Runs& runs);

// The table, one line per row, with a header.
std::string FormatTable(const std::vector<Row>& rows, const Runs& runs);

// Every figure that scripts/bench reports, with its target where it has one.
const std::vector<Row>& AllRows();

}  // namespace bench

#endif  // BENCH_SUMMARY_H_
