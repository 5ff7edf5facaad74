// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/file_watcher.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/logging.h"
#include "core/thread.h"
#include "gtest/gtest.h"
#include "testing/callback_collector.h"
#include "testing/death_test_style.h"
#include "testing/file_tree.h"
#include "testing/log_capture.h"
#include "testing/scoped_watch.h"

namespace assistant_reference {
namespace {

constexpr auto kPatience = std::chrono::seconds(10);
// The watcher's wait for a file that is written but not closed.
constexpr auto kQuietTime = std::chrono::milliseconds(100);

using Collector = testing_support::CallbackCollector;
using testing_support::ScopedWatch;

// A fresh folder per test; every watch added through Add() is removed, and
// its running callback waited for, before the collector goes.
class FileWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/file_watcher_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    Add(Path("fence"), "fence");
  }
  void TearDown() override {
    for (const std::string& path : added_)
      watcher_->RemoveWatch(path);
    watcher_->WaitForRunningCallback();
    ASSERT_TRUE(testing_support::RemoveTree(dir_));
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Add(const std::string& path, const std::string& label) {
    watcher_->AddWatch(path, collector_.Callback(label));
    added_.push_back(path);
  }
  // Made, written and closed in one go, as a writer in C would.
  static void Create(const std::string& path, const std::string& text) {
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(static_cast<ssize_t>(text.size()),
              write(fd, text.data(), text.size()));
    ASSERT_EQ(0, close(fd));
  }
  static void Write(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file) << path;
    fputs(text.c_str(), file);
    fclose(file);
  }
  // Callbacks run in event order on one thread: once the fence's has run,
  // every event before it has been handled.
  void Fence(std::chrono::seconds patience = Collector::kPatience) {
    const int seen = collector_.Count("fence");
    Write(Path("fence"), "x");
    ASSERT_TRUE(collector_.WaitFor("fence", seen + 1, patience));
  }
  bool Logged(const std::string& text) { return log_.Has(text); }

  FileWatcher* const watcher_ = FileWatcher::GetInstance();
  std::string dir_;
  Collector collector_;
  std::vector<std::string> added_;
  // Every line of every thread, still printed for a failing test's output.
  testing_support::LogCapture log_{testing_support::LogCapture::Keep::kAll,
                                   testing_support::LogCapture::Echo::kAll};
};

TEST_F(FileWatcherTest, EachChangeRunsTheCallbackOnceAndFolderEventsNever) {
  // Writes "off" through a shared mapping, which raises no event of its own.
  auto write_mapped = [](int fd) {
    void* map = mmap(nullptr, 3, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(MAP_FAILED, map);
    memcpy(map, "off", 3);
    ASSERT_EQ(0, munmap(map, 3));
  };
  using Step = std::function<void(const std::string& path)>;
  struct Row {
    const char* change;
    bool exists;  // The file holds "on" before the change.
    int runs;
    std::function<void(const std::string& path, const std::string& label)> make;
    // The file's folder below the test's, made by |prepare| or |make|.
    const char* folder = "";
    // Right before the watch is added.
    Step prepare = nullptr;
    // The file is reported once quiet, not on an event.
    bool quiet = false;
  };
  const Step make_folder = [](const std::string& path) {
    ASSERT_EQ(0, mkdir(path.substr(0, path.rfind('/')).c_str(), 0700));
  };
  const Row rows[] = {
      {"in place: open, write, close", true, 1,
       [](const std::string& path, const std::string&) { Write(path, "off"); }},
      {"in place, made by the write", false, 1,
       [](const std::string& path, const std::string&) { Write(path, "off"); }},
      {"written, kept open past its quiet run, closed", true, 1,
       [this](const std::string& path, const std::string& label) {
         const int seen = collector_.Count(label);
         const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(3, write(fd, "off", 3));
         EXPECT_TRUE(collector_.WaitFor(label, seen + 1));
         close(fd);
       }},
      {"two changes: written, quiet run, then mapped and closed", true, 2,
       [this, write_mapped](const std::string& path, const std::string& label) {
         const int seen = collector_.Count(label);
         const int fd = open(path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(3, write(fd, "on\n", 3));
         EXPECT_TRUE(collector_.WaitFor(label, seen + 1));
         write_mapped(fd);
         close(fd);
       }},
      {"replaced by a rename", true, 1,
       [](const std::string& path, const std::string&) {
         Write(path + ".tmp", "off");
         ASSERT_EQ(0, rename((path + ".tmp").c_str(), path.c_str()));
       }},
      {"renamed away", true, 1,
       [](const std::string& path, const std::string&) {
         ASSERT_EQ(0, rename(path.c_str(), (path + ".old").c_str()));
       }},
      {"deleted", true, 1,
       [](const std::string& path, const std::string&) {
         ASSERT_EQ(0, unlink(path.c_str()));
       }},
      {"a folder made and removed at its name", false, 0,
       [](const std::string& path, const std::string&) {
         ASSERT_EQ(0, mkdir(path.c_str(), 0700));
         ASSERT_EQ(0, rmdir(path.c_str()));
       }},
      {"a folder renamed to its name and away", false, 0,
       [](const std::string& path, const std::string&) {
         ASSERT_EQ(0, mkdir((path + ".dir").c_str(), 0700));
         ASSERT_EQ(0, rename((path + ".dir").c_str(), path.c_str()));
         ASSERT_EQ(0, rename(path.c_str(), (path + ".dir").c_str()));
       }},
      {"another file of the folder written", true, 0,
       [](const std::string& path, const std::string&) {
         Write(path + "_other", "off");
       }},
      {"made by open, write, close", false, 1,
       [](const std::string& path, const std::string&) {
         Create(path, "off");
       }},
      {"made in a folder made just before the watch", false, 1,
       [](const std::string& path, const std::string&) { Create(path, "off"); },
       "fresh/", make_folder},
      {"made with its folder, which is watched anew", false, 1,
       [make_folder](const std::string& path, const std::string&) {
         make_folder(path);
         Create(path, "off");
       },
       "made/", nullptr, true},
      {"made after the folder's only watch was removed and added again", false,
       1,
       [this](const std::string& path, const std::string& label) {
         watcher_->RemoveWatch(path);
         watcher_->AddWatch(path, collector_.Callback(label));
         Create(path, "off");
       },
       "alone/", make_folder},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.change);
    const std::string label = "state" + std::to_string(i);
    const std::string path = Path(row.folder + label);
    if (row.exists)
      Write(path, "on\n");
    Fence();  // Past the events of the set-up.
    const int before = collector_.Count(label);
    if (row.prepare)
      row.prepare(path);
    Add(path, label);
    Fence();  // An event older than the watch would have run it by now.
    row.make(path, label);
    if (row.quiet) {
      // Either its close or quiet reports it: wait past both.
      EXPECT_TRUE(collector_.WaitFor(label, before + row.runs));
      std::this_thread::sleep_for(3 * kQuietTime);
    }
    Fence();
    EXPECT_EQ(row.runs, collector_.Count(label) - before);
  }
  for (const std::string& thread : collector_.threads())
    EXPECT_EQ("FileWatcher", thread);
}

TEST_F(FileWatcherTest, CloseAndRenameInOneReadRunOnce) {
  // The watch thread is held inside a callback while the temporary file's
  // close and the rename queue up, so that one read returns both.
  std::mutex mutex;
  std::condition_variable cv;
  bool held = false;
  bool release = false;
  ScopedWatch gate(Path("gate"), [&] {
    std::unique_lock<std::mutex> lock(mutex);
    held = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  });
  Add(Path("mic_state"), "mic");

  Write(Path("gate"), "x");
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, kPatience, [&] { return held; }));
  }
  Write(Path("mic_state.tmp"), "off");
  ASSERT_EQ(0,
            rename(Path("mic_state.tmp").c_str(), Path("mic_state").c_str()));
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  cv.notify_all();
  Fence();
  EXPECT_EQ(1, collector_.Count("mic"));
}

TEST_F(FileWatcherTest, FilesOfOneFolderHaveTheirOwnCallbacksInEventOrder) {
  Add(Path("a"), "a");
  Add(Path("b"), "b");
  Write(Path("b"), "1");
  Write(Path("a"), "1");
  Write(Path("b"), "2");
  Fence();
  EXPECT_EQ((std::vector<std::string>{"b", "a", "b", "fence"}),
            collector_.runs());
}

TEST_F(FileWatcherTest, RemoveWatchStopsCallbacksOverRepeatedCycles) {
  // Every cycle leaves the folder without callbacks, so each add gets a new
  // watch descriptor; every removal must still reach the live callback.
  for (int cycle = 0; cycle < 3; ++cycle) {
    const std::string label = "cycle" + std::to_string(cycle);
    watcher_->RemoveWatch(Path("fence"));
    watcher_->AddWatch(Path("mic_state"), collector_.Callback(label));
    watcher_->RemoveWatch(Path("mic_state"));
    watcher_->AddWatch(Path("fence"), collector_.Callback("fence"));
    Write(Path("mic_state"), "off");
    Fence();
    EXPECT_EQ(0, collector_.Count(label));
  }
  EXPECT_TRUE(Logged("Removing callback for: mic_state"));
  watcher_->RemoveWatch(Path("never_added"));  // Nothing happens.
  EXPECT_FALSE(Logged("never_added"));
}

TEST_F(FileWatcherTest, MissingFoldersDoNotCollideAndAreFollowedWhenMade) {
  // Two missing folders holding the same file name.
  Add(Path("one/mic_state"), "one");
  Add(Path("two/mic_state"), "two");
  // A file written together with its folder, before the watch can exist.
  ASSERT_EQ(0, mkdir(Path("one").c_str(), 0700));
  Write(Path("one/mic_state"), "off");
  ASSERT_TRUE(collector_.WaitFor("one"));
  Write(Path("one/mic_state"), "on");
  ASSERT_TRUE(collector_.WaitFor("one", 2));
  Fence();
  EXPECT_EQ(0, collector_.Count("two"));

  // The watched folder deleted and made again is followed again.
  ASSERT_TRUE(testing_support::RemoveTree(Path("one")));
  Fence();  // Past the deletion's own callback.
  const int before = collector_.Count("one");
  ASSERT_EQ(0, mkdir(Path("one").c_str(), 0700));
  Write(Path("one/mic_state"), "off");
  EXPECT_TRUE(collector_.WaitFor("one", before + 1));
}

TEST_F(FileWatcherTest, WaitForRunningCallbackWaitsForIt) {
  std::mutex mutex;
  std::condition_variable cv;
  bool entered = false;
  bool release = false;
  bool finished = false;
  watcher_->AddWatch(Path("slow"), [&] {
    std::unique_lock<std::mutex> lock(mutex);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    finished = true;
  });
  Write(Path("slow"), "x");
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, kPatience, [&] { return entered; }));
  }
  bool waited = false;
  bool saw_finished = false;
  std::thread owner([&] {
    watcher_->RemoveWatch(Path("slow"));
    watcher_->WaitForRunningCallback();
    std::lock_guard<std::mutex> lock(mutex);
    saw_finished = finished;
    waited = true;
    cv.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_FALSE(cv.wait_for(lock, std::chrono::milliseconds(200),
                             [&] { return waited; }));
    release = true;
  }
  cv.notify_all();
  owner.join();
  EXPECT_TRUE(saw_finished);
}

// Events that never pause must not hold the watch thread in reading:
// callbacks, and other threads' watch changes, go on meanwhile.
TEST_F(FileWatcherTest, CallbacksRunWhileEventsNeverPause) {
  constexpr std::chrono::seconds kFloodPatience{60};
  Add(Path("canary"), "canary");  // Never written.
  // Many paths make each event slow to match, and renames are cheap to
  // make: the renamers outpace the reading.
  for (int i = 0; i < 1000; ++i)
    Add(Path("quiet" + std::to_string(i)), "quiet");
  std::atomic<bool> stop{false};
  std::vector<std::thread> renamers;
  for (int i = 0; i < 2; ++i) {
    const std::string name = Path("renamed" + std::to_string(i));
    Write(name, "x");
    renamers.emplace_back([&stop, name] {
      while (!stop) {
        rename(name.c_str(), (name + ".tmp").c_str());
        rename((name + ".tmp").c_str(), name.c_str());
      }
    });
  }
  struct Joiner {
    std::atomic<bool>& stop;
    std::vector<std::thread>& threads;
    void Join() {
      stop = true;
      for (std::thread& thread : threads) {
        if (thread.joinable())
          thread.join();
      }
    }
    ~Joiner() { Join(); }
  } joiner{stop, renamers};
  for (int round = 0; round < 3; ++round) {
    // Every pass here matches a thousand paths, slow under sanitizers;
    // before, the callback never came.
    Fence(kFloodPatience);
    const std::string late = Path("late" + std::to_string(round));
    watcher_->AddWatch(late, collector_.Callback("late"));
    watcher_->RemoveWatch(late);
  }
  // What is still queued, and every overflow's run of every callback, stay
  // with this test: a fence reached by an overflow's run may have events
  // behind it, another overflow among them. The canary runs only for
  // overflows, so a fence passed without it was reached by its own write.
  joiner.Join();
  for (;;) {
    const int overflows = collector_.Count("canary");
    Fence(kFloodPatience);
    if (HasFatalFailure())
      return;
    watcher_->WaitForRunningCallback();  // The rest of the fence's batch.
    if (collector_.Count("canary") == overflows)
      break;
  }
  // The queue overflows over and over; the log hears of it once a minute.
  EXPECT_GE(1, log_.Count("queue overflowed"));
}

std::atomic<bool> g_signalled{false};
void NoteSignal(int) {
  g_signalled = true;
}

TEST_F(FileWatcherTest, SignalDuringPollDoesNotEndWatching) {
  std::mutex mutex;
  std::condition_variable cv;
  pthread_t watch_thread;  // Guarded by |mutex|.
  bool known = false;      // Guarded by |mutex|.
  pthread_t target;
  ScopedWatch who(Path("who"), [&] {
    std::lock_guard<std::mutex> lock(mutex);
    watch_thread = pthread_self();
    known = true;
    cv.notify_all();
  });
  Add(Path("mic_state"), "mic");
  Write(Path("who"), "x");
  {
    // Waited for itself: any run of the fence, after an overflow for one,
    // may come before it.
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, kPatience, [&] { return known; }));
    target = watch_thread;
  }

  // Left installed: restoring the default could race with the delivery.
  struct sigaction action = {};
  action.sa_handler = &NoteSignal;
  ASSERT_EQ(0, sigaction(SIGUSR1, &action, nullptr));
  ASSERT_EQ(0, pthread_kill(target, SIGUSR1));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!g_signalled && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(g_signalled);
  Write(Path("mic_state"), "off");
  EXPECT_TRUE(collector_.WaitFor("mic"));
}

// A forked child of a process with a watch thread could inherit a held
// lock, so children start afresh where they can.
constexpr bool kFreshDeathTests = testing_support::kFreshDeathTestProcesses;

// No temporary folder: a threadsafe child repeats the set-up and dies
// before it could tear it down.
class FileWatcherDeathTest : public ::testing::Test {
 protected:
  FileWatcherDeathTest() { testing_support::UseFreshDeathTestProcesses(); }

  FileWatcher* const watcher_ = FileWatcher::GetInstance();
};

TEST_F(FileWatcherDeathTest, PathWithoutSlashIsFatal) {
  EXPECT_DEATH(watcher_->AddWatch("mic_state", [] {}),
               "Failed: SplitPath\\(path, &directory, &filename\\) ");
  EXPECT_DEATH(watcher_->RemoveWatch("mic_state"),
               "Failed: SplitPath\\(path, &directory, &filename\\) ");
}

TEST_F(FileWatcherDeathTest, SamePathTwiceIsFatal) {
  // A forked child would take the watcher's lock, which the parent's watch
  // thread may hold at the fork (it wakes for folders not there yet).
  if (!kFreshDeathTests)
    GTEST_SKIP() << "needs a death-test child started afresh";
  for (const std::string path :
       {"/tmp/file_watcher_death_test", "/missing/file_watcher_death_test"}) {
    EXPECT_DEATH(
        {
          watcher_->AddWatch(path, [] {});
          watcher_->AddWatch(path, [] {});
        },
        "path: '" + path + "' previously added\\.");
  }
}

// Leaves no descriptor to open: every new one would be past the limit.
void UseUpDescriptors() {
  int lowest = open("/dev/null", O_RDONLY);
  close(lowest);
  struct rlimit limit = {static_cast<rlim_t>(lowest),
                         static_cast<rlim_t>(lowest)};
  setrlimit(RLIMIT_NOFILE, &limit);
}

// Without an inotify instance to have (a descriptor or instance limit), the
// watcher says why and watches nothing; the process goes on.
TEST(FileWatcherInitDeathTest, NoInotifyIsLoggedWithTheReasonAndNotFatal) {
  if (!kFreshDeathTests)
    GTEST_SKIP() << "needs a process without the watcher";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // UBSan checks each type once, through a pipe of its own: check
        // those of the way to the message while descriptors are left.
        core::Thread("TypeChecked").Join();
        LOG(INFO) << "Type checked";
        UseUpDescriptors();
        FileWatcher* watcher = FileWatcher::GetInstance();
        watcher->AddWatch("/tmp/file_watcher_death_test", [] { abort(); });
        watcher->WaitForRunningCallback();
        watcher->RemoveWatch("/tmp/file_watcher_death_test");
        // Without exit handlers: they would need descriptors too.
        _exit(0);
      },
      ::testing::ExitedWithCode(0),
      "There was an error initializing inotify\\. Too many open files \\(the "
      "limit fs\\.inotify\\.max_user_instances");
}

}  // namespace
}  // namespace assistant_reference
