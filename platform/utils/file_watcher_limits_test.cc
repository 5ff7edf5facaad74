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
#include <mutex>
#include <string>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_watcher.h"
#include "testing/file_tree.h"

namespace {
std::atomic<int> g_add_watch_errno{0};
}  // namespace

extern "C" int __real_inotify_add_watch(int fd,
                                        const char* path,
                                        uint32_t mask);
extern "C" int __wrap_inotify_add_watch(int fd,
                                        const char* path,
                                        uint32_t mask) {
  if (const int error = g_add_watch_errno.load()) {
    errno = error;
    return -1;
  }
  return __real_inotify_add_watch(fd, path, mask);
}

namespace assistant_reference {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

std::mutex g_mutex;
std::vector<std::string> g_lines;

bool Keep(int /*severity*/, const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_lines.push_back(line);
  return false;
}

TEST(FileWatcherLimitsTest, WatchLimitIsLoggedOnceWithWhatToRaise) {
  char pattern[] = "/tmp/file_watcher_limits_test.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  core::SetLogMessageHandler(&Keep);
  FileWatcher* watcher = FileWatcher::GetInstance();

  g_add_watch_errno = ENOSPC;
  watcher->AddWatch(dir + "/mic_state", [] {});
  g_add_watch_errno = 0;
  watcher->RemoveWatch(dir + "/mic_state");

  core::SetLogMessageHandler(nullptr);
  std::vector<std::string> warnings;
  for (const std::string& line : g_lines) {
    if (line.find("Cannot watch folder") != std::string::npos)
      warnings.push_back(line);
  }
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0],
              HasSubstr("': No space left on device (the inotify watch limit "
                        "is reached: raise fs.inotify.max_user_watches)"));

  // Below the limit again, the same path is watched as usual.
  std::atomic<int> runs{0};
  watcher->AddWatch(dir + "/mic_state", [&] { ++runs; });
  ASSERT_TRUE(WriteFile(dir + "/mic_state", "off\n"));
  for (int i = 0; i < 1000 && runs == 0; ++i)
    usleep(10000);
  EXPECT_GE(runs.load(), 1);
  watcher->RemoveWatch(dir + "/mic_state");
  watcher->WaitForRunningCallback();
  ASSERT_TRUE(testing_support::RemoveTree(dir));
}

}  // namespace
}  // namespace assistant_reference
