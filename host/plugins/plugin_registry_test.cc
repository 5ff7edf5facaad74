// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Which plug-in's provider the host keeps when several offer one kind: with
// factories of this process behind the C entry point, and with two copies
// of the real system plug-in loaded from a folder.
#include "host/plugins/plugin_registry.h"

#include <stdlib.h>

#include <atomic>
#include <string>

#include "core/version.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/file_tree.h"
#include "testing/host_test_util.h"
#include "testing/inert_providers.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: fakes full of overrides.
using ::testing::HasSubstr;
using testing_util::LogCapture;

std::atomic<int> g_deleted[3];

// Answers its plug-in's number as the mute state, to tell them apart.
class NumberedSystem : public SystemProvider {
 public:
  explicit NumberedSystem(int number) : number_(number) {}
  ~NumberedSystem() override { ++g_deleted[number_]; }
  int GetMicMuteState() override { return number_; }
  void RegisterMicMuteChangeCallback(Callback<true>) override {}
  void UpdateTimezoneAndLocale(const std::string&,
                               const std::string&) override {}
  void ProcessTpm(TpmProcessingType,
                  const std::string&,
                  Callback<false, std::string>) override {}

 private:
  const int number_;
};

// Plug-in 0 offers a system provider; 1 a system and a network provider;
// 2 a system provider and an audio input. Each request's platform wrapper
// is the factory's to release.
template <int N>
class Factory : public PlatformFactory {
 public:
  SystemProvider* NewSystemProvider(const std::string&,
                                    PlatformApi* platform) override {
    return Offer(platform, new NumberedSystem(N));
  }
  NetworkProvider* NewNetworkProvider(const std::string&,
                                      PlatformApi* platform) override {
    return Offer(platform, N == 1 ? new testing_support::InertNetworkProvider()
                                  : nullptr);
  }
  AudioInputProvider* NewAudioInputProvider(const std::string&,
                                            PlatformApi* platform) override {
    return Offer(platform, N == 2
                               ? new testing_support::InertAudioInputProvider()
                               : nullptr);
  }
  AuthProvider* NewAuthProvider(const std::string&,
                                PlatformApi* platform) override {
    return Offer<AuthProvider>(platform, nullptr);
  }
  AudioOutputProvider* NewAudioOutputProvider(const std::string&,
                                              PlatformApi* platform) override {
    return Offer<AudioOutputProvider>(platform, nullptr);
  }
  FileProvider* NewFileProvider(const std::string&,
                                PlatformApi* platform) override {
    return Offer<FileProvider>(platform, nullptr);
  }

 private:
  template <typename P>
  static P* Offer(PlatformApi* platform, P* provider) {
    internal_api::DestroyPlatformApiInC(platform);
    return provider;
  }
};

template <int N>
void* NewEntry(int version) {
  return CreatePlatformEntrypoint(version, new Factory<N>());
}

void* NoFactory(int) {
  return nullptr;
}

TEST(PluginChoiceTest, TheFirstOfferOfAKindWinsAndTheRestGoAtOnce) {
  LogCapture log;
  for (auto& deleted : g_deleted)
    deleted = 0;
  testing_support::InertPlatform platform;
  PluginProviders providers =
      CollectProviders({{"libvantor_a.so", &NewEntry<0>},
                        {"libvantor_b.so", &NewEntry<1>},
                        {"libvantor_broken.so", &NoFactory},
                        {"libvantor_c.so", &NewEntry<2>}},
                       "{}", &platform);
  ASSERT_TRUE(providers.system);
  EXPECT_EQ(0, providers.system->GetMicMuteState());
  // The later offers were released before anything else happened.
  EXPECT_EQ(0, g_deleted[0]);
  EXPECT_EQ(1, g_deleted[1]);
  EXPECT_EQ(1, g_deleted[2]);
  // Other kinds come from whoever offers them.
  ASSERT_TRUE(providers.network);
  EXPECT_EQ(NetworkProvider::CONNECTED,
            providers.network->GetConnectionStatus());
  ASSERT_TRUE(providers.audio_input);
  EXPECT_EQ(11, providers.audio_input->GetCurrentAudioTime());
  EXPECT_FALSE(providers.auth);
  EXPECT_FALSE(providers.audio_output);
  EXPECT_FALSE(providers.file);

  EXPECT_EQ(1,
            log.Count("Plug-in libvantor_a.so provides the system provider"));
  EXPECT_EQ(1, log.Count("Plug-in libvantor_b.so also provides the system "
                         "provider; using the one of libvantor_a.so"));
  EXPECT_EQ(1, log.Count("Plug-in libvantor_c.so also provides the system "
                         "provider; using the one of libvantor_a.so"));
  EXPECT_EQ(1, log.Count("Plug-in libvantor_broken.so returned no factory"));
  EXPECT_EQ(1, log.Count("Plug-in libvantor_b.so provides the network"));
  providers = PluginProviders();
  EXPECT_EQ(1, g_deleted[0]);
}

TEST(PluginChoiceTest, TwoCopiesOfARealPlugInAreTakenInFileNameOrder) {
  LogCapture log;
  char pattern[] = "/tmp/plugin_registry_test.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  // Listed in the other order on purpose: the names decide.
  for (const char* name : {"libvantor_second.so", "libvantor_first.so"}) {
    ASSERT_EQ(0, system(("cp '" VANTOR_SYSTEM_PLUGIN_PATH "' '" + dir + "/" +
                         name + "'")
                            .c_str()));
  }
  const std::vector<Plugin> plugins = LoadPlugins(dir);
  ASSERT_EQ(2u, plugins.size());
  EXPECT_EQ("libvantor_first.so", plugins[0].name);
  EXPECT_EQ("libvantor_second.so", plugins[1].name);
  EXPECT_EQ(1,
            log.Count("Loaded plug-in " + dir + "/libvantor_first.so (vantor " +
                      core::kVersion + ", host API version 0)"));
  const std::string config =
      "{\"platform_config\": {\"mic_state_path\": \"" + dir + "/mic\"}}";
  testing_support::InertPlatform platform;
  PluginProviders providers = CollectProviders(plugins, config, &platform);
  EXPECT_TRUE(providers.system);
  EXPECT_EQ(1, log.Count("Plug-in libvantor_first.so provides the system"));
  EXPECT_EQ(1, log.Count("Plug-in libvantor_second.so also provides the "
                         "system provider; using the one of "
                         "libvantor_first.so"));
  providers = PluginProviders();
  ASSERT_TRUE(testing_support::RemoveTree(dir));
}

}  // namespace
}  // namespace vantor_host
