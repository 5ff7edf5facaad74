// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// LOG(INFO) lines per second into a file, with the default prefix and with
// both the time and the tick count in it, against the floor: one fwrite and
// one fflush of a preformatted line of the same length, to the same stream.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "bench/alloc_counter.h"
#include "core/logging.h"

namespace {

// Points stderr at a scratch file for one benchmark run; the file is
// emptied at the start so that runs do not fill the disk.
class StderrToScratchFile {
 public:
  StderrToScratchFile() {
    char path[] = "/tmp/vantor-bench-log.XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
      return;
    unlink(path);  // Gone when the last descriptor closes.
    fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  StderrToScratchFile(const StderrToScratchFile&) = delete;
  StderrToScratchFile& operator=(const StderrToScratchFile&) = delete;
  ~StderrToScratchFile() {
    if (saved_ < 0)
      return;
    fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }

  bool ok() const { return saved_ >= 0; }

 private:
  int saved_ = -1;
};

// The message of every line; the number keeps the formatting honest.
constexpr char kMessage[] = "Registering service instance ";
constexpr int kNumber = 123456;

template <typename Body>
void RunLines(benchmark::State& state, Body body) {
  StderrToScratchFile scratch;
  if (!scratch.ok()) {
    state.SkipWithError("cannot open a scratch file in /tmp");
    return;
  }
  const uint64_t allocations = bench::AllocationsOnThisThread();
  for (auto _ : state)
    body();
  state.counters["allocs"] = benchmark::Counter(
      static_cast<double>(bench::AllocationsOnThisThread() - allocations),
      benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}

void BM_Log_Floor(benchmark::State& state) {
  // What LOG(INFO) writes with the default flags, built once.
  const std::string line = std::string("[INFO:logging_benchmark.cc(99)] ") +
                           kMessage + std::to_string(kNumber) + "\n";
  RunLines(state, [&line] {
    fwrite(line.data(), line.size(), 1, stderr);
    fflush(stderr);
  });
}
BENCHMARK(BM_Log_Floor);

void BM_Log_DefaultFlags(benchmark::State& state) {
  core::InitializeLogging(false, false);
  RunLines(state, [] { LOG(INFO) << kMessage << kNumber; });
}
BENCHMARK(BM_Log_DefaultFlags);

void BM_Log_BothPrefixes(benchmark::State& state) {
  core::InitializeLogging(true, true);
  RunLines(state, [] { LOG(INFO) << kMessage << kNumber; });
  core::InitializeLogging(false, false);
}
BENCHMARK(BM_Log_BothPrefixes);

}  // namespace
