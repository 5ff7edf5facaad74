// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Counts heap allocations made through operator new on the calling thread.
//
//   const uint64_t before = bench::AllocationsOnThisThread();
//   ... code under test ...
//   state.counters["allocs"] = Counter(AllocationsOnThisThread() - before,
//   ...);
//
// The counting operator new lives in alloc_counter.cc, which every benchmark
// binary links as an object file so that it replaces the library's. The
// count is per thread so that it costs one thread-local increment and so
// that a benchmark's helper threads do not blur the figure of its own.
#ifndef BENCH_ALLOC_COUNTER_H_
#define BENCH_ALLOC_COUNTER_H_

#include <stdint.h>

namespace bench {

uint64_t AllocationsOnThisThread();

}  // namespace bench

#endif  // BENCH_ALLOC_COUNTER_H_
