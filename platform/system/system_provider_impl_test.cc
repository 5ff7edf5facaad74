// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/system/system_provider_impl.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_watcher.h"
#include "testing/event_log.h"
#include "testing/file_tree.h"

namespace assistant_reference {
namespace {

constexpr auto kPatience = std::chrono::seconds(10);

std::string ConfigFor(const std::string& path) {
  return "{\"platform_config\": {\"mic_state_path\": \"" + path + "\"}}";
}

// Records runs of the provider's change callbacks (repeatable Callbacks)
// and of plain watcher callbacks.
class Collector : public testing_support::EventLog {
 public:
  assistant_client::Callback<true> Callback(const std::string& label) {
    return assistant_client::Callback<true>(EventLog::Callback(label));
  }
  std::function<void()> Plain(const std::string& label) {
    return EventLog::Callback(label);
  }
};

class SystemProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/system_provider_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    state_ = dir_ + "/mic_state";
    FileWatcher::GetInstance()->AddWatch(Path("fence"),
                                         collector_.Plain("fence"));
  }
  void TearDown() override {
    FileWatcher::GetInstance()->RemoveWatch(Path("fence"));
    FileWatcher::GetInstance()->WaitForRunningCallback();
    ASSERT_TRUE(testing_support::RemoveTree(dir_));
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static void WriteInPlace(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file) << path;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
  }
  // Notifications run in event order on the watch thread: once the fence's
  // callback has run, every earlier change has been handled.
  void Fence() {
    const int seen = collector_.Count("fence");
    WriteInPlace(Path("fence"), "x");
    ASSERT_TRUE(collector_.WaitFor("fence", seen + 1));
  }

  std::string dir_;
  std::string state_;
  Collector collector_;
};

TEST_F(SystemProviderTest, ReadsOnlyTrimmedOffAsMuted) {
  SystemProviderImpl provider(ConfigFor(state_));
  EXPECT_EQ(state_, provider.mic_state_path());
  EXPECT_EQ(0, provider.GetMicMuteState());  // No file.
  const struct {
    std::string text;
    int muted;
  } cases[] = {
      {"off", 1},
      {"\t off\n", 1},
      {"OFF", 0},
      {"on", 0},
      {"", 0},
      {"off off", 0},
      {std::string("off\0", 4), 0},
      {std::string("\xff\xfe\x00o\x01", 5), 0},
      {"off" + std::string(8192, ' '), 0},  // Too large to be one word.
      {std::string(4 << 20, 'x'), 0},
  };
  for (const auto& c : cases) {
    WriteInPlace(state_, c.text);
    EXPECT_EQ(c.muted, provider.GetMicMuteState())
        << "text of " << c.text.size() << " bytes: " << c.text.substr(0, 16);
  }
  // A folder in its place reads as not muted too.
  ASSERT_EQ(0, unlink(state_.c_str()));
  ASSERT_EQ(0, mkdir(state_.c_str(), 0700));
  EXPECT_EQ(0, provider.GetMicMuteState());
}

// A state file dated past January 2038 (a clock set wrong, or 2038 itself)
// is still a file: "off" reads muted, and what replaces it is read too.
TEST_F(SystemProviderTest, AStateFileDatedPast2038IsRead) {
  SystemProviderImpl provider(ConfigFor(state_));
  ASSERT_TRUE(WriteFile(state_, "off\n"));
  // 2040-03-01 00:00:00 UTC, with this build's time_t (64-bit on every
  // target of ours).
  static_assert(sizeof(time_t) == 8, "a device build's time_t");
  const timespec in_2040[2] = {{2214259200, 0}, {2214259200, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, state_.c_str(), in_2040, 0));
  EXPECT_EQ(1, provider.GetMicMuteState());
  ASSERT_TRUE(WriteFile(state_, "on\n"));
  ASSERT_EQ(0, utimensat(AT_FDCWD, state_.c_str(), in_2040, 0));
  EXPECT_EQ(0, provider.GetMicMuteState());
}

TEST_F(SystemProviderTest, DefaultPathIsUnderTheAssistantRoot) {
  const char* old = getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  const std::string expected = dir_ + "/vantor-data/assistant/mic_state";
  ASSERT_TRUE(WriteFile(expected, "off\n"));
  {
    SystemProviderImpl provider("{}");
    EXPECT_EQ(expected, provider.mic_state_path());
    EXPECT_EQ(1, provider.GetMicMuteState());
  }
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SystemProviderTest, ChangesCallEveryCallbackInOrderOnWatchThread) {
  WriteInPlace(state_, "on");
  SystemProviderImpl provider(ConfigFor(state_));
  provider.RegisterMicMuteChangeCallback(collector_.Callback("first"));
  provider.RegisterMicMuteChangeCallback(collector_.Callback("second"));

  WriteInPlace(state_, "off");  // In place: fires on close.
  ASSERT_TRUE(collector_.WaitFor("second", 1));
  EXPECT_EQ(1, provider.GetMicMuteState());
  ASSERT_TRUE(WriteFile(state_, "off\n"));  // Same word: nobody.
  Fence();
  EXPECT_EQ((std::vector<std::string>{"first", "second", "fence"}),
            collector_.entries());
  for (const std::string& thread : collector_.threads())
    EXPECT_EQ("FileWatcher", thread);

  ASSERT_TRUE(WriteFile(state_, "on"));  // Atomic replace: one call each.
  Fence();
  EXPECT_EQ(2, collector_.Count("first"));
  EXPECT_EQ(2, collector_.Count("second"));
}

// Another writer flips the file back and forth while the listener reads it
// in its callback: the listener reads "on" although "off" was notified, and
// must be told again once the file settles on "off".
TEST_F(SystemProviderTest, ListenerThatReadAnotherStateIsToldAgain) {
  WriteInPlace(state_, "on");
  SystemProviderImpl provider(ConfigFor(state_));
  std::atomic<int> last_read{-1};
  std::atomic<bool> flipped{false};
  provider.RegisterMicMuteChangeCallback([&] {
    if (!flipped.exchange(true)) {
      WriteInPlace(state_, "on");
      last_read = provider.GetMicMuteState();
      WriteInPlace(state_, "off");
    } else {
      last_read = provider.GetMicMuteState();
    }
  });
  provider.RegisterMicMuteChangeCallback(collector_.Callback("changed"));
  WriteInPlace(state_, "off");
  // The flips' events are queued before the fence's.
  ASSERT_TRUE(collector_.WaitFor("changed", 1));
  Fence();
  EXPECT_EQ(1, provider.GetMicMuteState());
  EXPECT_EQ(1, last_read);
  EXPECT_EQ(2, collector_.Count("changed"));
}

TEST_F(SystemProviderTest, DeletingTheFileWhileMutedUnmutes) {
  WriteInPlace(state_, "off");
  SystemProviderImpl provider(ConfigFor(state_));
  provider.RegisterMicMuteChangeCallback(collector_.Callback("changed"));
  ASSERT_EQ(0, unlink(state_.c_str()));
  ASSERT_TRUE(collector_.WaitFor("changed", 1));
  EXPECT_EQ(0, provider.GetMicMuteState());
}

TEST_F(SystemProviderTest, ProcessTpmEchoesAtOnceAndTimezoneIsIgnored) {
  SystemProviderImpl provider(ConfigFor(state_));
  std::string echoed;
  provider.ProcessTpm(assistant_client::SystemProvider::kDecrypt, "abc",
                      [&](std::string data) { echoed = data; });
  EXPECT_EQ("abc", echoed);
  provider.UpdateTimezoneAndLocale("Europe/Berlin", "de-DE");
  EXPECT_EQ(nullptr, provider.GetPowerManagerProvider());
  assistant_client::SystemProvider::BatteryState state;
  EXPECT_FALSE(provider.GetBatteryState(&state));
}

TEST_F(SystemProviderTest, TwoProvidersOnOneFileBothWork) {
  auto first = std::make_unique<SystemProviderImpl>(ConfigFor(state_));
  SystemProviderImpl second(ConfigFor(state_));
  first->RegisterMicMuteChangeCallback(collector_.Callback("first"));
  second.RegisterMicMuteChangeCallback(collector_.Callback("second"));
  WriteInPlace(state_, "off");
  ASSERT_TRUE(collector_.WaitFor("first", 1));
  ASSERT_TRUE(collector_.WaitFor("second", 1));

  first.reset();  // The shared watch stays for the other one.
  WriteInPlace(state_, "on");
  ASSERT_TRUE(collector_.WaitFor("second", 2));
  Fence();
  EXPECT_EQ(1, collector_.Count("first"));
}

TEST_F(SystemProviderTest, BareFileNameIsReadAndWatchedInWorkingFolder) {
  char* cwd = getcwd(nullptr, 0);
  ASSERT_NE(nullptr, cwd);
  ASSERT_EQ(0, chdir(dir_.c_str()));
  {
    SystemProviderImpl provider(ConfigFor("bare_mic_state"));
    provider.RegisterMicMuteChangeCallback(collector_.Callback("changed"));
    WriteInPlace(state_ + "_unrelated", "off");
    WriteInPlace(Path("bare_mic_state"), "off");
    EXPECT_TRUE(collector_.WaitFor("changed", 1));
    EXPECT_EQ(1, provider.GetMicMuteState());
  }
  ASSERT_EQ(0, chdir(cwd));
  free(cwd);
}

TEST_F(SystemProviderTest, MissingFolderStillReadsAndIsFollowedOnceMade) {
  const std::string later = Path("later/mic_state");
  SystemProviderImpl provider(ConfigFor(later));
  provider.RegisterMicMuteChangeCallback(collector_.Callback("changed"));
  EXPECT_EQ(0, provider.GetMicMuteState());
  ASSERT_TRUE(WriteFile(later, "off"));  // Makes the folder.
  EXPECT_EQ(1, provider.GetMicMuteState());
  ASSERT_TRUE(collector_.WaitFor("changed", 1));
}

TEST_F(SystemProviderTest, CallbackMayDestroyItsOwnProvider) {
  auto doomed = std::make_unique<SystemProviderImpl>(ConfigFor(state_));
  SystemProviderImpl survivor(ConfigFor(state_));
  doomed->RegisterMicMuteChangeCallback([&] { doomed.reset(); });
  survivor.RegisterMicMuteChangeCallback(collector_.Callback("survivor"));
  WriteInPlace(state_, "off");
  ASSERT_TRUE(collector_.WaitFor("survivor", 1));
  EXPECT_EQ(nullptr, doomed);
}

// Providers come and go while the state flips as fast as it can be
// written; a notification must never reach one that is gone. ASan sees a
// late call as a use of freed memory, TSan as a race.
TEST_F(SystemProviderTest, DestroyingWhileChangesStreamInIsSafe) {
  SystemProviderImpl keeper(ConfigFor(state_));
  keeper.RegisterMicMuteChangeCallback(collector_.Callback("keeper"));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i)
      WriteInPlace(state_, i % 2 ? "off" : "on");
  });

  std::atomic<bool> gone{false};
  for (int round = 0; round < 100; ++round) {
    struct Sink {
      std::mutex mutex;
      std::condition_variable called;
      int runs = 0;
    };
    auto* sink = new Sink;
    auto provider = std::make_unique<SystemProviderImpl>(ConfigFor(state_));
    gone = false;
    provider->RegisterMicMuteChangeCallback([sink, &gone] {
      EXPECT_FALSE(gone);
      std::lock_guard<std::mutex> lock(sink->mutex);
      ++sink->runs;
      sink->called.notify_all();
    });
    {
      std::unique_lock<std::mutex> lock(sink->mutex);
      ASSERT_TRUE(sink->called.wait_for(lock, kPatience,
                                        [&] { return sink->runs > 0; }));
    }
    // Jitter, so that destruction meets the watch thread in every phase of
    // a notification rather than just after a callback.
    std::this_thread::sleep_for(std::chrono::microseconds(round * 37 % 500));
    provider.reset();
    gone = true;
    delete sink;
  }
  stop = true;
  writer.join();

  Fence();  // The last change handled read the last word written.
  const int before = collector_.Count("keeper");
  WriteInPlace(state_, keeper.GetMicMuteState() ? "on" : "off");
  EXPECT_TRUE(collector_.WaitFor("keeper", before + 1));
}

}  // namespace
}  // namespace assistant_reference
