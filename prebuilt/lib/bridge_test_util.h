// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Helpers shared by the bridge tests: counting callables, an ordered event
// log, a spy on a structure's Destroy slot, a start gate for concurrent first
// calls, and inert provider doubles that count their deletion.
#ifndef PREBUILT_LIB_BRIDGE_TEST_UTIL_H_
#define PREBUILT_LIB_BRIDGE_TEST_UTIL_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/event_log.h"

// The bridge's failure style: glibc prints "<file>:<line>: <function>:
// Assertion `false' failed." with the bridge's one source name.
#define EXPECT_BRIDGE_DEATH(statement) \
  EXPECT_DEATH(statement, "prebuilt/lib/api_wrappers:[0-9]+: .*`false'")

namespace assistant_client {
namespace testing_util {

// How often a callable ran and whether its state was released.
struct CallCounts {
  std::atomic<int> runs{0};
  std::atomic<int> releases{0};
};

// A callable for any argument list that counts into |counts|; the release of
// the callback's state is the destruction of the last (heap) copy.
class Probe {
 public:
  explicit Probe(CallCounts* counts) : counts_(counts) {}
  Probe(Probe&& other) noexcept
      : counts_(std::exchange(other.counts_, nullptr)) {}
  Probe& operator=(Probe&&) = delete;
  ~Probe() {
    if (counts_)
      ++counts_->releases;
  }
  template <typename... A>
  void operator()(A&&...) {
    ++counts_->runs;
  }

 private:
  CallCounts* counts_;
};

using testing_support::EventLog;

// Logs |name| when the structure's Destroy slot runs, then runs the original.
// Works for any structure whose Destroy takes the structure (or void*).
class DestroySpy {
 public:
  template <typename CStruct>
  static void Watch(CStruct* c, EventLog* log, const std::string& name) {
    Entry entry{log, name, reinterpret_cast<void (*)(void*)>(c->Destroy)};
    {
      std::lock_guard<std::mutex> lock(Mutex());
      Entries()[c] = entry;
    }
    c->Destroy = &Destroyed<CStruct>;
  }

 private:
  struct Entry {
    EventLog* log;
    std::string name;
    void (*original)(void*);
  };
  template <typename CStruct>
  static void Destroyed(CStruct* c) {
    Entry entry;
    {
      std::lock_guard<std::mutex> lock(Mutex());
      auto it = Entries().find(c);
      ASSERT_NE(it, Entries().end());
      entry = it->second;
      Entries().erase(it);
    }
    entry.log->Add(entry.name);
    reinterpret_cast<void (*)(CStruct*)>(entry.original)(c);
  }
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::map<void*, Entry>& Entries() {
    static auto* entries = new std::map<void*, Entry>();
    return *entries;
  }
};

// Runs |body| on |threads| threads that are released together, so that their
// first calls overlap.
inline void RunTogether(int threads, const std::function<void()>& body) {
  std::mutex mutex;
  std::condition_variable all_arrived;
  int waiting = 0;
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&] {
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (++waiting == threads)
          all_arrived.notify_all();
        else
          all_arrived.wait(lock, [&] { return waiting == threads; });
      }
      body();
    });
  }
  for (std::thread& thread : pool)
    thread.join();
}

// Widens the window in which an unguarded cache would be filled twice.
inline void SlowPeer() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Counts the deletions of the objects that carry it.
struct Deletions {
  std::atomic<int> count{0};
};

class DeletionCounted {
 public:
  explicit DeletionCounted(Deletions* deletions) : deletions_(deletions) {}
  ~DeletionCounted() {
    if (deletions_)
      ++deletions_->count;
  }

 private:
  Deletions* deletions_;
};

// Inert providers: every operation answers a fixed value; only deletion is
// counted. For tests about who owns a provider, not about its operations.
class InertAudioInputProvider : public AudioInputProvider,
                                private DeletionCounted {
 public:
  explicit InertAudioInputProvider(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  AudioInput* GetAudioInput() override { return nullptr; }
  int64_t GetCurrentAudioTime() override { return 11; }
};

class InertAudioOutputProvider : public AudioOutputProvider,
                                 private DeletionCounted {
 public:
  explicit InertAudioOutputProvider(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  AudioOutput* CreateAudioOutput(OutputStreamType,
                                 const OutputStreamFormat&) override {
    return nullptr;
  }
  std::vector<OutputStreamEncoding> GetSupportedStreamEncodings() override {
    return {OutputStreamEncoding::kMp3};
  }
  AudioInput* GetReferenceInput() override { return nullptr; }
  bool SupportsPlaybackTimestamp() const override { return true; }
  VolumeControl* GetVolumeControl() override { return nullptr; }
};

class InertAuthProvider : public AuthProvider, private DeletionCounted {
 public:
  explicit InertAuthProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string GetAuthClientId() override { return "auth"; }
  std::vector<std::string> GetClientCertificateChain() override { return {}; }
  std::string GetAttestationCertFingerprint() override { return {}; }
  void CreateCredentialAttestationJwt(
      const std::string&,
      const std::vector<std::pair<std::string, std::string>>&,
      CredentialCallback) override {}
  void CreateRefreshAssertionJwt(
      const std::string&,
      const std::vector<std::pair<std::string, std::string>>&,
      AssertionCallback) override {}
  void CreateDeviceAttestationJwt(
      const std::vector<std::pair<std::string, std::string>>&,
      AssertionCallback) override {}
  void RemoveCredentialKey(const std::string&) override {}
  void Reset() override {}
};

class InertFileProvider : public FileProvider, private DeletionCounted {
 public:
  explicit InertFileProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string ReadFile(const std::string& path) override {
    return "file:" + path;
  }
  bool WriteFile(const std::string&, const std::string&) override {
    return true;
  }
  std::string ReadSecureFile(const std::string&) override { return {}; }
  bool WriteSecureFile(const std::string&, const std::string&) override {
    return false;
  }
  bool GetResource(uint16_t, std::string*) override { return false; }
  void CleanAssistantData() override {}
};

class InertNetworkProvider : public NetworkProvider, private DeletionCounted {
 public:
  explicit InertNetworkProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  ConnectionStatus GetConnectionStatus() override { return CONNECTED; }
  MdnsResponder* GetMdnsResponder() override { return nullptr; }
};

class InertSystemProvider : public SystemProvider, private DeletionCounted {
 public:
  explicit InertSystemProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  int GetMicMuteState() override { return 1; }
  void RegisterMicMuteChangeCallback(Callback<true>) override {}
  void UpdateTimezoneAndLocale(const std::string&,
                               const std::string&) override {}
  void ProcessTpm(TpmProcessingType,
                  const std::string&,
                  Callback<false, std::string>) override {}
};

// A platform bundle of inert providers that counts its getter calls.
// A debug interface and a media manager that do nothing.
class NullDebugInterface : public DebugInterface {
 public:
  void RegisterUriPath(const std::string&,
                       HandlerCallback,
                       const std::vector<DebugHttpContext::Method>&) override {}
  void SetDebugVariable(const std::string&, const std::string&) override {}
};

class NullMediaManager : public MediaManager {
 public:
  void AddListener(Listener*) override {}
  void Next() override {}
  void Previous() override {}
  void Resume() override {}
  void Pause() override {}
  void StopAndClearPlaylist() override {}
};

class InertPlatformApi : public PlatformApi {
 public:
  explicit InertPlatformApi(Deletions* d = nullptr)
      : audio_input(d),
        audio_output(d),
        auth(d),
        file(d),
        network(d),
        system(d) {}

  AudioInputProvider* GetAudioInputProvider() override {
    ++calls;
    return &audio_input;
  }
  AudioOutputProvider* GetAudioOutputProvider() override {
    ++calls;
    return &audio_output;
  }
  AuthProvider* GetAuthProvider() override {
    ++calls;
    return &auth;
  }
  FileProvider* GetFileProvider() override {
    ++calls;
    return &file;
  }
  NetworkProvider* GetNetworkProvider() override {
    ++calls;
    return &network;
  }
  SystemProvider* GetSystemProvider() override {
    ++calls;
    return &system;
  }

  std::atomic<int> calls{0};
  InertAudioInputProvider audio_input;
  InertAudioOutputProvider audio_output;
  InertAuthProvider auth;
  InertFileProvider file;
  InertNetworkProvider network;
  InertSystemProvider system;
};

// A factory that offers all six kinds (or none), records the configuration
// texts it was given, and deletes each platform wrapper it receives: the
// bridge hands those to the factory.
class CountingFactory : public PlatformFactory, private DeletionCounted {
 public:
  CountingFactory(bool offer,
                  Deletions* provider_deletions,
                  Deletions* factory_deletions = nullptr)
      : DeletionCounted(factory_deletions),
        offer_(offer),
        provider_deletions_(provider_deletions) {}

  AuthProvider* NewAuthProvider(const std::string& config,
                                PlatformApi* platform) override {
    return Make<InertAuthProvider>(config, platform);
  }
  AudioInputProvider* NewAudioInputProvider(const std::string& config,
                                            PlatformApi* platform) override {
    return Make<InertAudioInputProvider>(config, platform);
  }
  AudioOutputProvider* NewAudioOutputProvider(const std::string& config,
                                              PlatformApi* platform) override {
    return Make<InertAudioOutputProvider>(config, platform);
  }
  FileProvider* NewFileProvider(const std::string& config,
                                PlatformApi* platform) override {
    return Make<InertFileProvider>(config, platform);
  }
  NetworkProvider* NewNetworkProvider(const std::string& config,
                                      PlatformApi* platform) override {
    return Make<InertNetworkProvider>(config, platform);
  }
  SystemProvider* NewSystemProvider(const std::string& config,
                                    PlatformApi* platform) override {
    return Make<InertSystemProvider>(config, platform);
  }

  std::vector<std::string> configs;
  // What the platform each call received answered for its file provider.
  std::vector<std::string> platform_reads;

 private:
  template <typename Provider>
  Provider* Make(const std::string& config, PlatformApi* platform) {
    configs.push_back(config);
    EXPECT_NE(platform, nullptr);
    if (platform) {
      platform_reads.push_back(platform->GetFileProvider()->ReadFile("x"));
      internal_api::DestroyPlatformApiInC(platform);
    }
    return offer_ ? new Provider(provider_deletions_) : nullptr;
  }

  const bool offer_;
  Deletions* const provider_deletions_;
};

}  // namespace testing_util
}  // namespace assistant_client

#endif  // PREBUILT_LIB_BRIDGE_TEST_UTIL_H_
