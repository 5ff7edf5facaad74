// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/latency_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace bench {
namespace {

TEST(PercentileTest, NearestRankOfShuffledSamples) {
  std::vector<double> samples;
  for (int i = 1; i <= 1000; ++i)
    samples.push_back(i);
  std::shuffle(samples.begin(), samples.end(), std::mt19937(42));
  EXPECT_EQ(Percentile(samples, 50), 500);
  EXPECT_EQ(Percentile(samples, 99), 990);
  EXPECT_EQ(Percentile(samples, 100), 1000);
  EXPECT_EQ(Percentile(samples, 0.01), 1);
}

TEST(PercentileTest, FewSamples) {
  EXPECT_EQ(Percentile({}, 99), 0);
  EXPECT_EQ(Percentile({7}, 99), 7);
  // Of two samples the median is the lower, the p99 the higher.
  EXPECT_EQ(Percentile({9, 3}, 50), 3);
  EXPECT_EQ(Percentile({9, 3}, 99), 9);
}

}  // namespace
}  // namespace bench
