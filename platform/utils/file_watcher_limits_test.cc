// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The watcher at the inotify watch limit (fs.inotify.max_user_watches of 0,
// or used up): inotify_add_watch fails on demand (linked with
// --wrap=inotify_add_watch), since the real limit is the whole machine's.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_watcher.h"
#include "testing/file_tree.h"
#include "testing/log_capture.h"
#include "testing/thread_switches.h"

namespace {
std::atomic<int> g_add_watch_errno{0};
std::atomic<int> g_add_watch_calls{0};
}  // namespace

extern "C" int __real_inotify_add_watch(int fd,
                                        const char* path,
                                        uint32_t mask);
extern "C" int __wrap_inotify_add_watch(int fd,
                                        const char* path,
                                        uint32_t mask) {
  ++g_add_watch_calls;
  if (const int error = g_add_watch_errno.load()) {
    errno = error;
    return -1;
  }
  return __real_inotify_add_watch(fd, path, mask);
}

namespace assistant_reference {
namespace {

using ::testing::HasSubstr;

constexpr auto kPatience = std::chrono::seconds(20);

// Counts the runs of a callback and lets the test wait for them.
class Runs {
 public:
  std::function<void()> Callback() {
    return [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
      changed_.notify_all();
    };
  }
  bool WaitFor(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return count_ >= count; });
  }
  int count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;  // Guarded by |mutex_|.
};

std::vector<std::string> LinesWith(const testing_support::LogCapture& log,
                                   const std::string& text) {
  std::vector<std::string> found;
  for (const auto& line : log.Lines()) {
    if (line.whole.find(text) != std::string::npos)
      found.push_back(line.whole);
  }
  return found;
}

// Waits until the watcher has tried to add a watch |more| more times.
bool WaitForAttempts(int more) {
  const int target = g_add_watch_calls + more;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (g_add_watch_calls < target) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(FileWatcherLimitsTest, RaisedWatchLimitIsNoticedAndTheFileReadAgain) {
  // Every folder on the path is watched, so wake-ups are counted where
  // changes are rare: /tmp is busy with other tests.
  char pattern[] = "/var/tmp/file_watcher_limits_test.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  const std::string path = dir + "/mic_state";
  testing_support::LogCapture log(testing_support::LogCapture::Keep::kAll,
                                  testing_support::LogCapture::Echo::kAll);
  FileWatcher* watcher = FileWatcher::GetInstance();
  Runs runs;

  g_add_watch_errno = ENOSPC;
  watcher->AddWatch(path, runs.Callback());
  // Changed while nothing watches it: no event will ever tell.
  ASSERT_TRUE(WriteFile(path, "off\n"));
  // Tried again, still at the limit: nothing to report.
  ASSERT_TRUE(WaitForAttempts(1));
  watcher->WaitForRunningCallback();  // Also waits for the attempt's pass.
  EXPECT_EQ(0, runs.count());

  // The limit raised: watched and reported without another change.
  g_add_watch_errno = 0;
  EXPECT_TRUE(runs.WaitFor(1));
  EXPECT_EQ(1u, LinesWith(log, "Watching folder '" + dir + "'").size());
  ASSERT_TRUE(WriteFile(path, "on\n"));
  EXPECT_TRUE(runs.WaitFor(2));
  // However often it was tried, the limit was logged once.
  std::vector<std::string> warnings = LinesWith(log, "Cannot watch folder");
  ASSERT_EQ(1u, warnings.size());
  EXPECT_THAT(warnings[0],
              HasSubstr("': No space left on device (the inotify watch limit "
                        "is reached: raise fs.inotify.max_user_watches)"));

  // Healthy again: the watch thread sleeps until the next event, for longer
  // than the first retry would wait.
  EXPECT_EQ(0, testing_support::SwitchesWhileQuiet(
                   "FileWatcher", path, std::chrono::milliseconds(1500)));

  watcher->RemoveWatch(path);
  watcher->WaitForRunningCallback();
  ASSERT_TRUE(testing_support::RemoveTree(dir));
}

}  // namespace
}  // namespace assistant_reference
