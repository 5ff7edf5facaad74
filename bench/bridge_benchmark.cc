// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The cost of one hop through the bridge (interface side -> C structure ->
// structure side -> object), next to what the same call costs without the
// bridge: a direct virtual call, or a minimal hand-written C hop that makes
// the same copies. Allocations per call are reported as "allocs".
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/alloc_counter.h"
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/assistant_client.h"

namespace {

using assistant_client::AssistantManager;
using assistant_client::Callback;
using Tokens = std::vector<std::pair<std::string, std::string>>;

// Does the least that keeps each argument alive, so that the figures are the
// crossing and not the work.
class BenchManager : public AssistantManager {
 public:
  void Start() override {}
  void Start(Callback<false> done) override { done(); }
  void RegisterDeviceActionHandler(
      assistant_client::DeviceActionHandler*) override {}
  void AddConversationStateListener(
      assistant_client::ConversationStateListener*) override {}
  void AddDeviceStateListener(assistant_client::DeviceStateListener*) override {
  }
  void EnableListening(bool enable) override { listening_ = enable; }
  void PlayAudioWithFocus(uint16_t,
                          assistant_client::OutputStreamType,
                          Callback<false, bool>) override {}
  void StartAssistantInteraction() override {}
  void StopAssistantInteraction() override {}
  void StopTopInteraction() override {}
  void StopAllInteractions() override {}
  void StartPresetUpdateInteraction(const std::string& preset) override {
    benchmark::DoNotOptimize(preset.data());
  }
  void StartPresetExecuteInteraction(const std::string&) override {}
  void SetAuthTokens(const Tokens& tokens) override {
    benchmark::DoNotOptimize(tokens.data());
  }
  std::string GetDeviceId() override { return device_id_; }
  void ResetAllDataAndShutdown() override {}
  assistant_client::DebugInterface* GetDebugInterface() override {
    return nullptr;
  }
  assistant_client::MediaManager* GetMediaManager() override { return nullptr; }
  void StopAllTts() override {}

  bool listening() const { return listening_; }

 private:
  bool listening_ = false;
  const std::string device_id_ = "0123456789ab";  // 12 bytes, as a string arg.
};

// A manager behind the bridge: the interface-side wrapper of a structure
// that wraps a BenchManager.
struct Bridged {
  Bridged()
      : manager(assistant_client::internal_api::AssistantManagerFromC(
            assistant_client::internal_api::AssistantManagerToC(
                new BenchManager(),
                0))) {}
  std::unique_ptr<AssistantManager> manager;  // Deleting it frees all three.
};

// What a C hop needs at the least: the object behind a structure of function
// pointers, each taking the structure first.
struct MinimalHop {
  void (*enable_listening)(MinimalHop* self, int enable);
  void (*start_preset)(MinimalHop* self, C_API_String preset);
  void (*get_device_id)(MinimalHop* self, C_API_StringResult result);
  void (*set_tokens)(MinimalHop* self,
                     const C_API_PairOfStrings* tokens,
                     uint32_t count);
  AssistantManager* object;
};

MinimalHop MakeMinimalHop(AssistantManager* object) {
  MinimalHop hop;
  hop.enable_listening = [](MinimalHop* self, int enable) {
    self->object->EnableListening(enable != 0);
  };
  hop.start_preset = [](MinimalHop* self, C_API_String preset) {
    self->object->StartPresetUpdateInteraction(
        std::string(preset.data, preset.size));
  };
  hop.get_device_id = [](MinimalHop* self, C_API_StringResult result) {
    const std::string id = self->object->GetDeviceId();
    result.store({id.data(), static_cast<uint32_t>(id.size())}, result.target);
  };
  hop.set_tokens = [](MinimalHop* self, const C_API_PairOfStrings* tokens,
                      uint32_t count) {
    Tokens copy;
    copy.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      copy.emplace_back(
          std::string(tokens[i].first.data, tokens[i].first.size),
          std::string(tokens[i].second.data, tokens[i].second.size));
    }
    self->object->SetAuthTokens(copy);
  };
  hop.object = object;
  return hop;
}

// The interface side of the minimal hop: what a hand-written bridge of the
// scalar operation would be, one virtual call onto one C slot.
class MinimalHopManager : public BenchManager {
 public:
  explicit MinimalHopManager(MinimalHop* hop) : hop_(hop) {}
  void EnableListening(bool enable) override {
    hop_->enable_listening(hop_, enable ? 1 : 0);
  }

 private:
  MinimalHop* const hop_;
};

void StoreString(C_API_String value, void* target) {
  static_cast<std::string*>(target)->assign(value.data, value.size);
}

std::string StringOfSize(int64_t size) {
  std::string s;
  for (int64_t i = 0; i < size; ++i)
    s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

Tokens EightTokens() {
  Tokens tokens;
  for (int i = 0; i < 8; ++i)
    tokens.emplace_back("scope-" + std::to_string(i),
                        "token-" + std::to_string(i));
  return tokens;
}

// Reports the allocations of the loop per iteration.
class AllocationScope {
 public:
  explicit AllocationScope(benchmark::State& state)
      : state_(state), start_(bench::AllocationsOnThisThread()) {}
  ~AllocationScope() {
    state_.counters["allocs"] = benchmark::Counter(
        static_cast<double>(bench::AllocationsOnThisThread() - start_),
        benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state_;
  const uint64_t start_;
};

// ---- Scalar -----------------------------------------------------------------

void BM_Scalar_DirectVirtual(benchmark::State& state) {
  BenchManager object;
  AssistantManager* manager = &object;
  benchmark::DoNotOptimize(manager);  // Keeps the call virtual.
  bool enable = false;
  AllocationScope allocations(state);
  for (auto _ : state) {
    manager->EnableListening(enable);
    enable = !enable;
  }
  benchmark::DoNotOptimize(object.listening());
}
BENCHMARK(BM_Scalar_DirectVirtual);

void BM_Scalar_MinimalHop(benchmark::State& state) {
  BenchManager object;
  MinimalHop hop = MakeMinimalHop(&object);
  MinimalHopManager front(&hop);
  AssistantManager* manager = &front;
  benchmark::DoNotOptimize(manager);
  bool enable = false;
  AllocationScope allocations(state);
  for (auto _ : state) {
    manager->EnableListening(enable);
    enable = !enable;
  }
}
BENCHMARK(BM_Scalar_MinimalHop);

void BM_Scalar_Bridge(benchmark::State& state) {
  Bridged bridged;
  AssistantManager* manager = bridged.manager.get();
  benchmark::DoNotOptimize(manager);
  bool enable = false;
  AllocationScope allocations(state);
  for (auto _ : state) {
    manager->EnableListening(enable);
    enable = !enable;
  }
}
BENCHMARK(BM_Scalar_Bridge);

// ---- String argument --------------------------------------------------------

void BM_StringArg_MinimalHop(benchmark::State& state) {
  BenchManager object;
  MinimalHop hop = MakeMinimalHop(&object);
  MinimalHop* c = &hop;
  benchmark::DoNotOptimize(c);
  const std::string preset = StringOfSize(state.range(0));
  AllocationScope allocations(state);
  for (auto _ : state)
    c->start_preset(c, {preset.data(), static_cast<uint32_t>(preset.size())});
}
BENCHMARK(BM_StringArg_MinimalHop)->Arg(12)->Arg(64);

void BM_StringArg_Bridge(benchmark::State& state) {
  Bridged bridged;
  AssistantManager* manager = bridged.manager.get();
  benchmark::DoNotOptimize(manager);
  const std::string preset = StringOfSize(state.range(0));
  AllocationScope allocations(state);
  for (auto _ : state)
    manager->StartPresetUpdateInteraction(preset);
}
BENCHMARK(BM_StringArg_Bridge)->Arg(12)->Arg(64);

// ---- String result ----------------------------------------------------------

void BM_StringResult_MinimalHop(benchmark::State& state) {
  BenchManager object;
  MinimalHop hop = MakeMinimalHop(&object);
  MinimalHop* c = &hop;
  benchmark::DoNotOptimize(c);
  AllocationScope allocations(state);
  for (auto _ : state) {
    std::string id;
    c->get_device_id(c, {&StoreString, &id});
    benchmark::DoNotOptimize(id.data());
  }
}
BENCHMARK(BM_StringResult_MinimalHop);

void BM_StringResult_Bridge(benchmark::State& state) {
  Bridged bridged;
  AssistantManager* manager = bridged.manager.get();
  benchmark::DoNotOptimize(manager);
  AllocationScope allocations(state);
  for (auto _ : state) {
    std::string id = manager->GetDeviceId();
    benchmark::DoNotOptimize(id.data());
  }
}
BENCHMARK(BM_StringResult_Bridge);

// ---- Vector of 8 string pairs -----------------------------------------------

void BM_Vector8Pairs_MinimalHop(benchmark::State& state) {
  BenchManager object;
  MinimalHop hop = MakeMinimalHop(&object);
  MinimalHop* c = &hop;
  benchmark::DoNotOptimize(c);
  const Tokens tokens = EightTokens();
  AllocationScope allocations(state);
  for (auto _ : state) {
    C_API_PairOfStrings views[8];
    for (size_t i = 0; i < tokens.size(); ++i) {
      views[i] = {assistant_client::internal_api::StringToC(tokens[i].first),
                  assistant_client::internal_api::StringToC(tokens[i].second)};
    }
    c->set_tokens(c, views, static_cast<uint32_t>(tokens.size()));
  }
}
BENCHMARK(BM_Vector8Pairs_MinimalHop);

void BM_Vector8Pairs_Bridge(benchmark::State& state) {
  Bridged bridged;
  AssistantManager* manager = bridged.manager.get();
  benchmark::DoNotOptimize(manager);
  const Tokens tokens = EightTokens();
  AllocationScope allocations(state);
  for (auto _ : state)
    manager->SetAuthTokens(tokens);
}
BENCHMARK(BM_Vector8Pairs_Bridge);

// ---- One-shot callback ------------------------------------------------------

void BM_OneShotCallback_Direct(benchmark::State& state) {
  BenchManager object;
  AssistantManager* manager = &object;
  benchmark::DoNotOptimize(manager);
  int runs = 0;
  AllocationScope allocations(state);
  for (auto _ : state)
    manager->Start(Callback<false>([&runs] { ++runs; }));
  if (runs != state.iterations())
    state.SkipWithError("a callback did not run exactly once");
}
BENCHMARK(BM_OneShotCallback_Direct);

void BM_OneShotCallback_Bridge(benchmark::State& state) {
  Bridged bridged;
  AssistantManager* manager = bridged.manager.get();
  benchmark::DoNotOptimize(manager);
  int runs = 0;
  AllocationScope allocations(state);
  for (auto _ : state)
    manager->Start(Callback<false>([&runs] { ++runs; }));
  if (runs != state.iterations())
    state.SkipWithError("a callback did not run exactly once");
}
BENCHMARK(BM_OneShotCallback_Bridge);

}  // namespace
