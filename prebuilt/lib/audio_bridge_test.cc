// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The audio bridges: buffers crossing without copies, observer and delegate
// lifetimes (freed at OnStopped on both sides), the observer descriptor's
// reserved word, provider caches and ownership, volume packing.
#include <stdint.h>

#include <algorithm>
#include <memory>
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
using Observer = AudioInput::Observer;

class FakeBuffer : public AudioBuffer, private DeletionCounted {
 public:
  explicit FakeBuffer(Deletions* d = nullptr) : DeletionCounted(d) {}
  BufferFormat GetFormat() const override {
    return {SampleFormat::kS32Le, 48000, ChannelLayout::kStereo};
  }
  const void* GetData() const override { return samples; }
  void* GetWritableData() override { return samples; }
  int GetFrameCount() const override { return 4; }

  int32_t samples[8] = {};
};

// The input at the far end of the bridge: remembers what it was given.
class FakeInput : public AudioInput {
 public:
  BufferFormat GetFormat() const override {
    return {SampleFormat::kFloat32Le, 22050, ChannelLayout::kMono};
  }
  void AddObserver(Observer* observer) override {
    added.push_back(observer);
    observers.push_back(observer);
  }
  void RemoveObserver(Observer* observer) override {
    removed.push_back(observer);
    observers.erase(std::find(observers.begin(), observers.end(), observer));
    if (stop_on_remove)
      observer->OnStopped();
  }
  void Deliver(const AudioBuffer& buffer, long long timestamp) {
    for (Observer* observer : observers)
      observer->OnBufferAvailable(buffer, timestamp);
  }
  void Stop() {
    std::vector<Observer*> stopping;
    stopping.swap(observers);
    for (Observer* observer : stopping)
      observer->OnStopped();
  }

  bool stop_on_remove = false;
  std::vector<Observer*> added;
  std::vector<Observer*> removed;
  std::vector<Observer*> observers;
};

class RecordingObserver : public Observer {
 public:
  void OnBufferAvailable(const AudioBuffer& buffer,
                         long long timestamp) override {
    data.push_back(buffer.GetData());
    frames = buffer.GetFrameCount();
    format = buffer.GetFormat();
    timestamps.push_back(timestamp);
  }
  void OnError(AudioInput::Error error) override { errors.push_back(error); }
  void OnStopped() override { ++stops; }

  std::vector<const void*> data;
  int frames = 0;
  BufferFormat format;
  std::vector<long long> timestamps;
  std::vector<AudioInput::Error> errors;
  int stops = 0;
};

void ExpectFormat(const BufferFormat& format, const BufferFormat& expected) {
  EXPECT_EQ(format.sample_format, expected.sample_format);
  EXPECT_EQ(format.sample_rate, expected.sample_rate);
  EXPECT_EQ(format.channel_layout, expected.channel_layout);
}

// ---- AudioBuffer ------------------------------------------------------------

TEST(AudioBufferBridgeTest, RoundTripHandsOutTheOwnersMemory) {
  FakeBuffer buffer;
  std::unique_ptr<AudioBuffer> wrapper(
      AudioBufferFromC(AudioBufferToC(&buffer, false, 0), /*owned=*/true));
  EXPECT_EQ(wrapper->GetData(), buffer.samples);
  EXPECT_EQ(wrapper->GetWritableData(), buffer.samples);
  EXPECT_EQ(wrapper->GetFrameCount(), 4);
  ExpectFormat(wrapper->GetFormat(), buffer.GetFormat());
}

TEST(AudioBufferBridgeTest, OwnershipFollowsBothFlags) {
  Deletions deletions;
  C_API_AudioBuffer* c = AudioBufferToC(new FakeBuffer(&deletions), true, 0);
  delete AudioBufferFromC(c, /*owned=*/false);  // Leaves the peer's buffer.
  EXPECT_EQ(deletions.count, 0);
  DestroyAudioBufferInC(c);
  EXPECT_EQ(deletions.count, 1);

  FakeBuffer borrowed(&deletions);
  c = AudioBufferToC(&borrowed, false, 0);
  c->Destroy(c);
  DestroyAudioBufferInC(static_cast<AudioBuffer*>(nullptr));
  EXPECT_EQ(deletions.count, 1);
}

// ---- AudioInput and observers -----------------------------------------------

class AudioInputBridgeTest : public ::testing::Test {
 protected:
  AudioInputBridgeTest()
      : c_input_(AudioInputToC(&input_, 0)),
        wrapper_(AudioInputFromC(c_input_)) {}
  ~AudioInputBridgeTest() override {
    wrapper_.reset();
    DestroyAudioInputInC(c_input_);
  }

  FakeInput input_;
  C_API_AudioInput* c_input_;
  std::unique_ptr<AudioInput> wrapper_;
};

TEST_F(AudioInputBridgeTest, BuffersErrorsAndStopReachTheObserver) {
  ExpectFormat(wrapper_->GetFormat(), input_.GetFormat());
  RecordingObserver observer;
  wrapper_->AddObserver(&observer);
  ASSERT_EQ(input_.added.size(), 1u);

  FakeBuffer buffer;
  input_.Deliver(buffer, 1ll << 40);
  input_.Deliver(buffer, -1);
  // No copy on the way: the observer reads the producer's samples.
  EXPECT_EQ(observer.data,
            (std::vector<const void*>{buffer.samples, buffer.samples}));
  EXPECT_EQ(observer.timestamps, (std::vector<long long>{1ll << 40, -1}));
  EXPECT_EQ(observer.frames, 4);
  ExpectFormat(observer.format, buffer.GetFormat());

  input_.added[0]->OnError(AudioInput::kOverrun);
  EXPECT_EQ(observer.errors,
            std::vector<AudioInput::Error>{AudioInput::kOverrun});
  input_.Stop();  // Both observer wrappers end here.
  EXPECT_EQ(observer.stops, 1);
}

TEST_F(AudioInputBridgeTest, RemoveAfterStoppedTouchesNothingAndCallsNothing) {
  RecordingObserver observer;
  wrapper_->AddObserver(&observer);
  input_.Stop();
  wrapper_->RemoveObserver(&observer);
  EXPECT_TRUE(input_.removed.empty());
  EXPECT_EQ(observer.stops, 1);
}

TEST_F(AudioInputBridgeTest, SameObserverTwiceIsRemovedOneRegistrationAtATime) {
  input_.stop_on_remove = true;
  RecordingObserver observer;
  RecordingObserver never_added;
  wrapper_->AddObserver(&observer);
  wrapper_->AddObserver(&observer);
  ASSERT_EQ(input_.added.size(), 2u);

  wrapper_->RemoveObserver(&never_added);
  EXPECT_TRUE(input_.removed.empty());
  wrapper_->RemoveObserver(&observer);
  EXPECT_EQ(input_.removed, std::vector<Observer*>{input_.added[0]});
  FakeBuffer buffer;
  input_.Deliver(buffer, 0);
  EXPECT_EQ(observer.data.size(), 1u);  // Through the second one only.

  wrapper_->RemoveObserver(&observer);
  wrapper_->RemoveObserver(&observer);
  EXPECT_EQ(input_.removed, input_.added);
  EXPECT_EQ(observer.stops, 2);
}

TEST_F(AudioInputBridgeTest, StructureSideKeepsItsWrapperInTheReservedWord) {
  RecordingObserver observer;
  C_API_AudioInputObserver* peer_observer = AudioInputObserverToC(&observer, 0);
  RecordingObserver other;
  EXPECT_TRUE(IsAudioInputObserverBackedByCpp(peer_observer, &observer));
  EXPECT_FALSE(IsAudioInputObserverBackedByCpp(peer_observer, &other));
  EXPECT_EQ(peer_observer->descriptor.reserved, 0);

  c_input_->AddObserver(c_input_, peer_observer);
  EXPECT_NE(peer_observer->descriptor.reserved, 0);
  ASSERT_EQ(input_.added.size(), 1u);
  FakeBuffer buffer;
  input_.Deliver(buffer, 5);
  EXPECT_EQ(observer.data, std::vector<const void*>{buffer.samples});

  c_input_->RemoveObserver(c_input_, peer_observer);
  EXPECT_EQ(peer_observer->descriptor.reserved, 0);
  EXPECT_EQ(input_.removed, input_.added);
  c_input_->RemoveObserver(c_input_, peer_observer);
  EXPECT_EQ(input_.removed.size(), 1u);

  // The input still owes the stop, which frees both observer wrappers.
  input_.added[0]->OnStopped();
  EXPECT_EQ(observer.stops, 1);
}

TEST_F(AudioInputBridgeTest, TwoPeerObserversGetTwoWrappers) {
  RecordingObserver first;
  RecordingObserver second;
  C_API_AudioInputObserver* c_first = AudioInputObserverToC(&first, 0);
  C_API_AudioInputObserver* c_second = AudioInputObserverToC(&second, 0);
  c_input_->AddObserver(c_input_, c_first);
  c_input_->AddObserver(c_input_, c_second);
  EXPECT_NE(c_first->descriptor.reserved, c_second->descriptor.reserved);
  c_input_->RemoveObserver(c_input_, c_second);
  EXPECT_EQ(input_.removed, std::vector<Observer*>{input_.added[1]});
  EXPECT_NE(c_first->descriptor.reserved, 0);
  input_.added[1]->OnStopped();
  input_.Stop();
  EXPECT_EQ(first.stops, 1);
  EXPECT_EQ(second.stops, 1);
}

TEST_F(AudioInputBridgeTest, MisTaggedOrNullPeerObserverAborts) {
  testing_support::UseFreshDeathTestProcesses();
  C_API_AudioInputObserver bogus = {};
  EXPECT_BRIDGE_DEATH(c_input_->AddObserver(c_input_, &bogus));
  EXPECT_BRIDGE_DEATH(c_input_->RemoveObserver(c_input_, &bogus));
  EXPECT_BRIDGE_DEATH(c_input_->AddObserver(c_input_, nullptr));
}

// ---- AudioInputProvider -----------------------------------------------------

class FakeInputProvider : public AudioInputProvider, private DeletionCounted {
 public:
  explicit FakeInputProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  AudioInput* GetAudioInput() override {
    ++asks;
    return &input;
  }
  int64_t GetCurrentAudioTime() override { return -(1ll << 41); }

  FakeInput input;
  int asks = 0;
};

TEST(AudioInputProviderBridgeTest, InputIsBuiltOnceOnEachSide) {
  FakeInputProvider provider;
  C_API_AudioInputProvider* c = AudioInputProviderToC(&provider, false, 0);
  C_API_AudioInput* input = c->GetAudioInput(c);
  EXPECT_EQ(c->GetAudioInput(c), input);
  EXPECT_EQ(c->GetCurrentAudioTime(c), -(1ll << 41));

  std::unique_ptr<AudioInputProvider> wrapper(AudioInputProviderFromC(c));
  AudioInput* wrapped = wrapper->GetAudioInput();
  EXPECT_EQ(wrapper->GetAudioInput(), wrapped);
  EXPECT_EQ(provider.asks, 1);
  EXPECT_EQ(wrapper->GetCurrentAudioTime(), -(1ll << 41));
  ExpectFormat(wrapped->GetFormat(), provider.input.GetFormat());
}

TEST(AudioInputProviderBridgeTest, DestroyDeletesTheProviderOnlyWhenOwned) {
  Deletions deletions;
  C_API_AudioInputProvider* owned =
      AudioInputProviderToC(new FakeInputProvider(&deletions), true, 0);
  owned->GetAudioInput(owned);
  DestroyAudioInputProviderInC(owned);
  EXPECT_EQ(deletions.count, 1);

  FakeInputProvider borrowed(&deletions);
  C_API_AudioInputProvider* c = AudioInputProviderToC(&borrowed, false, 0);
  c->GetAudioInput(c);
  c->Destroy(c);
  EXPECT_EQ(deletions.count, 1);
}

// ---- AudioOutput, delegates, AudioOutputProvider, VolumeControl -------------

class FakeOutput : public AudioOutput, private DeletionCounted {
 public:
  FakeOutput(OutputStreamType type, Deletions* d)
      : DeletionCounted(d), type_(type) {}
  OutputStreamType GetType() override { return type_; }
  void Start(Delegate* delegate) override { delegates.push_back(delegate); }
  void Stop() override { ++stops; }

  std::vector<Delegate*> delegates;
  int stops = 0;

 private:
  const OutputStreamType type_;
};

class RecordingDelegate : public AudioOutput::Delegate {
 public:
  void FillBuffer(void* buffer,
                  int size,
                  long long timestamp,
                  Callback<false, int> callback) override {
    buffers.push_back(buffer);
    sizes.push_back(size);
    timestamps.push_back(timestamp);
    filled = std::move(callback);
  }
  void OnEndOfStream() override { ++ends; }
  void OnError(AudioOutput::Error error) override { errors.push_back(error); }
  void OnStopped() override { ++stops; }

  std::vector<void*> buffers;
  std::vector<int> sizes;
  std::vector<long long> timestamps;
  Callback<false, int> filled;
  int ends = 0;
  std::vector<AudioOutput::Error> errors;
  int stops = 0;
};

class RecordingVolume : public VolumeControl {
 public:
  void SetAudioFocus(OutputStreamType type) override { focus.push_back(type); }
  float GetSystemVolume() override { return system; }
  void SetSystemVolume(float volume, bool flag) override {
    system = volume;
    flags.push_back(flag);
  }
  float GetAlarmVolume() override { return alarm; }
  void SetAlarmVolume(float volume, bool flag) override {
    alarm = volume;
    flags.push_back(flag);
  }
  bool IsSystemMuted() override { return muted; }
  void SetSystemMuted(bool value) override { muted = value; }

  std::vector<OutputStreamType> focus;
  float system = 0.25f;
  float alarm = 1.0f;
  std::vector<bool> flags;
  bool muted = false;
};

class FakeOutputProvider : public AudioOutputProvider, private DeletionCounted {
 public:
  explicit FakeOutputProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  AudioOutput* CreateAudioOutput(OutputStreamType type,
                                 const OutputStreamFormat& format) override {
    created_format = format;
    last_output = new FakeOutput(type, &output_deletions);
    return last_output;
  }
  std::vector<OutputStreamEncoding> GetSupportedStreamEncodings() override {
    return encodings;
  }
  AudioInput* GetReferenceInput() override {
    ++reference_asks;
    return reference;
  }
  bool SupportsPlaybackTimestamp() const override { return timestamps; }
  VolumeControl* GetVolumeControl() override {
    ++volume_asks;
    return &volume;
  }
  void RegisterAudioEmittingStateCallback(
      Callback<true, bool> callback) override {
    emitting = std::move(callback);
  }

  OutputStreamFormat created_format;
  FakeOutput* last_output = nullptr;
  Deletions output_deletions;
  std::vector<OutputStreamEncoding> encodings;
  AudioInput* reference = nullptr;
  int reference_asks = 0;
  bool timestamps = false;
  RecordingVolume volume;
  int volume_asks = 0;
  Callback<true, bool> emitting;
};

class AudioOutputBridgeTest : public ::testing::Test {
 protected:
  AudioOutputBridgeTest()
      : wrapper_(AudioOutputProviderFromC(
            AudioOutputProviderToC(&provider_, false, 0))) {}
  FakeOutputProvider provider_;
  std::unique_ptr<AudioOutputProvider> wrapper_;
};

TEST_F(AudioOutputBridgeTest, OutputAndDelegateCrossAndEndAtOnStopped) {
  OutputStreamFormat format;
  format.encoding = OutputStreamEncoding::kOpus;
  format.sample_rate = 48000;
  format.channels = 2;
  std::unique_ptr<AudioOutput> output(
      wrapper_->CreateAudioOutput(OutputStreamType::kMedia, format));
  EXPECT_EQ(provider_.created_format.encoding, OutputStreamEncoding::kOpus);
  EXPECT_EQ(provider_.created_format.sample_rate, 48000);
  EXPECT_EQ(provider_.created_format.channels, 2);
  EXPECT_EQ(output->GetType(), OutputStreamType::kMedia);

  RecordingDelegate delegate;
  output->Start(&delegate);
  FakeOutput* fake = provider_.last_output;
  ASSERT_EQ(fake->delegates.size(), 1u);
  AudioOutput::Delegate* peer = fake->delegates[0];
  char raw[256];
  int filled_with = -1;
  peer->FillBuffer(raw, sizeof(raw), 1ll << 35,
                   [&](int bytes) { filled_with = bytes; });
  EXPECT_EQ(delegate.buffers, std::vector<void*>{raw});
  EXPECT_EQ(delegate.sizes, std::vector<int>{256});
  EXPECT_EQ(delegate.timestamps, std::vector<long long>{1ll << 35});
  delegate.filled(128);
  EXPECT_EQ(filled_with, 128);
  peer->OnEndOfStream();
  peer->OnError(AudioOutput::kUnderrun);
  EXPECT_EQ(delegate.ends, 1);
  EXPECT_EQ(delegate.errors,
            std::vector<AudioOutput::Error>{AudioOutput::kUnderrun});
  peer->OnStopped();  // Frees both delegate wrappers.
  EXPECT_EQ(delegate.stops, 1);

  output->Stop();
  EXPECT_EQ(fake->stops, 1);
  output.reset();  // The caller owns the output.
  EXPECT_EQ(provider_.output_deletions.count, 1);
}

TEST_F(AudioOutputBridgeTest, EncodingsFlagsAndEmittingCallbackCross) {
  EXPECT_TRUE(wrapper_->GetSupportedStreamEncodings().empty());
  provider_.encodings = {OutputStreamEncoding::kOpus,
                         OutputStreamEncoding::kPcm,
                         OutputStreamEncoding::kMp3};
  EXPECT_EQ(wrapper_->GetSupportedStreamEncodings(), provider_.encodings);
  EXPECT_FALSE(wrapper_->SupportsPlaybackTimestamp());
  provider_.timestamps = true;
  EXPECT_TRUE(wrapper_->SupportsPlaybackTimestamp());

  std::vector<bool> states;
  wrapper_->RegisterAudioEmittingStateCallback(
      [&](bool emitting) { states.push_back(emitting); });
  provider_.emitting(true);
  provider_.emitting(false);
  EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

TEST_F(AudioOutputBridgeTest, ReferenceInputIsAskedForOnceEvenWhenAbsent) {
  EXPECT_EQ(wrapper_->GetReferenceInput(), nullptr);
  EXPECT_EQ(wrapper_->GetReferenceInput(), nullptr);
  EXPECT_EQ(provider_.reference_asks, 1);

  FakeInput reference;
  FakeOutputProvider with_reference;
  with_reference.reference = &reference;
  C_API_AudioOutputProvider* c =
      AudioOutputProviderToC(&with_reference, false, 0);
  C_API_AudioInput* c_reference = c->GetReferenceInput(c);
  ASSERT_NE(c_reference, nullptr);
  EXPECT_EQ(c->GetReferenceInput(c), c_reference);
  std::unique_ptr<AudioOutputProvider> wrapper(AudioOutputProviderFromC(c));
  AudioInput* wrapped = wrapper->GetReferenceInput();
  EXPECT_EQ(wrapper->GetReferenceInput(), wrapped);
  EXPECT_EQ(with_reference.reference_asks, 1);
  ExpectFormat(wrapped->GetFormat(), reference.GetFormat());
}

TEST_F(AudioOutputBridgeTest, VolumesCrossPackedInHundredths) {
  VolumeControl* volume = wrapper_->GetVolumeControl();
  EXPECT_EQ(wrapper_->GetVolumeControl(), volume);
  EXPECT_EQ(provider_.volume_asks, 1);

  EXPECT_FLOAT_EQ(volume->GetSystemVolume(), 0.25f);
  volume->SetSystemVolume(0.5f, true);
  EXPECT_FLOAT_EQ(provider_.volume.system, 0.5f);
  volume->SetAlarmVolume(0.999f, false);
  EXPECT_FLOAT_EQ(provider_.volume.alarm, 0.99f);  // Truncated to 99.
  EXPECT_FLOAT_EQ(volume->GetAlarmVolume(), 0.99f);
  EXPECT_EQ(provider_.volume.flags, (std::vector<bool>{true, false}));

  EXPECT_FALSE(volume->IsSystemMuted());
  volume->SetSystemMuted(true);
  EXPECT_TRUE(provider_.volume.muted);
  EXPECT_TRUE(volume->IsSystemMuted());
  volume->SetAudioFocus(OutputStreamType::kAlarm);
  EXPECT_EQ(provider_.volume.focus,
            std::vector<OutputStreamType>{OutputStreamType::kAlarm});
}

TEST(AudioOutputProviderStructureTest, DestroyFreesCachesDeletesOnlyOwned) {
  Deletions deletions;
  FakeInput reference;
  auto* owned_provider = new FakeOutputProvider(&deletions);
  owned_provider->reference = &reference;
  C_API_AudioOutputProvider* owned =
      AudioOutputProviderToC(owned_provider, true, 0);
  owned->GetReferenceInput(owned);
  owned->GetVolumeControl(owned);
  DestroyAudioOutputProviderInC(owned);
  EXPECT_EQ(deletions.count, 1);

  FakeOutputProvider borrowed(&deletions);
  C_API_AudioOutputProvider* c = AudioOutputProviderToC(&borrowed, false, 0);
  c->GetVolumeControl(c);
  c->Destroy(c);
  EXPECT_EQ(deletions.count, 1);
}

TEST(AudioOutputProviderStructureTest, DefaultEmittingCallbackIsReleasedUnrun) {
  InertAudioOutputProvider provider;
  std::unique_ptr<AudioOutputProvider> wrapper(
      AudioOutputProviderFromC(AudioOutputProviderToC(&provider, false, 0)));
  CallCounts counts;
  wrapper->RegisterAudioEmittingStateCallback(
      Callback<true, bool>(Probe(&counts)));
  EXPECT_EQ(counts.runs, 0);
  EXPECT_EQ(counts.releases, 1);
}

}  // namespace
}  // namespace assistant_client
