// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Percentiles of latency samples.
#ifndef BENCH_LATENCY_STATS_H_
#define BENCH_LATENCY_STATS_H_

#include <math.h>

#include <algorithm>
#include <vector>

namespace bench {

// The nearest-rank percentile: the smallest sample that at least |p| percent
// of the samples do not exceed (0 < p <= 100). 0 when there is no sample.
inline double Percentile(std::vector<double> samples, double p) {
  if (samples.empty())
    return 0;
  std::sort(samples.begin(), samples.end());
  const double rank = ceil(p / 100.0 * static_cast<double>(samples.size()));
  const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  return samples[std::min(index, samples.size() - 1)];
}

}  // namespace bench

#endif  // BENCH_LATENCY_STATS_H_
