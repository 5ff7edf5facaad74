// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Records callback runs, in order, with the name of the thread each ran on,
// and lets a test wait for them with a bounded wait.
//
//   CallbackCollector collector;
//   watcher->AddWatch(path, collector.Callback("mic"));
//   ...
//   EXPECT_TRUE(collector.WaitFor("mic"));
#ifndef TESTING_CALLBACK_COLLECTOR_H_
#define TESTING_CALLBACK_COLLECTOR_H_

#include <sys/prctl.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

class CallbackCollector {
 public:
  // How long WaitFor waits before it gives up.
  static constexpr std::chrono::seconds kPatience{10};

  // A callback that records |label|; |this| must outlive it.
  std::function<void()> Callback(const std::string& label) {
    return [this, label] {
      char name[16] = {};
      prctl(PR_GET_NAME, name);
      std::lock_guard<std::mutex> lock(mutex_);
      runs_.push_back(label);
      threads_.push_back(name);
      changed_.notify_all();
    };
  }

  // Waits until |label| has run |times| times in all.
  bool WaitFor(const std::string& label,
               int times = 1,
               std::chrono::seconds patience = kPatience) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, patience,
                             [&] { return CountLocked(label) >= times; });
  }
  int Count(const std::string& label) {
    std::lock_guard<std::mutex> lock(mutex_);
    return CountLocked(label);
  }
  std::vector<std::string> runs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return runs_;
  }
  std::vector<std::string> threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }

 private:
  int CountLocked(const std::string& label) {
    int n = 0;
    for (const std::string& run : runs_)
      n += run == label;
    return n;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> runs_;     // Guarded by |mutex_|.
  std::vector<std::string> threads_;  // Guarded by |mutex_|.
};

}  // namespace testing_support

#endif  // TESTING_CALLBACK_COLLECTOR_H_
