// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Helpers shared by the bridge tests: counting callables, an ordered event
// log, a spy on a structure's Destroy slot, a start gate for concurrent first
// calls, and inert provider doubles that count their deletion.
#ifndef TESTING_BRIDGE_TEST_UTIL_H_
#define TESTING_BRIDGE_TEST_UTIL_H_

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
#include "testing/inert_providers.h"

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

using testing_support::DeletionCounted;
using testing_support::Deletions;
using testing_support::InertAudioInputProvider;
using testing_support::InertAudioOutputProvider;
using testing_support::InertAuthProvider;
using testing_support::InertFileProvider;
using testing_support::InertNetworkProvider;
using testing_support::InertSystemProvider;

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

#endif  // TESTING_BRIDGE_TEST_UTIL_H_
