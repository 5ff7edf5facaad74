// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

namespace bench {
namespace {

using ::testing::HasSubstr;

// What a binary run with --benchmark_repetitions=3 writes: each repetition,
// then the aggregates. The medians differ from the mean and the runs, and
// the baseline's CPU time from its wall-clock time, so that reading the
// wrong figure shows.
constexpr char kRepeated[] = R"({
  "context": {},
  "benchmarks": [
    {"name": "BM_Fast", "run_name": "BM_Fast", "run_type": "iteration",
     "iterations": 100, "real_time": 9.0, "cpu_time": 9.0, "time_unit": "ns",
     "allocs": 0},
    {"name": "BM_Fast_mean", "run_name": "BM_Fast", "run_type": "aggregate",
     "aggregate_name": "mean", "real_time": 5.0, "time_unit": "ns",
     "allocs": 0},
    {"name": "BM_Fast_cv", "run_name": "BM_Fast", "run_type": "aggregate",
     "aggregate_name": "cv", "real_time": 0.1, "time_unit": "ns",
     "allocs": NaN, "label": "NaN, inf"},
    {"name": "BM_Fast_median", "run_name": "BM_Fast", "run_type": "aggregate",
     "aggregate_name": "median", "real_time": 2.0, "cpu_time": 2.0,
     "time_unit": "ns", "allocs": 0},
    {"name": "BM_Slow_median", "run_name": "BM_Slow", "run_type": "aggregate",
     "aggregate_name": "median", "real_time": 0.003, "cpu_time": 0.003,
     "time_unit": "us", "allocs": 1, "items_per_second": 4e6},
    {"name": "BM_Base_median", "run_name": "BM_Base", "run_type": "aggregate",
     "aggregate_name": "median", "real_time": 4.0, "cpu_time": 2.0,
     "time_unit": "ns", "allocs": 1, "items_per_second": 8e6},
    {"name": "BM_Broken", "run_name": "BM_Broken", "run_type": "iteration",
     "error_occurred": true, "error_message": "no daemon running"}
  ]
})";

Runs ReadOrDie(const std::string& text) {
  Runs runs;
  std::string error;
  EXPECT_TRUE(ReadBenchmarkJson(text, &runs, &error)) << error;
  return runs;
}

TEST(SummaryTest, ReadsMediansInNanosecondsAndErrors) {
  const Runs runs = ReadOrDie(kRepeated);
  EXPECT_EQ(runs.at("BM_Fast").fields.at("real_time"), 2.0);
  EXPECT_EQ(runs.at("BM_Slow").fields.at("real_time"), 3.0);
  EXPECT_EQ(runs.at("BM_Slow").fields.at("cpu_time"), 3.0);
  EXPECT_EQ(runs.at("BM_Slow").fields.at("allocs"), 1);
  EXPECT_EQ(runs.at("BM_Slow").fields.count("iterations"), 0u);
  EXPECT_EQ(runs.at("BM_Broken").error, "no daemon running");
}

TEST(SummaryTest, WithoutRepetitionsTakesTheMedianOfTheRuns) {
  const Runs runs = ReadOrDie(R"({"benchmarks": [
    {"run_name": "BM_X", "run_type": "iteration", "real_time": 1, "time_unit": "ms"},
    {"run_name": "BM_X", "run_type": "iteration", "real_time": 7, "time_unit": "ms"},
    {"run_name": "BM_X", "run_type": "iteration", "real_time": 3, "time_unit": "ms"}
  ]})");
  EXPECT_EQ(runs.at("BM_X").fields.at("real_time"), 3e6);
  EXPECT_EQ(runs.at("BM_X").fields.count("cpu_time"), 0u);
}

TEST(SummaryTest, RefusesWhatIsNotBenchmarkOutput) {
  Runs runs;
  std::string error;
  EXPECT_FALSE(ReadBenchmarkJson("", &runs, &error));
  EXPECT_FALSE(ReadBenchmarkJson(R"({"benchmarks": [)", &runs, &error));
  EXPECT_FALSE(ReadBenchmarkJson(R"({"context": {}})", &runs, &error));
  EXPECT_FALSE(error.empty());
}

TEST(SummaryTest, RatioIsCostOverCostForTimesAndRates) {
  const Runs runs = ReadOrDie(kRepeated);
  Row time_row = Compare("time", "BM_Slow", "BM_Base");
  time_row.max_ratio = 1.5;
  RowResult time = Evaluate(time_row, runs);
  ASSERT_TRUE(time.available);
  EXPECT_DOUBLE_EQ(time.ratio, 1.5);
  EXPECT_TRUE(time.met);  // The limit itself is within the target.

  // Half the baseline's rate is twice its cost.
  Row rate_row = Compare("rate", "BM_Slow", "BM_Base");
  rate_row.field = "items_per_second";
  rate_row.unit = Unit::kPerSecond;
  rate_row.max_ratio = 1.5;
  RowResult rate = Evaluate(rate_row, runs);
  ASSERT_TRUE(rate.available);
  EXPECT_DOUBLE_EQ(rate.ratio, 2.0);
  EXPECT_FALSE(rate.met);
}

TEST(SummaryTest, AbsoluteLimitAndAllocationLimits) {
  const Runs runs = ReadOrDie(kRepeated);
  Row row = Compare("limit", "BM_Fast", "BM_Base");
  row.max_ratio = 2;
  row.max_value = 2.0;  // Must stay below: 2 ns is not.
  EXPECT_FALSE(Evaluate(row, runs).met);
  row.max_value = 2.5;
  EXPECT_TRUE(Evaluate(row, runs).met);

  Row allocs = Compare("allocs", "BM_Slow", "BM_Base");
  allocs.max_allocs = 0;
  EXPECT_FALSE(Evaluate(allocs, runs).met);
  allocs.max_allocs = kAllocsOfBaseline;
  EXPECT_TRUE(Evaluate(allocs, runs).met);
  const RowResult result = Evaluate(allocs, runs);
  EXPECT_TRUE(result.has_target);
  EXPECT_EQ(result.figure_allocs, 1);
  EXPECT_EQ(result.baseline_allocs, 1);

  Row plain = Compare("plain", "BM_Slow", "BM_Base");
  EXPECT_FALSE(Evaluate(plain, runs).has_target);
}

TEST(SummaryTest, CountsMayBeZero) {
  const Runs runs = ReadOrDie(R"({"benchmarks": [
    {"name": "BM_Wake", "run_name": "BM_Wake", "run_type": "iteration",
     "real_time": 1, "cpu_time": 1, "time_unit": "ns",
     "idle": 0, "floor": 0, "busy": 12, "busy_floor": 4}]})");
  Row idle = Compare("idle", "BM_Wake", "BM_Wake");
  idle.field = "idle";
  idle.baseline_field = "floor";
  idle.unit = Unit::kCount;
  idle.max_value = 1;
  RowResult result = Evaluate(idle, runs);
  ASSERT_TRUE(result.available) << result.why_not;
  EXPECT_FALSE(result.has_ratio);
  EXPECT_TRUE(result.met);
  EXPECT_THAT(FormatTable({idle}, runs), HasSubstr("  -  "));

  Row busy = idle;
  busy.field = "busy";
  busy.baseline_field = "busy_floor";
  result = Evaluate(busy, runs);
  EXPECT_FALSE(result.met);
  EXPECT_DOUBLE_EQ(result.ratio, 3.0);
  // A time of 0 is still no figure.
  Row time = Compare("time", "BM_Wake", "BM_Wake");
  time.field = "idle";
  time.baseline_field = "busy";
  EXPECT_FALSE(Evaluate(time, runs).available);
}

TEST(SummaryTest, TableSaysWhyARowHasNoFigure) {
  const Runs runs = ReadOrDie(kRepeated);
  Row met = Compare("fast path", "BM_Fast", "BM_Base");
  met.max_ratio = 1.5;
  Row missed = Compare("slow path", "BM_Slow", "BM_Base");
  missed.max_ratio = 1.2;
  const std::string table =
      FormatTable({met, missed, Compare("broken", "BM_Broken", "BM_Base"),
                   Compare("absent", "BM_Absent", "BM_Base")},
                  runs);
  EXPECT_THAT(table, HasSubstr("fast path"));
  EXPECT_THAT(table, HasSubstr("1.00x"));
  EXPECT_THAT(table, HasSubstr("1.50x"));
  EXPECT_THAT(table, HasSubstr("<= 1.20x"));
  EXPECT_THAT(table, HasSubstr("NO"));
  EXPECT_THAT(table, HasSubstr("skipped: no daemon running"));
  EXPECT_THAT(table, HasSubstr("not run: BM_Absent"));
}

TEST(SummaryTest, EveryRowComparesTwoNamedRuns) {
  for (const Row& row : AllRows()) {
    EXPECT_FALSE(row.label.empty());
    EXPECT_FALSE(row.figure.empty()) << row.label;
    EXPECT_FALSE(row.baseline.empty()) << row.label;
    // A figure against itself is only meaningful with two different fields.
    if (row.figure == row.baseline) {
      EXPECT_FALSE(row.baseline_field.empty()) << row.label;
    }
  }
}

}  // namespace
}  // namespace bench
