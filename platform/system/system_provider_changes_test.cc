// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the host hears when the state file, its folder or the links on the
// way change in every way a writer or an administrator may change them: the
// last state reported must always be what the file says, and nothing is
// reported when nothing changed.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/system/system_provider_impl.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_watcher.h"
#include "testing/file_tree.h"
#include "testing/scoped_watch.h"
#include "testing/thread_switches.h"

namespace assistant_reference {
namespace {

constexpr auto kPatience = std::chrono::seconds(10);

// A provider as the host uses it: each notification reads the state.
class Listener {
 public:
  explicit Listener(const std::string& path)
      : provider_(std::make_unique<SystemProviderImpl>(
            "{\"platform_config\": {\"mic_state_path\": \"" + path + "\"}}")) {
    SystemProviderImpl* provider = provider_.get();
    provider_->RegisterMicMuteChangeCallback(
        assistant_client::Callback<true>([this, provider] {
          const int state = provider->GetMicMuteState();
          std::lock_guard<std::mutex> lock(mutex_);
          heard_.push_back(state);
          changed_.notify_all();
        }));
  }

  // Waits until the last state heard is |state|.
  bool Hears(int state) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] {
      return !heard_.empty() && heard_.back() == state;
    });
  }
  std::vector<int> heard() {
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
  }
  SystemProviderImpl* provider() { return provider_.get(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> heard_;  // Guarded by |mutex_|.
  std::unique_ptr<SystemProviderImpl> provider_;
};

class SystemProviderChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/system_provider_changes_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    FileWatcher::GetInstance()->AddWatch(Path("fence"), [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++fences_;
      fenced_.notify_all();
    });
  }
  void TearDown() override {
    FileWatcher::GetInstance()->RemoveWatch(Path("fence"));
    FileWatcher::GetInstance()->WaitForRunningCallback();
    ASSERT_TRUE(testing_support::RemoveTree(dir_));
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  // Notifications run in event order on one thread: once the fence's has
  // run, every change before it has been handled.
  void Fence() {
    std::unique_lock<std::mutex> lock(mutex_);
    const int seen = fences_;
    lock.unlock();
    Put(Path("fence"), "x");
    lock.lock();
    ASSERT_TRUE(
        fenced_.wait_for(lock, kPatience, [&] { return fences_ > seen; }));
  }

  std::string dir_;
  std::mutex mutex_;
  std::condition_variable fenced_;
  int fences_ = 0;  // Guarded by |mutex_|.
};

TEST_F(SystemProviderChangesTest, FolderRenamedAwayAndMadeAgainIsFollowed) {
  ASSERT_TRUE(WriteFile(Path("state/mic_state"), "on\n"));
  Listener listener(Path("state/mic_state"));
  ASSERT_EQ(0, rename(Path("state").c_str(), Path("state.old").c_str()));
  ASSERT_EQ(0, mkdir(Path("state").c_str(), 0700));
  ASSERT_TRUE(WriteFile(Path("state/mic_state"), "off\n"));
  EXPECT_TRUE(listener.Hears(1));
  // The old folder, wherever it went, is no longer the state.
  ASSERT_TRUE(WriteFile(Path("state.old/mic_state"), "on\n"));
  ASSERT_TRUE(WriteFile(Path("state/mic_state"), "on\n"));
  EXPECT_TRUE(listener.Hears(0));
  ASSERT_TRUE(WriteFile(Path("state/mic_state"), "off\n"));
  EXPECT_TRUE(listener.Hears(1));
}

TEST_F(SystemProviderChangesTest, LinkedFolderPointedElsewhereIsFollowed) {
  ASSERT_TRUE(WriteFile(Path("one/mic_state"), "on\n"));
  ASSERT_TRUE(WriteFile(Path("two/mic_state"), "off\n"));
  ASSERT_EQ(0, symlink(Path("one").c_str(), Path("state").c_str()));
  Listener listener(Path("state/mic_state"));
  EXPECT_EQ(0, listener.provider()->GetMicMuteState());

  // As "ln -sfn two state" does it: a new link renamed over the old one.
  ASSERT_EQ(0, symlink("two", Path("state.new").c_str()));
  ASSERT_EQ(0, rename(Path("state.new").c_str(), Path("state").c_str()));
  EXPECT_TRUE(listener.Hears(1));
  // Only the folder the link now names counts.
  ASSERT_TRUE(WriteFile(Path("one/mic_state"), "off\n"));
  ASSERT_TRUE(WriteFile(Path("two/mic_state"), "on\n"));
  EXPECT_TRUE(listener.Hears(0));
  // And replaced by removing it and linking anew.
  ASSERT_EQ(0, unlink(Path("state").c_str()));
  ASSERT_EQ(0, symlink(Path("one").c_str(), Path("state").c_str()));
  EXPECT_TRUE(listener.Hears(1));
}

TEST_F(SystemProviderChangesTest, WritesThroughLinksAndNewLinksAreHeard) {
  ASSERT_TRUE(WriteFile(Path("real/target"), "on\n"));
  ASSERT_EQ(0, symlink(Path("real/target").c_str(), Path("mic_state").c_str()));
  Listener through(Path("mic_state"));
  Put(Path("real/target"), "off\n");  // In place, through the link.
  EXPECT_TRUE(through.Hears(1));

  // A symbolic link and a hard link made where no file was.
  Put(Path("muted"), "off\n");
  Listener soft(Path("soft/mic_state"));
  Listener hard(Path("hard/mic_state"));
  ASSERT_EQ(0, mkdir(Path("soft").c_str(), 0700));
  ASSERT_EQ(0, mkdir(Path("hard").c_str(), 0700));
  ASSERT_EQ(0, symlink("../muted", Path("soft/mic_state").c_str()));
  ASSERT_EQ(0, link(Path("muted").c_str(), Path("hard/mic_state").c_str()));
  EXPECT_TRUE(soft.Hears(1));
  EXPECT_TRUE(hard.Hears(1));
}

TEST_F(SystemProviderChangesTest, MutedFileRenamedAwayUnmutes) {
  ASSERT_TRUE(WriteFile(Path("mic_state"), "off\n"));
  Listener listener(Path("mic_state"));
  EXPECT_EQ(1, listener.provider()->GetMicMuteState());
  ASSERT_EQ(0, rename(Path("mic_state").c_str(), Path("kept").c_str()));
  EXPECT_TRUE(listener.Hears(0));
}

TEST_F(SystemProviderChangesTest, WriterThatKeepsTheFileOpenIsHeard) {
  Listener listener(Path("mic_state"));
  const int fd = open(Path("mic_state").c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(4, write(fd, "off\n", 4));
  EXPECT_TRUE(listener.Hears(1));
  // Truncated and rewritten with the same word, still open: no news.
  ASSERT_EQ(0, ftruncate(fd, 0));
  ASSERT_EQ(4, pwrite(fd, "off\n", 4, 0));
  close(fd);
  Fence();
  EXPECT_EQ((std::vector<int>{1}), listener.heard());
}

int MaxQueuedEvents() {
  int max = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> max;
  return max;
}

TEST_F(SystemProviderChangesTest, QueueOverflowReadsEveryStateAgain) {
  Listener listener(Path("mic_state"));
  // The watch thread is held inside a callback while the queue overflows,
  // so that the change below is among the events the kernel drops.
  std::mutex mutex;
  std::condition_variable cv;
  bool held = false, release = false;
  testing_support::ScopedWatch gate(Path("gate"), [&] {
    std::unique_lock<std::mutex> lock(mutex);
    held = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  });
  Put(Path("gate"), "x");
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, kPatience, [&] { return held; }));
  }
  // Each file makes two events: its creation and its close.
  const int files = MaxQueuedEvents() / 2 + 1000;
  for (int i = 0; i < files; ++i) {
    const int fd = open(Path("other" + std::to_string(i)).c_str(),
                        O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  ASSERT_TRUE(WriteFile(Path("mic_state"), "off\n"));
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  cv.notify_all();
  EXPECT_TRUE(listener.Hears(1));
}

TEST_F(SystemProviderChangesTest, SpellingsOfOneFileEachHearItsChanges) {
  ASSERT_TRUE(WriteFile(Path("dir/mic_state"), "on\n"));
  ASSERT_EQ(0, symlink("dir", Path("link").c_str()));
  // Each of these ended the process as a second registration before.
  Listener plain(Path("dir/mic_state"));
  Listener doubled(dir_ + "//dir//mic_state");
  Listener dotted(Path("dir/./mic_state"));
  Listener linked(Path("link/mic_state"));
  ASSERT_TRUE(WriteFile(Path("dir/mic_state"), "off\n"));
  for (Listener* listener : {&plain, &doubled, &dotted, &linked})
    EXPECT_TRUE(listener->Hears(1));
  Fence();
  for (Listener* listener : {&plain, &doubled, &dotted, &linked})
    EXPECT_EQ((std::vector<int>{1}), listener->heard());
}

TEST_F(SystemProviderChangesTest, MissingFoldersAreFollowedHoweverTheyAppear) {
  // Several levels at once.
  Listener deep(Path("a/b/c/mic_state"));
  ASSERT_TRUE(WriteFile(Path("a/b/c/mic_state"), "off\n"));
  EXPECT_TRUE(deep.Hears(1));

  // A whole tree made elsewhere and renamed into place.
  Listener moved(Path("x/y/mic_state"));
  ASSERT_TRUE(WriteFile(Path("staging/y/mic_state"), "off\n"));
  ASSERT_EQ(0, rename(Path("staging").c_str(), Path("x").c_str()));
  EXPECT_TRUE(moved.Hears(1));
}

TEST_F(SystemProviderChangesTest, NoWakeUpWhileTheFolderIsMissing) {
  // Every folder on the path is watched, and a change in any of them rightly
  // wakes the thread: the count is taken where they are rare (/tmp is busy
  // with other tests), and again when one came.
  char pattern[] = "/var/tmp/system_provider_wakeups.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string quiet = pattern;
  FileWatcher::GetInstance()->RemoveWatch(Path("fence"));
  {
    Listener listener(quiet + "/later/mic_state");
    // Longer than any retry interval a poller would choose.
    EXPECT_EQ(0, testing_support::SwitchesWhileQuiet(
                     "FileWatcher", quiet + "/later/mic_state",
                     std::chrono::milliseconds(1500)));
    ASSERT_TRUE(WriteFile(quiet + "/later/mic_state", "off\n"));
    EXPECT_TRUE(listener.Hears(1));
  }
  ASSERT_TRUE(testing_support::RemoveTree(quiet));
}

}  // namespace
}  // namespace assistant_reference
