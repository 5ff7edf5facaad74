// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The platform factory and the platform bundle across the ABI: ownership of
// the providers they hand out, caches, destruction order and versions.
#include <string.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"
#include "testing/death_test_style.h"

namespace assistant_client {
namespace {

using namespace internal_api;
using namespace testing_util;
using namespace std::string_literals;

// ---- PlatformFactory --------------------------------------------------------

TEST(PlatformFactoryBridgeTest, AllSixKindsCrossAndAreOwnedByTheirWrapper) {
  Deletions providers;
  Deletions factories;
  auto* fake = new CountingFactory(/*offer=*/true, &providers, &factories);
  std::unique_ptr<PlatformFactory> factory(
      PlatformFactoryFromC(PlatformFactoryToC(fake, 0)));
  InertPlatformApi platform;

  std::unique_ptr<AuthProvider> auth(
      factory->NewAuthProvider("1\0"s, &platform));
  ASSERT_NE(auth, nullptr);
  EXPECT_EQ(auth->GetAuthClientId(), "auth");
  auth.reset();
  EXPECT_EQ(providers.count, 1);

  std::unique_ptr<AudioInputProvider> input(
      factory->NewAudioInputProvider("2", &platform));
  EXPECT_EQ(input->GetCurrentAudioTime(), 11);
  input.reset();
  std::unique_ptr<AudioOutputProvider> output(
      factory->NewAudioOutputProvider("3", &platform));
  EXPECT_EQ(output->GetSupportedStreamEncodings(),
            std::vector<OutputStreamEncoding>{OutputStreamEncoding::kMp3});
  output.reset();
  std::unique_ptr<FileProvider> file(factory->NewFileProvider("4", &platform));
  EXPECT_EQ(file->ReadFile("f"), "file:f");
  file.reset();
  std::unique_ptr<NetworkProvider> network(
      factory->NewNetworkProvider("5", &platform));
  EXPECT_EQ(network->GetConnectionStatus(), NetworkProvider::CONNECTED);
  network.reset();
  std::unique_ptr<SystemProvider> system(
      factory->NewSystemProvider("", &platform));
  EXPECT_EQ(system->GetMicMuteState(), 1);
  system.reset();
  EXPECT_EQ(providers.count, 6);

  EXPECT_EQ(fake->configs,
            (std::vector<std::string>{"1\0"s, "2", "3", "4", "5", ""}));
  // Each request carried a platform that reaches the caller's.
  EXPECT_EQ(fake->platform_reads, std::vector<std::string>(6, "file:x"));
  EXPECT_EQ(factories.count, 0);
  factory.reset();
  EXPECT_EQ(factories.count, 1);
}

TEST(PlatformFactoryBridgeTest, KindsNotOfferedComeBackNull) {
  Deletions providers;
  std::unique_ptr<PlatformFactory> factory(PlatformFactoryFromC(
      PlatformFactoryToC(new CountingFactory(false, &providers), 0)));
  InertPlatformApi platform;
  EXPECT_EQ(factory->NewAuthProvider("", &platform), nullptr);
  EXPECT_EQ(factory->NewAudioInputProvider("", &platform), nullptr);
  EXPECT_EQ(factory->NewAudioOutputProvider("", &platform), nullptr);
  EXPECT_EQ(factory->NewFileProvider("", &platform), nullptr);
  EXPECT_EQ(factory->NewNetworkProvider("", &platform), nullptr);
  EXPECT_EQ(factory->NewSystemProvider("", &platform), nullptr);
}

TEST(PlatformFactoryBridgeTest, ProviderOutlivesTheFactoryStructure) {
  Deletions providers;
  Deletions factories;
  C_API_PlatformFactory* c =
      PlatformFactoryToC(new CountingFactory(true, &providers, &factories), 9);
  InertPlatformApi platform;
  C_API_NetworkProvider* network =
      c->NewNetworkProvider(c, StringToC("cfg"), PlatformApiToC(&platform, 0));
  ASSERT_NE(network, nullptr);
  EXPECT_EQ(network->descriptor.peer_api_version, 9);

  c->Destroy(c);
  EXPECT_EQ(factories.count, 1);
  EXPECT_EQ(providers.count, 0);
  EXPECT_EQ(network->GetConnectionStatus(network), NetworkProvider::CONNECTED);
  network->Destroy(network);
  EXPECT_EQ(providers.count, 1);
}

// A peer's factory structure with implementation version 7.
struct FakePeerFactory {
  C_API_PlatformFactory c;
  int platform_version = -1;
  int destroys = 0;
  InertFileProvider file;

  FakePeerFactory() {
    memset(&c, 0, sizeof(c));
    c.descriptor = {C_API_DESCRIPTOR_MAGIC, 7, 0, 0};
    c.Destroy = [](C_API_PlatformFactory* self) {
      ++reinterpret_cast<FakePeerFactory*>(self)->destroys;
    };
    c.NewFileProvider = [](C_API_PlatformFactory* self, C_API_String,
                           C_API_PlatformApi* platform) {
      auto* me = reinterpret_cast<FakePeerFactory*>(self);
      me->platform_version = platform->descriptor.peer_api_version;
      platform->Destroy(platform);
      return FileProviderToC(&me->file, /*owned=*/false, 0);
    };
  }
};

TEST(PlatformFactoryBridgeTest, PlatformBuiltForThePeerCarriesItsVersion) {
  FakePeerFactory peer;
  InertPlatformApi platform;
  std::unique_ptr<PlatformFactory> factory(PlatformFactoryFromC(&peer.c));
  std::unique_ptr<FileProvider> file(factory->NewFileProvider("", &platform));
  EXPECT_EQ(peer.platform_version, 7);
  EXPECT_EQ(file->ReadFile("r"), "file:r");
  file.reset();
  factory.reset();
  EXPECT_EQ(peer.destroys, 1);
}

TEST(PlatformFactoryBridgeTest, EntrypointHelpersWrapAndUnwrapAFactory) {
  Deletions providers;
  Deletions factories;
  C_API_PlatformFactory* entry = CreatePlatformEntrypoint(
      5, new CountingFactory(true, &providers, &factories));
  EXPECT_EQ(entry->descriptor.magic, 0x1ab11ab1u);
  EXPECT_EQ(entry->descriptor.impl_api_version, 0);
  // The public constant names what the bridge writes.
  EXPECT_EQ(entry->descriptor.impl_api_version, assistant_client::kApiVersion);
  EXPECT_EQ(entry->descriptor.peer_api_version, 5);
  EXPECT_EQ(entry->descriptor.reserved, 0);

  std::unique_ptr<PlatformFactory> factory(
      NewPlatformFactoryForEntrypoint(entry));
  InertPlatformApi platform;
  std::unique_ptr<SystemProvider> system(
      factory->NewSystemProvider("", &platform));
  EXPECT_EQ(system->GetMicMuteState(), 1);
  factory.reset();
  EXPECT_EQ(factories.count, 1);
  system.reset();
  EXPECT_EQ(providers.count, 1);
}

// ---- PlatformApi ------------------------------------------------------------

TEST(PlatformApiBridgeTest, RoundTripAsksOncePerProviderAndBorrowsThem) {
  InertPlatformApi platform;
  std::unique_ptr<PlatformApi> api(
      PlatformApiFromC(PlatformApiToC(&platform, 0)));
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(api->GetAudioInputProvider()->GetCurrentAudioTime(), 11);
    EXPECT_TRUE(api->GetAudioOutputProvider()->SupportsPlaybackTimestamp());
    EXPECT_EQ(api->GetAuthProvider()->GetAuthClientId(), "auth");
    EXPECT_EQ(api->GetFileProvider()->ReadFile("a"), "file:a");
    EXPECT_EQ(api->GetNetworkProvider()->GetConnectionStatus(),
              NetworkProvider::CONNECTED);
    EXPECT_EQ(api->GetSystemProvider()->GetMicMuteState(), 1);
  }
  EXPECT_EQ(api->GetFileProvider(), api->GetFileProvider());
  EXPECT_EQ(platform.calls, 6);
}

// A peer's platform structure (version 7) whose getters hand out new
// non-owning provider structures, each watched for its release.
struct FakePeerPlatform {
  static constexpr const char* kNames[] = {
      "audio input", "audio output", "auth", "file", "network", "system"};
  C_API_PlatformApi c;
  EventLog* log;
  std::atomic<int> asks[6] = {};
  InertPlatformApi objects;

  static FakePeerPlatform* From(C_API_PlatformApi* self) {
    return reinterpret_cast<FakePeerPlatform*>(self);
  }
  template <int kIndex, auto ToC, auto Member>
  static auto Get(C_API_PlatformApi* self) {
    FakePeerPlatform* me = From(self);
    ++me->asks[kIndex];
    SlowPeer();
    auto* provider = ToC(&(me->objects.*Member), /*owned=*/false, 0);
    DestroySpy::Watch(provider, me->log, kNames[kIndex]);
    return provider;
  }

  explicit FakePeerPlatform(EventLog* event_log) : log(event_log) {
    memset(&c, 0, sizeof(c));
    c.descriptor = {C_API_DESCRIPTOR_MAGIC, 7, 0, 0};
    c.Destroy = [](C_API_PlatformApi* self) {
      From(self)->log->Add("platform");
    };
    c.GetAudioInputProvider =
        &Get<0, &AudioInputProviderToC, &InertPlatformApi::audio_input>;
    c.GetAudioOutputProvider =
        &Get<1, &AudioOutputProviderToC, &InertPlatformApi::audio_output>;
    c.GetAuthProvider = &Get<2, &AuthProviderToC, &InertPlatformApi::auth>;
    c.GetFileProvider = &Get<3, &FileProviderToC, &InertPlatformApi::file>;
    c.GetNetworkProvider =
        &Get<4, &NetworkProviderToC, &InertPlatformApi::network>;
    c.GetSystemProvider =
        &Get<5, &SystemProviderToC, &InertPlatformApi::system>;
  }
};

TEST(PlatformApiBridgeTest, DeleteReleasesCachedProvidersThenThePlatform) {
  EventLog log;
  FakePeerPlatform peer(&log);
  PlatformApi* api = PlatformApiFromC(&peer.c);
  // Asked in another order than the one of release.
  api->GetSystemProvider();
  api->GetFileProvider();
  api->GetAudioOutputProvider();
  api->GetNetworkProvider();
  api->GetAuthProvider();
  api->GetAudioInputProvider();
  EXPECT_TRUE(log.entries().empty());
  delete api;
  EXPECT_EQ(log.entries(), (std::vector<std::string>{
                               "audio input", "audio output", "auth", "file",
                               "network", "system", "platform"}));
}

TEST(PlatformApiBridgeTest, ConcurrentFirstCallsAskThePeerOnce) {
  EventLog log;
  FakePeerPlatform peer(&log);
  std::unique_ptr<PlatformApi> api(PlatformApiFromC(&peer.c));
  std::mutex mutex;
  std::set<void*> seen;
  RunTogether(8, [&] {
    void* file = api->GetFileProvider();
    void* auth = api->GetAuthProvider();
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(file);
    seen.insert(auth);
  });
  EXPECT_EQ(peer.asks[3], 1);
  EXPECT_EQ(peer.asks[2], 1);
  EXPECT_EQ(seen.size(), 2u);
}

TEST(PlatformApiBridgeTest, StructureSideHandsOutDistinctBorrowingStructures) {
  Deletions deletions;
  InertPlatformApi platform(&deletions);
  C_API_PlatformApi* c = PlatformApiToC(&platform, 2);
  C_API_NetworkProvider* first = c->GetNetworkProvider(c);
  C_API_NetworkProvider* second = c->GetNetworkProvider(c);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->descriptor.peer_api_version, 2);
  first->Destroy(first);
  EXPECT_EQ(second->GetConnectionStatus(second), NetworkProvider::CONNECTED);
  second->Destroy(second);
  C_API_SystemProvider* system = c->GetSystemProvider(c);
  system->Destroy(system);
  c->Destroy(c);
  EXPECT_EQ(deletions.count, 0);
  EXPECT_EQ(platform.calls, 3);
}

class NoFilePlatform : public InertPlatformApi {
 public:
  FileProvider* GetFileProvider() override { return nullptr; }
};

TEST(PlatformApiBridgeDeathTest, NullProviderFromThePlatformAborts) {
  testing_support::UseFreshDeathTestProcesses();
  NoFilePlatform platform;
  C_API_PlatformApi* c = PlatformApiToC(&platform, 0);
  EXPECT_BRIDGE_DEATH(c->GetFileProvider(c));
  c->Destroy(c);
}

}  // namespace
}  // namespace assistant_client
