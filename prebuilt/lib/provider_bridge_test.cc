// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The file, network, DNS-SD responder, system, power-manager and auth
// bridges: every operation's arguments and results through both wrappers,
// owned vs borrowed providers, caches, and the named callback structures.
#include <stdint.h>

#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
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
using Pairs = std::vector<std::pair<std::string, std::string>>;

// ---- FileProvider -----------------------------------------------------------

class RecordingFileProvider : public FileProvider, private DeletionCounted {
 public:
  explicit RecordingFileProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string ReadFile(const std::string& path) override {
    calls.push_back("read " + path);
    return contents;
  }
  bool WriteFile(const std::string& path, const std::string& data) override {
    calls.push_back("write " + path + "=" + data);
    return answer;
  }
  std::string ReadSecureFile(const std::string& path) override {
    calls.push_back("read secure " + path);
    return contents + "!";
  }
  bool WriteSecureFile(const std::string& path,
                       const std::string& data) override {
    calls.push_back("write secure " + path + "=" + data);
    return !answer;
  }
  bool GetResource(uint16_t id, std::string* out) override {
    calls.push_back("resource " + std::to_string(id));
    *out = contents;
    return answer;
  }
  void CleanAssistantData() override { calls.push_back("clean"); }

  std::vector<std::string> calls;
  std::string contents;
  bool answer = true;
};

TEST(FileProviderBridgeTest, EveryOperationCrossesWithItsTextsAndAnswers) {
  RecordingFileProvider provider;
  std::unique_ptr<FileProvider> file(
      FileProviderFromC(FileProviderToC(&provider, false, 0)));
  provider.contents = "da\0ta"s;
  EXPECT_EQ(file->ReadFile("p\0q"s), "da\0ta"s);
  EXPECT_TRUE(file->WriteFile("w", "\0x"s));
  EXPECT_FALSE(file->WriteSecureFile("s", ""));
  EXPECT_EQ(file->ReadSecureFile(""), "da\0ta!"s);
  provider.answer = false;
  EXPECT_FALSE(file->WriteFile("w2", "y"));
  file->CleanAssistantData();
  EXPECT_EQ(provider.calls,
            (std::vector<std::string>{"read p\0q"s, "write w=\0x"s,
                                      "write secure s=", "read secure ",
                                      "write w2=y", "clean"}));
}

TEST(FileProviderBridgeTest, ResourceTextArrivesWhateverTheAnswer) {
  RecordingFileProvider provider;
  std::unique_ptr<FileProvider> file(
      FileProviderFromC(FileProviderToC(&provider, false, 0)));
  provider.contents = "partial\0"s;
  provider.answer = false;
  std::string out = "stale";
  EXPECT_FALSE(file->GetResource(0xfffe, &out));
  EXPECT_EQ(out, "partial\0"s);
  provider.contents = "";
  provider.answer = true;
  out = "stale";
  EXPECT_TRUE(file->GetResource(7, &out));
  EXPECT_EQ(out, "");
  EXPECT_EQ(provider.calls,
            (std::vector<std::string>{"resource 65534", "resource 7"}));
}

TEST(FileProviderBridgeTest,
     OwnedProviderDiesWithItsStructureBorrowedOneLives) {
  Deletions deletions;
  C_API_FileProvider* owned =
      FileProviderToC(new RecordingFileProvider(&deletions), true, 0);
  owned->Destroy(owned);
  EXPECT_EQ(deletions.count, 1);

  DestroyFileProviderInC(
      FileProviderToC(new RecordingFileProvider(&deletions), true, 0));
  EXPECT_EQ(deletions.count, 2);
  DestroyFileProviderInC(nullptr);

  RecordingFileProvider borrowed(&deletions);
  delete FileProviderFromC(FileProviderToC(&borrowed, false, 0));
  EXPECT_EQ(deletions.count, 2);
  delete FileProviderFromC(
      FileProviderToC(new RecordingFileProvider(&deletions), true, 0));
  EXPECT_EQ(deletions.count, 3);
}

// ---- NetworkProvider and MdnsResponder --------------------------------------

class RecordingResponder : public MdnsResponder {
 public:
  void AddService(const std::string& type,
                  const std::string& name,
                  uint16_t port,
                  const std::string& txt,
                  ResultCallback callback) override {
    calls.push_back("add " + type + "|" + name + "|" + std::to_string(port) +
                    "|" + txt);
    callbacks.push_back(std::move(callback));
  }
  void RemoveService(const std::string& type,
                     const std::string& name) override {
    calls.push_back("remove " + type + "|" + name);
  }
  void UpdateTxtRecord(const std::string& type,
                       const std::string& name,
                       const std::string& txt,
                       ResultCallback callback) override {
    calls.push_back("update " + type + "|" + name + "|" + txt);
    callbacks.push_back(std::move(callback));
  }

  std::vector<std::string> calls;
  std::vector<ResultCallback> callbacks;
};

class RecordingNetworkProvider : public NetworkProvider,
                                 private DeletionCounted {
 public:
  explicit RecordingNetworkProvider(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  ConnectionStatus GetConnectionStatus() override { return status; }
  MdnsResponder* GetMdnsResponder() override {
    ++responder_asks;
    SlowPeer();
    return responder;
  }

  ConnectionStatus status = UNKNOWN;
  MdnsResponder* responder = nullptr;
  std::atomic<int> responder_asks{0};
};

TEST(NetworkProviderBridgeTest, EveryStatusCrossesUnchanged) {
  RecordingNetworkProvider provider;
  std::unique_ptr<NetworkProvider> network(
      NetworkProviderFromC(NetworkProviderToC(&provider, false, 0)));
  for (int status = NetworkProvider::UNKNOWN;
       status <= NetworkProvider::CONNECTED; ++status) {
    provider.status = static_cast<NetworkProvider::ConnectionStatus>(status);
    EXPECT_EQ(network->GetConnectionStatus(), status);
  }
}

TEST(NetworkProviderBridgeTest, ResponderIsAskedForOnceEvenWhenAbsent) {
  RecordingNetworkProvider absent;
  std::unique_ptr<NetworkProvider> without(
      NetworkProviderFromC(NetworkProviderToC(&absent, false, 0)));
  EXPECT_EQ(without->GetMdnsResponder(), nullptr);
  EXPECT_EQ(without->GetMdnsResponder(), nullptr);
  EXPECT_EQ(absent.responder_asks, 1);

  RecordingResponder responder;
  RecordingNetworkProvider present;
  present.responder = &responder;
  std::unique_ptr<NetworkProvider> with(
      NetworkProviderFromC(NetworkProviderToC(&present, false, 0)));
  std::mutex mutex;
  std::set<MdnsResponder*> seen;
  RunTogether(8, [&] {
    MdnsResponder* r = with->GetMdnsResponder();
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(r);
  });
  EXPECT_EQ(present.responder_asks, 1);
  ASSERT_EQ(seen.size(), 1u);
  ASSERT_NE(*seen.begin(), nullptr);
  (*seen.begin())->RemoveService("t", "n");
  EXPECT_EQ(responder.calls, std::vector<std::string>{"remove t|n"});
}

TEST(NetworkProviderBridgeTest, StructureSideHandsOutDistinctResponders) {
  RecordingResponder responder;
  RecordingNetworkProvider provider;
  provider.responder = &responder;
  C_API_NetworkProvider* c = NetworkProviderToC(&provider, false, 6);
  C_API_MdnsResponder* first = c->GetMdnsResponder(c);
  C_API_MdnsResponder* second = c->GetMdnsResponder(c);
  ASSERT_NE(first, second);
  EXPECT_EQ(second->descriptor.peer_api_version, 6);
  first->Destroy(first);
  second->RemoveService(second, StringToC("t"), StringToC("n"));
  second->Destroy(second);
  EXPECT_EQ(responder.calls, std::vector<std::string>{"remove t|n"});
  c->Destroy(c);

  provider.responder = nullptr;
  c = NetworkProviderToC(&provider, false, 0);
  EXPECT_EQ(c->GetMdnsResponder(c), nullptr);
  c->Destroy(c);
}

TEST(MdnsResponderBridgeTest, TextsWithNulsPortsAndResultsCrossWhole) {
  RecordingResponder responder;
  std::unique_ptr<MdnsResponder> mdns(
      MdnsResponderFromC(MdnsResponderToC(&responder, 0)));
  const std::string txt = "\x04k=v\0\x03z=\0"s;
  std::vector<std::pair<MdnsResponder::Result, std::string>> results;
  auto collect = [&](MdnsResponder::Result result, std::string message) {
    results.emplace_back(result, message);
  };
  mdns->AddService("_v._tcp", "Kitchen\0 2"s, 0xfff1, txt, collect);
  mdns->UpdateTxtRecord("_v._tcp", "", "", collect);
  mdns->RemoveService("_v._tcp", "Kitchen\0 2"s);
  EXPECT_EQ(responder.calls,
            (std::vector<std::string>{"add _v._tcp|Kitchen\0 2|65521|"s + txt,
                                      "update _v._tcp||",
                                      "remove _v._tcp|Kitchen\0 2"s}));
  ASSERT_EQ(responder.callbacks.size(), 2u);
  responder.callbacks[1](MdnsResponder::NON_FATAL_ERROR, "busy\0"s);
  responder.callbacks[0](MdnsResponder::SUCCESS, "");
  responder.callbacks[0](MdnsResponder::FATAL_ERROR, "late");
  EXPECT_EQ(results,
            (std::vector<std::pair<MdnsResponder::Result, std::string>>{
                {MdnsResponder::NON_FATAL_ERROR, "busy\0"s},
                {MdnsResponder::SUCCESS, ""}}));
}

TEST(MdnsResponderBridgeTest, ResultCallbackStructureDeliversOnceReleasesOnce) {
  CallCounts invoked;
  std::vector<int> delivered;
  C_API_MdnsResponderResultCallback* c = MdnsResponderResultCallbackToC(
      MdnsResponder::ResultCallback(
          [&, probe = Probe(&invoked)](MdnsResponder::Result result,
                                       std::string) mutable {
            delivered.push_back(result);
            probe();
          }),
      3);
  EXPECT_EQ(c->descriptor.peer_api_version, 3);
  c->Invoke(c, MdnsResponder::SUCCESS, StringToC("ok"));
  c->Invoke(c, MdnsResponder::FATAL_ERROR, StringToC("again"));
  EXPECT_EQ(delivered, std::vector<int>{MdnsResponder::SUCCESS});
  EXPECT_EQ(invoked.releases, 1);
  c->Destroy(c);

  CallCounts dropped;
  c = MdnsResponderResultCallbackToC(
      MdnsResponder::ResultCallback(Probe(&dropped)), 0);
  c->Destroy(c);
  EXPECT_EQ(dropped.runs, 0);
  EXPECT_EQ(dropped.releases, 1);
}

TEST(MdnsResponderBridgeDeathTest, NullResultCallbackStructureAborts) {
  testing_support::UseFreshDeathTestProcesses();
  RecordingResponder responder;
  C_API_MdnsResponder* c = MdnsResponderToC(&responder, 0);
  EXPECT_BRIDGE_DEATH(c->AddService(c, StringToC("t"), StringToC("n"), 1,
                                    StringToC(""), nullptr));
  c->Destroy(c);
}

// ---- SystemProvider and PowerManagerProvider --------------------------------

class RecordingPowerManager : public PowerManagerProvider {
 public:
  int64_t AddWakeAlarm(unsigned long long first,
                       unsigned long long second,
                       Callback<false> callback) override {
    values.push_back(first);
    values.push_back(second);
    alarm = std::move(callback);
    return std::numeric_limits<int64_t>::min();
  }
  void ExpireWakeAlarmNow(unsigned long long value) override {
    values.push_back(value);
  }
  void AcquireWakeLock() override { ++acquires; }
  void ReleaseWakeLock() override { ++releases; }

  std::vector<unsigned long long> values;
  Callback<false> alarm;
  int acquires = 0;
  int releases = 0;
};

class RecordingSystemProvider : public SystemProvider, private DeletionCounted {
 public:
  explicit RecordingSystemProvider(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  int GetMicMuteState() override { return mute; }
  void RegisterMicMuteChangeCallback(Callback<true> callback) override {
    mute_changed = std::move(callback);
  }
  PowerManagerProvider* GetPowerManagerProvider() override {
    ++power_asks;
    SlowPeer();
    return power;
  }
  bool GetBatteryState(BatteryState* state) override {
    *state = battery;
    return battery_known;
  }
  void UpdateTimezoneAndLocale(const std::string& timezone,
                               const std::string& locale) override {
    calls.push_back(timezone + "|" + locale);
  }
  void ProcessTpm(TpmProcessingType type,
                  const std::string& data,
                  Callback<false, std::string> callback) override {
    calls.push_back("tpm " + std::to_string(type) + "|" + data);
    tpm_done = std::move(callback);
  }

  int mute = 0;
  Callback<true> mute_changed;
  PowerManagerProvider* power = nullptr;
  std::atomic<int> power_asks{0};
  BatteryState battery;
  bool battery_known = false;
  std::vector<std::string> calls;
  Callback<false, std::string> tpm_done;
};

class SystemProviderBridgeTest : public ::testing::Test {
 protected:
  SystemProviderBridgeTest()
      : system_(SystemProviderFromC(SystemProviderToC(&provider_, false, 0))) {}
  RecordingSystemProvider provider_;
  std::unique_ptr<SystemProvider> system_;
};

TEST_F(SystemProviderBridgeTest, OperationsCrossWithTheirValues) {
  provider_.mute = 1;
  EXPECT_EQ(system_->GetMicMuteState(), 1);
  provider_.mute = 0;
  EXPECT_EQ(system_->GetMicMuteState(), 0);

  system_->UpdateTimezoneAndLocale("Europe/Paris", "fr\0FR"s);
  std::string signature;
  system_->ProcessTpm(SystemProvider::kDecrypt, "da\0ta"s,
                      [&](std::string s) { signature = s; });
  EXPECT_EQ(provider_.calls, (std::vector<std::string>{"Europe/Paris|fr\0FR"s,
                                                       "tpm 2|da\0ta"s}));
  provider_.tpm_done("sig\0"s);
  EXPECT_EQ(signature, "sig\0"s);
}

TEST_F(SystemProviderBridgeTest, MuteChangeCallbackRepeatsUntilReleased) {
  CallCounts counts;
  system_->RegisterMicMuteChangeCallback(Callback<true>(Probe(&counts)));
  provider_.mute_changed();
  provider_.mute_changed();
  provider_.mute_changed();
  EXPECT_EQ(counts.runs, 3);
  EXPECT_EQ(counts.releases, 0);
  provider_.mute_changed = Callback<true>();
  EXPECT_EQ(counts.releases, 1);
}

TEST_F(SystemProviderBridgeTest, BatteryStateCrossesAsTwoWords) {
  provider_.battery = {true, 77};
  provider_.battery_known = true;
  SystemProvider::BatteryState state;
  EXPECT_TRUE(system_->GetBatteryState(&state));
  EXPECT_TRUE(state.is_charging);
  EXPECT_EQ(state.charge_percent, 77);

  provider_.battery = {false, 5};
  provider_.battery_known = false;
  state = {true, 0};
  EXPECT_FALSE(system_->GetBatteryState(&state));
  EXPECT_FALSE(state.is_charging);
  EXPECT_EQ(state.charge_percent, 5);

  // The structure side writes 1 or 0 and skips null out-parameters.
  C_API_SystemProvider* c = SystemProviderToC(&provider_, false, 0);
  provider_.battery = {true, 40};
  int first = 9;
  int second = 9;
  EXPECT_FALSE(c->GetBatteryState(c, &first, &second));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 40);
  provider_.battery_known = true;
  EXPECT_TRUE(c->GetBatteryState(c, nullptr, nullptr));
  c->Destroy(c);
}

TEST_F(SystemProviderBridgeTest, PowerManagerIsAskedForOnceEvenWhenAbsent) {
  EXPECT_EQ(system_->GetPowerManagerProvider(), nullptr);
  EXPECT_EQ(system_->GetPowerManagerProvider(), nullptr);
  EXPECT_EQ(provider_.power_asks, 1);

  RecordingPowerManager power;
  RecordingSystemProvider with_power;
  with_power.power = &power;
  std::unique_ptr<SystemProvider> system(
      SystemProviderFromC(SystemProviderToC(&with_power, false, 0)));
  std::mutex mutex;
  std::set<PowerManagerProvider*> seen;
  RunTogether(8, [&] {
    PowerManagerProvider* p = system->GetPowerManagerProvider();
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(p);
  });
  EXPECT_EQ(with_power.power_asks, 1);
  ASSERT_EQ(seen.size(), 1u);
  ASSERT_NE(*seen.begin(), nullptr);
}

TEST(PowerManagerBridgeTest, SixtyFourBitValuesCrossUnchanged) {
  RecordingPowerManager power;
  RecordingSystemProvider provider;
  provider.power = &power;
  std::unique_ptr<SystemProvider> system(
      SystemProviderFromC(SystemProviderToC(&provider, false, 0)));
  PowerManagerProvider* manager = system->GetPowerManagerProvider();
  CallCounts fired;
  EXPECT_EQ(manager->AddWakeAlarm(std::numeric_limits<uint64_t>::max(),
                                  1ull << 40, Callback<false>(Probe(&fired))),
            std::numeric_limits<int64_t>::min());
  manager->ExpireWakeAlarmNow(0x8000000000000001ull);
  manager->AcquireWakeLock();
  manager->ReleaseWakeLock();
  manager->ReleaseWakeLock();
  EXPECT_EQ(power.values, (std::vector<unsigned long long>{
                              std::numeric_limits<uint64_t>::max(), 1ull << 40,
                              0x8000000000000001ull}));
  EXPECT_EQ(power.acquires, 1);
  EXPECT_EQ(power.releases, 2);
  power.alarm();
  EXPECT_EQ(fired.runs, 1);
  EXPECT_EQ(fired.releases, 1);
}

TEST(SystemProviderStructureTest, DefaultsAnswerNullAndFalse) {
  InertSystemProvider provider;
  C_API_SystemProvider* c = SystemProviderToC(&provider, false, 0);
  EXPECT_EQ(c->GetPowerManagerProvider(c), nullptr);
  int first = 3;
  int second = 3;
  EXPECT_FALSE(c->GetBatteryState(c, &first, &second));
  c->Destroy(c);
}

TEST(SystemProviderStructureTest, NullGenericCallbackArrivesEmpty) {
  RecordingSystemProvider provider;
  provider.mute_changed = Callback<true>([] {});
  C_API_SystemProvider* c = SystemProviderToC(&provider, false, 0);
  c->RegisterMicMuteChangeCallback(c, nullptr);
  EXPECT_FALSE(provider.mute_changed);
  provider.mute_changed();
  c->Destroy(c);
}

TEST(SystemProviderStructureTest, OwnedProviderDiesWithItsStructure) {
  Deletions deletions;
  DestroySystemProviderInC(
      SystemProviderToC(new RecordingSystemProvider(&deletions), true, 0));
  RecordingSystemProvider borrowed(&deletions);
  DestroySystemProviderInC(SystemProviderToC(&borrowed, false, 0));
  EXPECT_EQ(deletions.count, 1);
}

// ---- AuthProvider -----------------------------------------------------------

class RecordingAuthProvider : public AuthProvider, private DeletionCounted {
 public:
  explicit RecordingAuthProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string GetAuthClientId() override { return "id\0"s; }
  std::vector<std::string> GetClientCertificateChain() override {
    return chain;
  }
  std::string GetAttestationCertFingerprint() override { return ""; }
  void CreateCredentialAttestationJwt(const std::string& text,
                                      const Pairs& pairs,
                                      CredentialCallback callback) override {
    texts.push_back(text);
    pair_sets.push_back(pairs);
    credential = std::move(callback);
  }
  void CreateRefreshAssertionJwt(const std::string& text,
                                 const Pairs& pairs,
                                 AssertionCallback callback) override {
    texts.push_back(text);
    pair_sets.push_back(pairs);
    refresh = std::move(callback);
  }
  void CreateDeviceAttestationJwt(const Pairs& pairs,
                                  AssertionCallback) override {
    pair_sets.push_back(pairs);  // Drops the callback unrun.
  }
  void RemoveCredentialKey(const std::string& key) override {
    texts.push_back("remove " + key);
  }
  void Reset() override { texts.push_back("reset"); }

  std::vector<std::string> chain;
  std::vector<std::string> texts;
  std::vector<Pairs> pair_sets;
  CredentialCallback credential;
  AssertionCallback refresh;
};

TEST(AuthProviderBridgeTest, ResultsAndArgumentsCrossWholeAndInOrder) {
  RecordingAuthProvider provider;
  std::unique_ptr<AuthProvider> auth(
      AuthProviderFromC(AuthProviderToC(&provider, false, 0)));
  EXPECT_EQ(auth->GetAuthClientId(), "id\0"s);
  EXPECT_EQ(auth->GetAttestationCertFingerprint(), "");
  EXPECT_TRUE(auth->GetClientCertificateChain().empty());
  provider.chain = {"leaf", "", "ro\0ot"s};
  EXPECT_EQ(auth->GetClientCertificateChain(), provider.chain);

  std::vector<std::string> answers;
  auth->CreateCredentialAttestationJwt(
      "t\0"s, {},
      [&](AuthProvider::Error error, std::string first, std::string second) {
        answers.push_back(std::to_string(error) + "|" + first + "|" + second);
      });
  auth->CreateRefreshAssertionJwt(
      "r", {{"k", "v\0"s}, {"", ""}},
      [&](AuthProvider::Error error, std::string jwt) {
        answers.push_back(std::to_string(error) + "|" + jwt);
      });
  CallCounts device;
  auth->CreateDeviceAttestationJwt(
      {{"a", "b"}}, AuthProvider::AssertionCallback(Probe(&device)));
  auth->RemoveCredentialKey("key\0"s);
  auth->Reset();

  EXPECT_EQ(provider.texts,
            (std::vector<std::string>{"t\0"s, "r", "remove key\0"s, "reset"}));
  EXPECT_EQ(provider.pair_sets,
            (std::vector<Pairs>{{}, {{"k", "v\0"s}, {"", ""}}, {{"a", "b"}}}));
  provider.credential(AuthProvider::kKeyNotFound, "a\0"s, "");
  provider.refresh(AuthProvider::kOk, "jwt");
  EXPECT_EQ(answers, (std::vector<std::string>{"2|a\0|"s, "0|jwt"}));
  EXPECT_EQ(device.runs, 0);
  EXPECT_EQ(device.releases, 1);
}

TEST(AuthProviderBridgeTest, CallbackStructuresDeliverOnceAndReleaseOnce) {
  std::vector<std::string> delivered;
  C_API_AuthProviderCredentialCallback* credential =
      AuthProviderCredentialCallbackToC(
          [&](AuthProvider::Error, std::string first, std::string second) {
            delivered.push_back(first + second);
          },
          0);
  credential->Invoke(credential, 0, StringToC("x"), StringToC("y"));
  credential->Invoke(credential, 0, StringToC("late"), StringToC(""));
  credential->Destroy(credential);
  EXPECT_EQ(delivered, std::vector<std::string>{"xy"});

  CallCounts dropped;
  C_API_AuthProviderAssertionCallback* assertion =
      AuthProviderAssertionCallbackToC(
          AuthProvider::AssertionCallback(Probe(&dropped)), 0);
  assertion->Destroy(assertion);
  EXPECT_EQ(dropped.runs, 0);
  EXPECT_EQ(dropped.releases, 1);
}

TEST(AuthProviderBridgeTest, OwnedProviderDiesWithItsStructure) {
  Deletions deletions;
  delete AuthProviderFromC(
      AuthProviderToC(new RecordingAuthProvider(&deletions), true, 0));
  EXPECT_EQ(deletions.count, 1);
  RecordingAuthProvider borrowed(&deletions);
  DestroyAuthProviderInC(AuthProviderToC(&borrowed, false, 0));
  EXPECT_EQ(deletions.count, 1);
}

TEST(FileProviderBridgeDeathTest, NullResourceTargetAborts) {
  testing_support::UseFreshDeathTestProcesses();
  RecordingFileProvider provider;
  std::unique_ptr<FileProvider> file(
      FileProviderFromC(FileProviderToC(&provider, false, 0)));
  EXPECT_BRIDGE_DEATH(file->GetResource(1, nullptr));
}

}  // namespace
}  // namespace assistant_client
