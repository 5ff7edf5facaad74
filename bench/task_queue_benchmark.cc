// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// core::TaskQueue against bench::BaselineQueue (a bare mutex, condition
// variable and deque): throughput of a million trivial tasks from one
// producer (its thread and the queue's pinned to one core, and to two) and
// from two, and the post -> run -> answer round trip. Both queues run the
// same heap-allocated task type and signal on every post.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/baseline_queue.h"
#include "core/task_queue.h"
#include "core/thread.h"

namespace {

constexpr int kTasks = 1000000;

// core::TaskQueue with the thread it needs, which must outlive it.
class CoreQueue {
 public:
  void AddTask(std::unique_ptr<core::TaskQueue::Task> task) {
    queue_.AddTask(std::move(task));
  }

 private:
  core::Thread thread_{"BenchQueue"};
  core::TaskQueue queue_{&thread_};
};

// One waiter, many signals: each Wait() consumes one Signal().
class Latch {
 public:
  void Signal() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
    cv_.notify_one();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;  // Guarded by |mutex_|.
};

// Counts on the queue's thread; the last one of a batch signals.
class CountTask : public core::TaskQueue::Task {
 public:
  CountTask(int* count, int target, Latch* done)
      : count_(count), target_(target), done_(done) {}
  void Run() override {
    if (++*count_ == target_)
      done_->Signal();
  }

 private:
  int* const count_;  // Queue thread only.
  const int target_;
  Latch* const done_;
};

// Where the producer and the queue's thread may run. Where the scheduler
// puts them is a coin toss that changes the figure more than either queue does:
// on one core the producer fills the queue for a whole time slice and the
// consumer drains it without sleeping; on two the consumer often sleeps and
// nearly every post pays for a wake-up.
enum class Placement { kAnywhere, kSameCore, kOtherCores };

// Pins the calling thread to |cpu|; false where that is impossible.
bool PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return sched_setaffinity(0, sizeof(set), &set) == 0;
}

class PinTask : public core::TaskQueue::Task {
 public:
  PinTask(int cpu, bool* pinned, Latch* done)
      : cpu_(cpu), pinned_(pinned), done_(done) {}
  void Run() override {
    *pinned_ = PinTo(cpu_);
    done_->Signal();
  }

 private:
  const int cpu_;
  bool* const pinned_;
  Latch* const done_;
};

// Restores the benchmark thread's CPUs when it goes.
class AffinityScope {
 public:
  AffinityScope() { sched_getaffinity(0, sizeof(saved_), &saved_); }
  AffinityScope(const AffinityScope&) = delete;
  AffinityScope& operator=(const AffinityScope&) = delete;
  ~AffinityScope() { sched_setaffinity(0, sizeof(saved_), &saved_); }

 private:
  cpu_set_t saved_;
};

// Pins the calling thread and |queue|'s as |placement| says; false, with the
// benchmark skipped, where that is impossible.
template <typename Queue>
bool Place(benchmark::State& state, Queue* queue, Placement placement) {
  if (placement == Placement::kAnywhere)
    return true;
  Latch done;
  bool consumer_pinned = false;
  const int consumer_cpu = placement == Placement::kSameCore ? 0 : 1;
  queue->AddTask(
      std::make_unique<PinTask>(consumer_cpu, &consumer_pinned, &done));
  done.Wait();
  if (!consumer_pinned || !PinTo(0)) {
    state.SkipWithError("cannot pin the threads to CPUs 0 and 1");
    return false;
  }
  return true;
}

template <typename Queue>
void RunThroughput(benchmark::State& state,
                   int producers,
                   Placement placement) {
  AffinityScope affinity;
  Queue queue;
  if (!Place(state, &queue, placement))
    return;
  Latch done;
  int count = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    count = 0;  // The queue is idle between batches.
    auto post = [&](int n) {
      for (int i = 0; i < n; ++i)
        queue.AddTask(std::make_unique<CountTask>(&count, kTasks, &done));
    };
    if (producers == 1) {
      const uint64_t before = bench::AllocationsOnThisThread();
      post(kTasks);
      allocations += bench::AllocationsOnThisThread() - before;
    } else {
      std::vector<std::thread> threads;
      for (int p = 0; p < producers; ++p)
        threads.emplace_back(post, kTasks / producers);
      for (std::thread& thread : threads)
        thread.join();
    }
    done.Wait();
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
  if (producers == 1) {
    state.counters["allocs_per_task"] =
        static_cast<double>(allocations) /
        static_cast<double>(state.iterations() * kTasks);
  }
}

template <typename Queue>
void BM_ThroughputSameCore(benchmark::State& state) {
  RunThroughput<Queue>(state, 1, Placement::kSameCore);
}

template <typename Queue>
void BM_ThroughputOtherCores(benchmark::State& state) {
  RunThroughput<Queue>(state, 1, Placement::kOtherCores);
}

template <typename Queue>
void BM_ThroughputTwoProducers(benchmark::State& state) {
  RunThroughput<Queue>(state, 2, Placement::kAnywhere);
}

#define THROUGHPUT_BENCHMARK(name, queue) \
  BENCHMARK_TEMPLATE(name, queue)         \
      ->Iterations(1)                     \
      ->UseRealTime()                     \
      ->Unit(benchmark::kMillisecond)
THROUGHPUT_BENCHMARK(BM_ThroughputSameCore, CoreQueue);
THROUGHPUT_BENCHMARK(BM_ThroughputSameCore, bench::BaselineQueue);
THROUGHPUT_BENCHMARK(BM_ThroughputOtherCores, CoreQueue);
THROUGHPUT_BENCHMARK(BM_ThroughputOtherCores, bench::BaselineQueue);
THROUGHPUT_BENCHMARK(BM_ThroughputTwoProducers, CoreQueue);
THROUGHPUT_BENCHMARK(BM_ThroughputTwoProducers, bench::BaselineQueue);
#undef THROUGHPUT_BENCHMARK

class AnswerTask : public core::TaskQueue::Task {
 public:
  explicit AnswerTask(Latch* answer) : answer_(answer) {}
  void Run() override { answer_->Signal(); }

 private:
  Latch* const answer_;
};

// On two cores, as a host thread asking the responder's thread would.
template <typename Queue>
void BM_RoundTrip(benchmark::State& state) {
  AffinityScope affinity;
  Queue queue;
  if (!Place(state, &queue, Placement::kOtherCores))
    return;
  Latch answer;
  for (auto _ : state) {
    queue.AddTask(std::make_unique<AnswerTask>(&answer));
    answer.Wait();
  }
}
BENCHMARK_TEMPLATE(BM_RoundTrip, CoreQueue)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_RoundTrip, bench::BaselineQueue)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
