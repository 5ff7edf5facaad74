// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/baseline_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace bench {
namespace {

// Records which producer's which task ran, and on which thread.
struct Log {
  std::vector<std::pair<int, int>> runs;  // Queue thread only.
  std::vector<std::thread::id> threads;   // Queue thread only.
};

class RecordTask : public core::TaskQueue::Task {
 public:
  RecordTask(Log* log, int producer, int index)
      : log_(log), producer_(producer), index_(index) {}
  void Run() override {
    log_->runs.emplace_back(producer_, index_);
    log_->threads.push_back(std::this_thread::get_id());
  }

 private:
  Log* const log_;
  const int producer_;
  const int index_;
};

TEST(BaselineQueueTest, RunsEveryTaskOnItsThreadInEachProducersOrder) {
  constexpr int kPerProducer = 10000;
  Log log;
  {
    BaselineQueue queue;
    auto produce = [&queue, &log](int producer) {
      for (int i = 0; i < kPerProducer; ++i)
        queue.AddTask(std::make_unique<RecordTask>(&log, producer, i));
    };
    std::thread first(produce, 0);
    std::thread second(produce, 1);
    first.join();
    second.join();
  }  // The destructor runs what is still pending.

  ASSERT_EQ(log.runs.size(), 2u * kPerProducer);
  int next[2] = {0, 0};
  for (const auto& [producer, index] : log.runs)
    ASSERT_EQ(index, next[producer]++) << "producer " << producer;
  for (const std::thread::id& id : log.threads) {
    ASSERT_EQ(id, log.threads[0]);
    ASSERT_NE(id, std::this_thread::get_id());
  }
}

}  // namespace
}  // namespace bench
