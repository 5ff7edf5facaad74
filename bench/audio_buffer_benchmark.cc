// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// One audio buffer handed to an observer through the bridge, against the
// same direct virtual call. The observer reads the samples' address through
// the buffer it was given; each benchmark fails unless that is the
// producer's own memory, so the figures prove that no sample is copied. Two
// buffer sizes show that the cost does not grow with the samples.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/alloc_counter.h"
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/assistant_client.h"

namespace {

using assistant_client::AudioBuffer;
using assistant_client::AudioInput;
using assistant_client::BufferFormat;
namespace internal_api = assistant_client::internal_api;

class Buffer : public AudioBuffer {
 public:
  explicit Buffer(int frames) : samples_(frames) {}
  BufferFormat GetFormat() const override { return BufferFormat(); }
  const void* GetData() const override { return samples_.data(); }
  void* GetWritableData() override { return samples_.data(); }
  int GetFrameCount() const override {
    return static_cast<int>(samples_.size());
  }

 private:
  std::vector<int16_t> samples_;  // Mono, 16 bits.
};

// What a capture client does at the least: look at the samples.
class Observer : public AudioInput::Observer {
 public:
  void OnBufferAvailable(const AudioBuffer& buffer,
                         long long timestamp) override {
    seen_data_ = buffer.GetData();
    frames_ += buffer.GetFrameCount();
    last_timestamp_ = timestamp;
  }
  void OnError(AudioInput::Error) override {}
  void OnStopped() override {}

  const void* seen_data() const { return seen_data_; }

 private:
  const void* seen_data_ = nullptr;
  long long frames_ = 0;
  long long last_timestamp_ = 0;
};

// Runs |deliver| once per iteration and checks what the observer saw.
template <typename Deliver>
void Run(benchmark::State& state,
         const Buffer& buffer,
         const Observer& observer,
         Deliver deliver) {
  const uint64_t allocations = bench::AllocationsOnThisThread();
  long long timestamp = 0;
  for (auto _ : state)
    deliver(++timestamp);
  state.counters["allocs"] = benchmark::Counter(
      static_cast<double>(bench::AllocationsOnThisThread() - allocations),
      benchmark::Counter::kAvgIterations);
  const bool same = observer.seen_data() == buffer.GetData();
  state.counters["same_data_pointer"] = same ? 1 : 0;
  if (!same)
    state.SkipWithError("the observer saw a copy of the samples");
}

void BM_Buffer_DirectVirtual(benchmark::State& state) {
  Buffer buffer(static_cast<int>(state.range(0)));
  Observer observer;
  AudioInput::Observer* target = &observer;
  benchmark::DoNotOptimize(target);
  Run(state, buffer, observer, [&](long long timestamp) {
    target->OnBufferAvailable(buffer, timestamp);
  });
}
BENCHMARK(BM_Buffer_DirectVirtual)->Arg(160)->Arg(16000);

// The peer delivers its own buffer structure to our observer's structure.
void BM_Buffer_StructureSide(benchmark::State& state) {
  Buffer buffer(static_cast<int>(state.range(0)));
  Observer observer;
  C_API_AudioBuffer* c_buffer =
      internal_api::AudioBufferToC(&buffer, /*owned=*/false, 0);
  C_API_AudioInputObserver* c_observer =
      internal_api::AudioInputObserverToC(&observer, 0);
  benchmark::DoNotOptimize(c_observer);
  Run(state, buffer, observer, [&](long long timestamp) {
    c_observer->OnBufferAvailable(c_observer, c_buffer, timestamp);
  });
  c_observer->OnStopped(c_observer);  // Frees the observer's structure.
  internal_api::DestroyAudioBufferInC(c_buffer);
}
BENCHMARK(BM_Buffer_StructureSide)->Arg(160)->Arg(16000);

// Our input delivers to a peer's observer: interface side, then the
// structure side of that observer, as when both ends are bridged.
void BM_Buffer_BothSides(benchmark::State& state) {
  Buffer buffer(static_cast<int>(state.range(0)));
  Observer observer;
  AudioInput::Observer* target = internal_api::AudioInputObserverFromC(
      internal_api::AudioInputObserverToC(&observer, 0));
  benchmark::DoNotOptimize(target);
  Run(state, buffer, observer, [&](long long timestamp) {
    target->OnBufferAvailable(buffer, timestamp);
  });
  target->OnStopped();  // Frees both wrappers.
}
BENCHMARK(BM_Buffer_BothSides)->Arg(160)->Arg(16000);

}  // namespace
