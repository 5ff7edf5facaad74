// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What happened, in order, from any thread, with a bounded wait for it.
//
//   EventLog log;
//   watcher->AddWatch(path, log.Callback("mic"));
//   listener.OnSomething = [&] { log.Add("something"); };
//   ...
//   EXPECT_TRUE(log.WaitFor("mic"));
//
// Header-only on std::mutex, so that tests of libraries without core can use
// it too.
#ifndef TESTING_EVENT_LOG_H_
#define TESTING_EVENT_LOG_H_

#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

class EventLog {
 public:
  // How long WaitFor waits before it gives up.
  static constexpr std::chrono::seconds kPatience{10};

  void Add(const std::string& entry) {
    char thread[16] = {};
    prctl(PR_GET_NAME, thread);
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
    threads_.push_back(thread);
    changed_.notify_all();
  }
  // A callback that adds |label|; |this| must outlive it.
  std::function<void()> Callback(const std::string& label) {
    return [this, label] { Add(label); };
  }

  // Waits until |entry| is there |times| times in all.
  bool WaitFor(const std::string& entry,
               int times = 1,
               std::chrono::seconds patience = kPatience) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, patience,
                             [&] { return CountLocked(entry) >= times; });
  }
  int Count(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    return CountLocked(entry);
  }
  std::vector<std::string> entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  // The name of the thread each entry came from, in the same order.
  std::vector<std::string> threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    threads_.clear();
  }

 private:
  int CountLocked(const std::string& entry) {
    return static_cast<int>(
        std::count(entries_.begin(), entries_.end(), entry));
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> entries_;  // Guarded by |mutex_|.
  std::vector<std::string> threads_;  // Guarded by |mutex_|.
};

}  // namespace testing_support

#endif  // TESTING_EVENT_LOG_H_
