// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The smallest single-consumer task queue that does what core::TaskQueue
// does: one mutex, one condition variable signalled on every post, a deque,
// one thread. It runs the same task type, so that a comparison with the core
// queue measures the queues and nothing else.
#ifndef BENCH_BASELINE_QUEUE_H_
#define BENCH_BASELINE_QUEUE_H_

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "core/task_queue.h"

namespace bench {

class BaselineQueue {
 public:
  using Task = core::TaskQueue::Task;

  BaselineQueue() : thread_([this] { Loop(); }) {}
  BaselineQueue(const BaselineQueue&) = delete;
  BaselineQueue& operator=(const BaselineQueue&) = delete;
  // Runs everything already posted, then joins.
  ~BaselineQueue() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    task_added_.notify_one();
    thread_.join();
  }

  // Any thread.
  void AddTask(std::unique_ptr<Task> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(task));
    task_added_.notify_one();
  }

 private:
  void Loop() {
    for (;;) {
      std::unique_ptr<Task> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        task_added_.wait(lock,
                         [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty())
          return;
        task = std::move(pending_.front());
        pending_.pop_front();
      }
      task->Run();
    }
  }

  std::mutex mutex_;
  std::condition_variable task_added_;
  std::deque<std::unique_ptr<Task>> pending_;  // Guarded by |mutex_|.
  bool stopping_ = false;                      // Guarded by |mutex_|.
  std::thread thread_;                         // Last: starts after the rest.
};

}  // namespace bench

#endif  // BENCH_BASELINE_QUEUE_H_
