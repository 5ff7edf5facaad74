// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Loads the built libvantor_system.so as the host does and uses it only
// through its exported entry point and the C structures.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/file_tree.h"
#include "testing/plugin_loader.h"

namespace {

using assistant_client::PlatformFactory;
using assistant_client::SystemProvider;

class SystemPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    entry_ = testing_support::LoadPlatformEntrypoint(VANTOR_SYSTEM_PLUGIN_PATH,
                                                     &error);
    ASSERT_NE(nullptr, entry_) << error;
    library_ = dlopen(VANTOR_SYSTEM_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    char pattern[] = "/tmp/system_plugin_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    state_ = dir_ + "/mic_state";
    config_ = "{\"platform_config\": {\"mic_state_path\": \"" + state_ + "\"}}";
  }
  void TearDown() override { ASSERT_TRUE(testing_support::RemoveTree(dir_)); }

  std::unique_ptr<PlatformFactory> NewFactory() {
    return std::unique_ptr<PlatformFactory>(
        assistant_client::internal_api::NewPlatformFactoryForEntrypoint(
            entry_(assistant_client::internal_api::kApiVersion)));
  }
  void WriteState(const char* word) {
    FILE* file = fopen(state_.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fputs(word, file);
    fclose(file);
  }

  void* library_ = nullptr;
  testing_support::PlatformEntrypoint entry_ = nullptr;
  std::string dir_;
  std::string state_;
  std::string config_;
  testing_support::NullPlatform platform_;
};

TEST_F(SystemPluginTest, EntrypointBuildsDescribedFactoryStructure) {
  C_API_PlatformFactory* factory = entry_(5);
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(0x1ab11ab1u, factory->descriptor.magic);
  EXPECT_EQ(0, factory->descriptor.impl_api_version);
  EXPECT_EQ(5, factory->descriptor.peer_api_version);
  EXPECT_EQ(0, factory->descriptor.reserved);
  // 44 bytes on the 32-bit device: the descriptor and seven slots.
  EXPECT_EQ(16 + 7 * sizeof(void*), sizeof(C_API_PlatformFactory));
  EXPECT_NE(nullptr, factory->NewSystemProvider);
  factory->Destroy(factory);

  // Only the entry point is exported.
  EXPECT_EQ(
      nullptr,
      dlsym(library_, "_ZN19assistant_reference11FileWatcher11GetInstanceEv"));
  EXPECT_EQ(nullptr, dlsym(library_, "CreatePlatformEntrypoint"));
}

TEST_F(SystemPluginTest, OffersOnlyTheSystemProvider) {
  std::unique_ptr<PlatformFactory> factory = NewFactory();
  EXPECT_EQ(nullptr, factory->NewNetworkProvider(config_, &platform_));
  EXPECT_EQ(nullptr, factory->NewFileProvider(config_, &platform_));
  EXPECT_EQ(nullptr, factory->NewAuthProvider(config_, &platform_));
  std::unique_ptr<SystemProvider> provider(
      factory->NewSystemProvider(config_, &platform_));
  ASSERT_NE(nullptr, provider);
  EXPECT_EQ(0, provider->GetMicMuteState());
  WriteState("off");
  EXPECT_EQ(1, provider->GetMicMuteState());
}

// Destroying the provider releases the callbacks it keeps, once; a
// provider outlives the factory that made it and still reports changes.
TEST_F(SystemPluginTest, ProviderOutlivesFactoryAndIsDeletedOnce) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    int runs = 0;
    int released = 0;
    std::string thread;
  };
  auto shared = std::make_shared<Shared>();
  // Counts its own destruction: the plug-in's provider owns it.
  struct Listener {
    std::shared_ptr<Shared> shared;
    Listener(std::shared_ptr<Shared> s) : shared(std::move(s)) {}
    Listener(Listener&& other) = default;
    ~Listener() {
      if (shared) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        ++shared->released;
      }
    }
    void operator()() {
      char name[16] = {};
      prctl(PR_GET_NAME, name);
      std::lock_guard<std::mutex> lock(shared->mutex);
      ++shared->runs;
      shared->thread = name;
      shared->changed.notify_all();
    }
  };

  std::unique_ptr<SystemProvider> provider;
  {
    std::unique_ptr<PlatformFactory> factory = NewFactory();
    provider.reset(factory->NewSystemProvider(config_, &platform_));
  }
  ASSERT_NE(nullptr, provider);
  provider->RegisterMicMuteChangeCallback(Listener(shared));
  WriteState("off");
  {
    std::unique_lock<std::mutex> lock(shared->mutex);
    ASSERT_TRUE(shared->changed.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return shared->runs > 0; }));
    EXPECT_EQ("FileWatcher", shared->thread);
    EXPECT_EQ(0, shared->released);
  }
  provider.reset();
  std::lock_guard<std::mutex> lock(shared->mutex);
  EXPECT_EQ(1, shared->released);
}

}  // namespace
