// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Shows that an idle thread of this process stays asleep: counts its context
// switches over a window in which nothing that could rightly wake it
// happened.
//
//   // Zero when the watch thread never woke by itself for 1.5 s.
//   EXPECT_EQ(0, testing_support::SwitchesWhileQuiet(
//                    "FileWatcher", "/var/tmp/x/later/mic_state",
//                    std::chrono::milliseconds(1500)));
#ifndef TESTING_THREAD_SWITCHES_H_
#define TESTING_THREAD_SWITCHES_H_

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace testing_support {

struct ThreadState {
  long switches = -1;  // Voluntary and involuntary; -1: no such thread.
  bool asleep = false;
};

inline ThreadState StateOf(const std::string& name) {
  ThreadState state;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks)
    return state;
  while (dirent* task = readdir(tasks)) {
    const std::string base = std::string("/proc/self/task/") + task->d_name;
    std::string comm;
    std::getline(std::ifstream(base + "/comm"), comm);
    if (comm != name)
      continue;
    std::ifstream status(base + "/status");
    std::string line;
    state.switches = 0;
    while (std::getline(status, line)) {
      if (line.rfind("State:", 0) == 0)
        state.asleep = line.find("S (sleeping)") != std::string::npos;
      if (line.find("ctxt_switches:") != std::string::npos)
        state.switches += std::stol(line.substr(line.find(':') + 1));
    }
  }
  closedir(tasks);
  return state;
}

// Context switches of the thread named |name|, or -1 when there is none.
inline long ThreadSwitches(const std::string& name) {
  return StateOf(name).switches;
}

// Waits until the thread named |name| has slept through |gap| without a
// switch. A thread blocked on a descriptor is woken by anything queued on
// it, so once this returns it has taken whatever was queued before the call.
// False when that did not happen within |patience|.
inline bool WaitUntilIdle(
    const std::string& name,
    std::chrono::milliseconds gap = std::chrono::milliseconds(50),
    std::chrono::seconds patience = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  ThreadState last = StateOf(name);
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(gap);
    const ThreadState now = StateOf(name);
    if (now.switches < 0)
      return false;
    if (last.asleep && now.asleep && now.switches == last.switches)
      return true;
    last = now;
  }
  return false;
}

// The switches of the thread named |name| over |window|, counted once it is
// idle. A watcher of |path| is rightly woken by any change in the folders on
// the path (its file's name or not), which other processes may make: a window
// with one is measured again, up to |attempts| times. -1 when the thread was
// never idle or no window was quiet.
inline long SwitchesWhileQuiet(const std::string& name,
                               const std::string& path,
                               std::chrono::milliseconds window,
                               int attempts = 10) {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0)
    return -1;
  constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVE | IN_MODIFY |
                             IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF |
                             IN_ONLYDIR;
  std::string folder;
  std::istringstream parts(path);
  std::string part;
  inotify_add_watch(fd, "/", kMask);
  while (std::getline(parts, part, '/')) {
    if (part.empty())
      continue;
    folder += "/" + part;
    inotify_add_watch(fd, folder.c_str(), kMask);  // Missing ones fail.
  }
  // Whether anything changed since the last call.
  auto changed = [fd] {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    while (read(fd, buffer, sizeof(buffer)) > 0)
      any = true;
    return any;
  };
  long switches = -1;
  for (int i = 0; i < attempts && switches < 0; ++i) {
    changed();
    if (!WaitUntilIdle(name))
      break;
    const long before = ThreadSwitches(name);
    std::this_thread::sleep_for(window);
    const long after = ThreadSwitches(name);
    if (!changed() && before >= 0 && after >= 0)
      switches = after - before;
  }
  close(fd);
  return switches;
}

}  // namespace testing_support

#endif  // TESTING_THREAD_SWITCHES_H_
