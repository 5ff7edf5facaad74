// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Concurrent first calls of every getter that the bridge caches, many rounds
// over fresh wrappers, on both sides of the ABI: whatever the interleaving,
// the peer is asked once and every caller gets the one cached object. Under
// TSan an unguarded cache shows as a race, under ASan a cache filled twice
// as a leak.
#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"

namespace assistant_client {
namespace {

using namespace internal_api;
using namespace testing_util;

constexpr int kThreads = 8;
constexpr int kRounds = 100;

// Every third round the peer answers at once, the others after a short
// pause that widens the window in which a second caller finds the cache
// empty.
void PeerPause(int round) {
  if (round % 3 != 0)
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 3)));
}

int g_round = 0;  // Written between rounds only.

// Counts the calls of one getter slot of a C structure and forwards them to
// the original slot. One structure per slot at a time.
template <typename C, typename R, R* (*C::*kSlot)(C*)>
class SlotCounter {
 public:
  static void Install(C* c) {
    original_ = c->*kSlot;
    calls_ = 0;
    c->*kSlot = &Counted;
  }
  static int calls() { return calls_; }

 private:
  static R* Counted(C* self) {
    ++calls_;
    PeerPause(g_round);
    return original_(self);
  }
  static inline R* (*original_)(C*) = nullptr;
  static inline std::atomic<int> calls_{0};
};

// Collects what the callers got, per getter.
class Seen {
 public:
  void Add(const std::string& getter, const void* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_[getter].insert(object);
  }
  // Every caller of |getter| got the same object, and a non-null one.
  void ExpectOneObject(const std::string& getter, int round) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::set<const void*>& objects = seen_[getter];
    EXPECT_EQ(objects.size(), 1u) << getter << " round " << round;
    EXPECT_EQ(objects.count(nullptr), 0u) << getter << " round " << round;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::set<const void*>> seen_;
};

// Each thread calls |getters| in its own rotation, so that the first call of
// one getter meets the first calls of the others on the same lock.
void CallTogether(
    const std::vector<std::pair<std::string, std::function<const void*()>>>&
        getters,
    Seen* seen) {
  std::atomic<int> next_thread{0};
  RunTogether(kThreads, [&] {
    const size_t first = next_thread++ % getters.size();
    for (size_t i = 0; i < getters.size(); ++i) {
      const auto& getter = getters[(first + i) % getters.size()];
      seen->Add(getter.first, getter.second());
    }
  });
}

// ---- Doubles whose getters count the asks -----------------------------------

class SilentInput : public AudioInput {
 public:
  BufferFormat GetFormat() const override { return {}; }
  void AddObserver(Observer*) override {}
  void RemoveObserver(Observer*) override {}
};

class NullVolume : public VolumeControl {
 public:
  void SetAudioFocus(OutputStreamType) override {}
  float GetSystemVolume() override { return 0; }
  void SetSystemVolume(float, bool) override {}
  float GetAlarmVolume() override { return 0; }
  void SetAlarmVolume(float, bool) override {}
  bool IsSystemMuted() override { return false; }
  void SetSystemMuted(bool) override {}
};

class NullResponder : public MdnsResponder {
 public:
  void AddService(const std::string&,
                  const std::string&,
                  uint16_t,
                  const std::string&,
                  ResultCallback) override {}
  void RemoveService(const std::string&, const std::string&) override {}
  void UpdateTxtRecord(const std::string&,
                       const std::string&,
                       const std::string&,
                       ResultCallback) override {}
};

class NullPowerManager : public PowerManagerProvider {
 public:
  int64_t AddWakeAlarm(unsigned long long,
                       unsigned long long,
                       Callback<false>) override {
    return 0;
  }
  void ExpireWakeAlarmNow(unsigned long long) override {}
  void AcquireWakeLock() override {}
  void ReleaseWakeLock() override {}
};

class CountingInputProvider : public InertAudioInputProvider {
 public:
  AudioInput* GetAudioInput() override {
    ++asks;
    PeerPause(g_round);
    return &input;
  }
  std::atomic<int> asks{0};
  SilentInput input;
};

class CountingOutputProvider : public InertAudioOutputProvider {
 public:
  AudioInput* GetReferenceInput() override {
    ++reference_asks;
    PeerPause(g_round);
    return &reference;
  }
  VolumeControl* GetVolumeControl() override {
    ++volume_asks;
    PeerPause(g_round);
    return &volume;
  }
  std::atomic<int> reference_asks{0};
  std::atomic<int> volume_asks{0};
  SilentInput reference;
  NullVolume volume;
};

class CountingManager : public AssistantManager {
 public:
  CountingManager(std::atomic<int>* debug_asks, std::atomic<int>* media_asks)
      : debug_asks_(debug_asks), media_asks_(media_asks) {}
  void Start() override {}
  void Start(Callback<false>) override {}
  void RegisterDeviceActionHandler(DeviceActionHandler* handler) override {
    delete handler;
  }
  void AddConversationStateListener(ConversationStateListener*) override {}
  void AddDeviceStateListener(DeviceStateListener*) override {}
  void EnableListening(bool) override {}
  void PlayAudioWithFocus(uint16_t,
                          OutputStreamType,
                          Callback<false, bool>) override {}
  void StartAssistantInteraction() override {}
  void StopAssistantInteraction() override {}
  void StopTopInteraction() override {}
  void StopAllInteractions() override {}
  void StartPresetUpdateInteraction(const std::string&) override {}
  void StartPresetExecuteInteraction(const std::string&) override {}
  void SetAuthTokens(
      const std::vector<std::pair<std::string, std::string>>&) override {}
  std::string GetDeviceId() override { return {}; }
  void ResetAllDataAndShutdown() override {}
  DebugInterface* GetDebugInterface() override {
    ++*debug_asks_;
    PeerPause(g_round);
    return &debug_;
  }
  MediaManager* GetMediaManager() override {
    ++*media_asks_;
    PeerPause(g_round);
    return &media_;
  }
  void StopAllTts() override {}

 private:
  std::atomic<int>* const debug_asks_;
  std::atomic<int>* const media_asks_;
  NullDebugInterface debug_;
  NullMediaManager media_;
};

// Answers null on odd rounds: an absent responder or power manager is
// cached as well and never asked for again.
class RespondingNetworkProvider : public InertNetworkProvider {
 public:
  explicit RespondingNetworkProvider(bool present) : present_(present) {}
  MdnsResponder* GetMdnsResponder() override {
    return present_ ? &responder_ : nullptr;
  }

 private:
  const bool present_;
  NullResponder responder_;
};

class PoweredSystemProvider : public InertSystemProvider {
 public:
  explicit PoweredSystemProvider(bool present) : present_(present) {}
  PowerManagerProvider* GetPowerManagerProvider() override {
    return present_ ? &power_ : nullptr;
  }

 private:
  const bool present_;
  NullPowerManager power_;
};

// ---- Interface side: the peer is a C structure ------------------------------

TEST(BridgeCacheStressTest, InterfaceSideAsksTheStructureOnce) {
  using PlatformAudioIn =
      SlotCounter<C_API_PlatformApi, C_API_AudioInputProvider,
                  &C_API_PlatformApi::GetAudioInputProvider>;
  using PlatformAudioOut =
      SlotCounter<C_API_PlatformApi, C_API_AudioOutputProvider,
                  &C_API_PlatformApi::GetAudioOutputProvider>;
  using PlatformAuth = SlotCounter<C_API_PlatformApi, C_API_AuthProvider,
                                   &C_API_PlatformApi::GetAuthProvider>;
  using PlatformFile = SlotCounter<C_API_PlatformApi, C_API_FileProvider,
                                   &C_API_PlatformApi::GetFileProvider>;
  using PlatformNetwork = SlotCounter<C_API_PlatformApi, C_API_NetworkProvider,
                                      &C_API_PlatformApi::GetNetworkProvider>;
  using PlatformSystem = SlotCounter<C_API_PlatformApi, C_API_SystemProvider,
                                     &C_API_PlatformApi::GetSystemProvider>;
  using Responder = SlotCounter<C_API_NetworkProvider, C_API_MdnsResponder,
                                &C_API_NetworkProvider::GetMdnsResponder>;
  using Power = SlotCounter<C_API_SystemProvider, C_API_PowerManagerProvider,
                            &C_API_SystemProvider::GetPowerManagerProvider>;
  using Debug = SlotCounter<C_API_AssistantManager, C_API_DebugInterface,
                            &C_API_AssistantManager::GetDebugInterface>;
  using Media = SlotCounter<C_API_AssistantManager, C_API_MediaManager,
                            &C_API_AssistantManager::GetMediaManager>;
  using Input = SlotCounter<C_API_AudioInputProvider, C_API_AudioInput,
                            &C_API_AudioInputProvider::GetAudioInput>;
  using Reference = SlotCounter<C_API_AudioOutputProvider, C_API_AudioInput,
                                &C_API_AudioOutputProvider::GetReferenceInput>;
  using Volume = SlotCounter<C_API_AudioOutputProvider, C_API_VolumeControl,
                             &C_API_AudioOutputProvider::GetVolumeControl>;

  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    g_round = round;
    const bool present = round % 2 == 0;
    Seen seen;

    InertPlatformApi platform;
    C_API_PlatformApi* c_platform = PlatformApiToC(&platform, 0);
    PlatformAudioIn::Install(c_platform);
    PlatformAudioOut::Install(c_platform);
    PlatformAuth::Install(c_platform);
    PlatformFile::Install(c_platform);
    PlatformNetwork::Install(c_platform);
    PlatformSystem::Install(c_platform);
    std::unique_ptr<PlatformApi> api(PlatformApiFromC(c_platform));

    RespondingNetworkProvider network_object(present);
    C_API_NetworkProvider* c_network =
        NetworkProviderToC(&network_object, false, 0);
    Responder::Install(c_network);
    std::unique_ptr<NetworkProvider> network(NetworkProviderFromC(c_network));

    PoweredSystemProvider system_object(present);
    C_API_SystemProvider* c_system =
        SystemProviderToC(&system_object, false, 0);
    Power::Install(c_system);
    std::unique_ptr<SystemProvider> system(SystemProviderFromC(c_system));

    std::atomic<int> debug_asks{0};
    std::atomic<int> media_asks{0};
    C_API_AssistantManager* c_manager =
        AssistantManagerToC(new CountingManager(&debug_asks, &media_asks), 0);
    Debug::Install(c_manager);
    Media::Install(c_manager);
    std::unique_ptr<AssistantManager> manager(AssistantManagerFromC(c_manager));

    CountingInputProvider input_object;
    C_API_AudioInputProvider* c_input =
        AudioInputProviderToC(&input_object, false, 0);
    Input::Install(c_input);
    std::unique_ptr<AudioInputProvider> input(AudioInputProviderFromC(c_input));

    CountingOutputProvider output_object;
    C_API_AudioOutputProvider* c_output =
        AudioOutputProviderToC(&output_object, false, 0);
    Reference::Install(c_output);
    Volume::Install(c_output);
    std::unique_ptr<AudioOutputProvider> output(
        AudioOutputProviderFromC(c_output));

    CallTogether(
        {
            {"audio input provider",
             [&] { return api->GetAudioInputProvider(); }},
            {"audio output provider",
             [&] { return api->GetAudioOutputProvider(); }},
            {"auth provider", [&] { return api->GetAuthProvider(); }},
            {"file provider", [&] { return api->GetFileProvider(); }},
            {"network provider", [&] { return api->GetNetworkProvider(); }},
            {"system provider", [&] { return api->GetSystemProvider(); }},
            {"debug interface", [&] { return manager->GetDebugInterface(); }},
            {"media manager", [&] { return manager->GetMediaManager(); }},
            {"audio input", [&] { return input->GetAudioInput(); }},
            {"reference input", [&] { return output->GetReferenceInput(); }},
            {"volume control", [&] { return output->GetVolumeControl(); }},
        },
        &seen);
    // Absent ones are looked at apart: every caller gets null.
    std::set<const void*> responders;
    std::set<const void*> powers;
    std::mutex mutex;
    RunTogether(kThreads, [&] {
      const void* responder = network->GetMdnsResponder();
      const void* power = system->GetPowerManagerProvider();
      std::lock_guard<std::mutex> lock(mutex);
      responders.insert(responder);
      powers.insert(power);
    });

    for (const char* getter :
         {"audio input provider", "audio output provider", "auth provider",
          "file provider", "network provider", "system provider",
          "debug interface", "media manager", "audio input", "reference input",
          "volume control"}) {
      seen.ExpectOneObject(getter, round);
    }
    EXPECT_EQ(responders.size(), 1u);
    EXPECT_EQ(responders.count(nullptr), present ? 0u : 1u);
    EXPECT_EQ(powers.size(), 1u);
    EXPECT_EQ(powers.count(nullptr), present ? 0u : 1u);

    const std::pair<const char*, int> asks[] = {
        {"GetAudioInputProvider", PlatformAudioIn::calls()},
        {"GetAudioOutputProvider", PlatformAudioOut::calls()},
        {"GetAuthProvider", PlatformAuth::calls()},
        {"GetFileProvider", PlatformFile::calls()},
        {"GetNetworkProvider", PlatformNetwork::calls()},
        {"GetSystemProvider", PlatformSystem::calls()},
        {"GetMdnsResponder", Responder::calls()},
        {"GetPowerManagerProvider", Power::calls()},
        {"GetDebugInterface", Debug::calls()},
        {"GetMediaManager", Media::calls()},
        {"GetAudioInput", Input::calls()},
        {"GetReferenceInput", Reference::calls()},
        {"GetVolumeControl", Volume::calls()},
    };
    for (const auto& [slot, calls] : asks)
      EXPECT_EQ(calls, 1) << slot << " slot, round " << round;
    if (::testing::Test::HasFailure())
      break;
  }
  std::cout << "13 interface-side getters, " << kRounds << " rounds of "
            << kThreads << " concurrent first callers: "
            << std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count()
            << " ms\n";
}

// ---- Structure side: the peer is an interface object ------------------------

TEST(BridgeCacheStressTest, StructureSideAsksTheObjectOnce) {
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    g_round = round;
    Seen seen;

    CountingInputProvider input_object;
    C_API_AudioInputProvider* input =
        AudioInputProviderToC(&input_object, false, 0);
    CountingOutputProvider output_object;
    C_API_AudioOutputProvider* output =
        AudioOutputProviderToC(&output_object, false, 0);
    std::atomic<int> debug_asks{0};
    std::atomic<int> media_asks{0};
    C_API_AssistantManager* manager =
        AssistantManagerToC(new CountingManager(&debug_asks, &media_asks), 0);

    CallTogether(
        {
            {"audio input", [&] { return input->GetAudioInput(input); }},
            {"reference input",
             [&] { return output->GetReferenceInput(output); }},
            {"volume control",
             [&] { return output->GetVolumeControl(output); }},
            {"debug interface",
             [&] { return manager->GetDebugInterface(manager); }},
            {"media manager",
             [&] { return manager->GetMediaManager(manager); }},
        },
        &seen);

    for (const char* getter :
         {"audio input", "reference input", "volume control", "debug interface",
          "media manager"}) {
      seen.ExpectOneObject(getter, round);
    }
    EXPECT_EQ(input_object.asks, 1) << round;
    EXPECT_EQ(output_object.reference_asks, 1) << round;
    EXPECT_EQ(output_object.volume_asks, 1) << round;
    EXPECT_EQ(debug_asks, 1) << round;
    EXPECT_EQ(media_asks, 1) << round;
    input->Destroy(input);
    output->Destroy(output);
    manager->Destroy(manager);
    if (::testing::Test::HasFailure())
      break;
  }
  std::cout << "5 structure-side getters, " << kRounds << " rounds of "
            << kThreads << " concurrent first callers: "
            << std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count()
            << " ms\n";
}

}  // namespace
}  // namespace assistant_client
