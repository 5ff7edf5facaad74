// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The microphone state flips 10,000 times by atomic replacement while other
// threads create and destroy providers on the same file, each through the C
// structures as the host holds them. No notification may reach a provider
// that is gone (ASan: use after free; here also a flag), and once the last
// write has been handled the listener must have read the file's final word.
#include <stdlib.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/logging.h"
#include "gtest/gtest.h"
#include "platform/system/system_provider_impl.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_watcher.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/file_tree.h"
#include "testing/log_capture.h"

namespace assistant_reference {
namespace {

using assistant_client::SystemProvider;
using assistant_client::internal_api::SystemProviderFromC;
using assistant_client::internal_api::SystemProviderToC;

constexpr int kToggles = 10000;
constexpr int kChurnThreads = 2;
// Per churn thread; the churn also ends with the toggles.
constexpr int kMaxProvidersPerThread = 3000;
constexpr auto kPatience = std::chrono::seconds(20);

std::string ConfigFor(const std::string& path) {
  return "{\"platform_config\": {\"mic_state_path\": \"" + path + "\"}}";
}

// A provider as the host holds one: the plug-in's structure, owned, behind
// the bridge's interface wrapper.
std::unique_ptr<SystemProvider> NewProvider(const std::string& config) {
  return std::unique_ptr<SystemProvider>(SystemProviderFromC(
      SystemProviderToC(new SystemProviderImpl(config), /*owned=*/true,
                        assistant_client::internal_api::kApiVersion)));
}

// Runs once per change of a file in the folder; events are handled in order,
// so once its callback ran, every earlier change has been handled too.
class Fence {
 public:
  explicit Fence(const std::string& path) : path_(path) {
    FileWatcher::GetInstance()->AddWatch(path_, [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++passed_;
      changed_.notify_all();
    });
  }
  ~Fence() {
    FileWatcher::GetInstance()->RemoveWatch(path_);
    FileWatcher::GetInstance()->WaitForRunningCallback();
  }

  bool Pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    const int target = passed_ + 1;
    lock.unlock();
    if (!WriteFile(path_, std::to_string(target)))
      return false;
    lock.lock();
    return changed_.wait_for(lock, kPatience,
                             [&] { return passed_ >= target; });
  }

 private:
  const std::string path_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int passed_ = 0;
};

// What the long-lived listener learnt, as a listener learns it: by asking
// its provider in the callback.
struct Listener {
  std::atomic<int> calls{0};
  std::atomic<int> last_read{-1};
  std::atomic<int> wrong_thread{0};
};

class SystemProviderStressTest : public testing::Test {
 protected:
  void SetUp() override {
    // Every destroyed provider logs its removed watch: thousands of lines.
    // Made before the watch thread starts and kept for the process, which
    // that thread outlives the tests in.
    static auto* quiet = new testing_support::LogCapture(
        testing_support::LogCapture::Keep::kNone,
        testing_support::LogCapture::Echo::kWarnings);
    (void)quiet;
    // On tmpfs, as state files on a device are: on a disk every fsync of
    // WriteFile costs milliseconds.
    std::string pattern =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
        "/system_provider_stress_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(&pattern[0]));
    dir_ = pattern;
    fence_ = std::make_unique<Fence>(dir_ + "/fence");
  }
  void TearDown() override {
    fence_.reset();  // Its watch goes before its folder.
    ASSERT_TRUE(testing_support::RemoveTree(dir_));
  }

  std::string dir_;
  std::unique_ptr<Fence> fence_;
};

TEST_F(SystemProviderStressTest, MuteTogglesWhileProvidersComeAndGo) {
  const std::string state = dir_ + "/mic_state";
  const std::string config = ConfigFor(state);
  ASSERT_TRUE(WriteFile(state, "on"));
  Listener listener;
  std::unique_ptr<SystemProvider> observer = NewProvider(config);
  SystemProvider* const observed = observer.get();
  observer->RegisterMicMuteChangeCallback([&listener, observed] {
    char name[16] = {};
    prctl(PR_GET_NAME, name);
    if (std::string(name) != "FileWatcher")
      ++listener.wrong_thread;
    listener.last_read = observed->GetMicMuteState();
    ++listener.calls;
  });

  std::atomic<bool> writing{true};
  std::atomic<int> late_calls{0};
  std::atomic<int> created{0};
  std::atomic<int> churn_calls{0};
  std::vector<std::thread> churn;
  for (int t = 0; t < kChurnThreads; ++t) {
    churn.emplace_back([&, t] {
      for (int i = 0; writing && i < kMaxProvidersPerThread; ++i) {
        // Outlives the provider: a late call finds it marked, not freed.
        auto gone = std::make_shared<std::atomic<bool>>(false);
        std::unique_ptr<SystemProvider> provider = NewProvider(config);
        ++created;
        provider->RegisterMicMuteChangeCallback(
            [gone, &late_calls, &churn_calls] {
              if (*gone)
                ++late_calls;
              ++churn_calls;
            });
        // Destruction meets the watch thread in every phase of a
        // notification, not only right after one.
        std::this_thread::sleep_for(
            std::chrono::microseconds((i * 37 + t * 101) % 400));
        provider.reset();
        *gone = true;
      }
    });
  }

  const auto start = std::chrono::steady_clock::now();
  int write_failures = 0;
  for (int i = 1; i <= kToggles; ++i)
    write_failures += !WriteFile(state, i % 2 ? "off" : "on");
  const auto written = std::chrono::steady_clock::now();
  writing = false;
  for (std::thread& thread : churn)
    thread.join();
  const int final_state = ReadFile(state, /*trim=*/true) == "off" ? 1 : 0;
  ASSERT_TRUE(fence_->Pass());
  const auto settled = std::chrono::steady_clock::now();

  EXPECT_EQ(write_failures, 0);
  EXPECT_EQ(late_calls, 0);
  EXPECT_EQ(listener.wrong_thread, 0);
  EXPECT_GT(listener.calls, 0);
  EXPECT_EQ(observer->GetMicMuteState(), final_state);
  EXPECT_EQ(listener.last_read, final_state)
      << "the listener's last read disagrees with the settled file";

  // And the state still follows the file afterwards.
  const int calls = listener.calls;
  ASSERT_TRUE(WriteFile(state, final_state ? "on" : "off"));
  ASSERT_TRUE(fence_->Pass());
  EXPECT_EQ(listener.calls, calls + 1);
  EXPECT_EQ(listener.last_read, 1 - final_state);

  observer.reset();

  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  std::cout << kToggles << " toggles written in "
            << duration_cast<milliseconds>(written - start).count()
            << " ms, settled after "
            << duration_cast<milliseconds>(settled - start).count()
            << " ms; listener called " << listener.calls << " times; "
            << created << " providers created and destroyed meanwhile, "
            << "their callbacks called " << churn_calls << " times\n";
}

}  // namespace
}  // namespace assistant_reference
