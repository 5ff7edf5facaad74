// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Counts the context switches of a thread of this process, to show that an
// idle thread stays asleep.
//
//   const long before = testing_support::ThreadSwitches("FileWatcher");
//   ...  // Wait longer than any poller's interval.
//   EXPECT_EQ(before, testing_support::ThreadSwitches("FileWatcher"));
#ifndef TESTING_THREAD_SWITCHES_H_
#define TESTING_THREAD_SWITCHES_H_

#include <dirent.h>

#include <fstream>
#include <string>

namespace testing_support {

// Voluntary and involuntary context switches of the thread named |name|, or
// -1 when there is none.
inline long ThreadSwitches(const std::string& name) {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks)
    return -1;
  long switches = -1;
  while (dirent* task = readdir(tasks)) {
    const std::string base = std::string("/proc/self/task/") + task->d_name;
    std::string comm;
    std::getline(std::ifstream(base + "/comm"), comm);
    if (comm != name)
      continue;
    std::ifstream status(base + "/status");
    std::string line;
    switches = 0;
    while (std::getline(status, line)) {
      if (line.find("ctxt_switches:") != std::string::npos)
        switches += std::stol(line.substr(line.find(':') + 1));
    }
  }
  closedir(tasks);
  return switches;
}

}  // namespace testing_support

#endif  // TESTING_THREAD_SWITCHES_H_
