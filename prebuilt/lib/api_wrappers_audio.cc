// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Bridges of the audio interfaces: buffers, inputs with their observers,
// outputs with their delegates, the two audio providers and volume control.
#include <stdint.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/wrapper_base.h"

namespace assistant_client {
namespace internal_api {
namespace {

using C_Buffer = C_API_AudioBuffer;
using C_Input = C_API_AudioInput;
using C_Observer = C_API_AudioInputObserver;
using C_InputProvider = C_API_AudioInputProvider;
using C_Output = C_API_AudioOutput;
using C_Delegate = C_API_AudioOutputDelegate;
using C_OutputProvider = C_API_AudioOutputProvider;
using C_Volume = C_API_VolumeControl;
using Observer = AudioInput::Observer;
using Delegate = AudioOutput::Delegate;

// The structure-side input remembers its wrapper of a peer's observer in
// the observer descriptor's 32-bit reserved word. A pointer fits there only
// on 32-bit targets; elsewhere the word holds a key into this table.
class ReservedWord {
 public:
  static void Store(C_API_Descriptor* descriptor, void* pointer) {
    if constexpr (sizeof(void*) <= sizeof(descriptor->reserved)) {
      descriptor->reserved =
          static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer));
    } else {
      Table& table = GetTable();
      AutoLock lock(&table.lock);
      table.pointers.erase(descriptor->reserved);
      int32_t key = 0;
      if (pointer) {
        do {  // Wraps around; 0 means "nothing stored".
          table.last_key =
              static_cast<int32_t>(static_cast<uint32_t>(table.last_key) + 1u);
          key = table.last_key;
        } while (key == 0 || table.pointers.count(key));
        table.pointers[key] = pointer;
      }
      descriptor->reserved = key;
    }
  }

  // Returns the stored pointer and clears the word.
  static void* Take(C_API_Descriptor* descriptor) {
    void* pointer = nullptr;
    if constexpr (sizeof(void*) <= sizeof(descriptor->reserved)) {
      pointer =
          reinterpret_cast<void*>(static_cast<intptr_t>(descriptor->reserved));
    } else {
      Table& table = GetTable();
      AutoLock lock(&table.lock);
      auto it = table.pointers.find(descriptor->reserved);
      if (it != table.pointers.end()) {
        pointer = it->second;
        table.pointers.erase(it);
      }
    }
    descriptor->reserved = 0;
    return pointer;
  }

 private:
  struct Table {
    Lock lock;
    int32_t last_key = 0;
    std::map<int32_t, void*> pointers;
  };
  static Table& GetTable() {
    static Table* table = new Table();  // Never destroyed: used at exit.
    return *table;
  }
};

// ---- AudioBuffer ------------------------------------------------------------

class C_API_AudioBufferImpl
    : public StructWrapper<C_API_AudioBufferImpl, C_Buffer, AudioBuffer> {
 public:
  C_API_AudioBufferImpl(AudioBuffer* buffer, bool owned, int version)
      : StructWrapper(buffer, owned, version) {
    c_api_.GetFormat = [](C_Buffer* self, C_API_BufferFormat* format) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        *format = AudioBufferFormatToC(From(self)->object_->GetFormat());
      });
    };
    Forward<&C_Buffer::GetData, &AudioBuffer::GetData>();
    Forward<&C_Buffer::GetWritableData, &AudioBuffer::GetWritableData>();
    Forward<&C_Buffer::GetFrameCount, &AudioBuffer::GetFrameCount>();
  }
};

class AudioBufferImpl : public AudioBuffer, public PeerWrapper<C_Buffer> {
 public:
  AudioBufferImpl(C_Buffer* c, bool owned) : PeerWrapper(c), owned_(owned) {}
  ~AudioBufferImpl() override {
    if (!owned_)
      c_object_ = nullptr;  // The peer's buffer stays with the peer.
  }

  BufferFormat GetFormat() const override {
    C_API_BufferFormat format{};
    c_object_->GetFormat(c_object_, &format);
    return AudioBufferFormatFromC(format);
  }
  const void* GetData() const override {
    return Call<&C_Buffer::GetData, const void*>();
  }
  void* GetWritableData() override {
    return Call<&C_Buffer::GetWritableData, void*>();
  }
  int GetFrameCount() const override {
    return Call<&C_Buffer::GetFrameCount, int>();
  }

 private:
  const bool owned_;  // Whether deleting this destroys the peer's buffer.
};

// ---- AudioInput and its observers -------------------------------------------

class C_API_AudioInputImpl
    : public StructWrapper<C_API_AudioInputImpl, C_Input, AudioInput> {
 public:
  C_API_AudioInputImpl(AudioInput* input, int version)
      : StructWrapper(input, /*owned=*/false, version) {
    c_api_.GetFormat = [](C_Input* self, C_API_BufferFormat* format) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        *format = AudioBufferFormatToC(From(self)->object_->GetFormat());
      });
    };
    c_api_.AddObserver = [](C_Input* self, C_Observer* observer) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        C_API_Descriptor* descriptor = GetDescriptor(observer);
        Observer* wrapper = AudioInputObserverFromC(observer);
        ReservedWord::Store(descriptor, wrapper);
        From(self)->object_->AddObserver(wrapper);
      });
    };
    c_api_.RemoveObserver = [](C_Input* self, C_Observer* observer) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // The wrapper frees itself at OnStopped, not here.
        auto* wrapper =
            static_cast<Observer*>(ReservedWord::Take(GetDescriptor(observer)));
        if (wrapper)
          From(self)->object_->RemoveObserver(wrapper);
      });
    };
  }
};

// The observer structures an interface-side input registered with its peer.
// Shared with those structures so that one freeing itself at OnStopped leaves
// the list, also when the input wrapper is gone first.
struct ObserverList {
  Lock lock;
  std::vector<C_Observer*> entries;  // Guarded by |lock|.
};

class C_API_AudioInputObserverImpl
    : public StructWrapper<C_API_AudioInputObserverImpl, C_Observer, Observer> {
 public:
  C_API_AudioInputObserverImpl(Observer* observer,
                               int version,
                               std::weak_ptr<ObserverList> list = {})
      : StructWrapper(observer, /*owned=*/false, version),
        list_(std::move(list)) {
    c_api_.OnBufferAvailable = [](C_Observer* self, C_Buffer* buffer,
                                  long long timestamp) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // Samples are not copied: the wrapper lives on the stack for this call
        // and hands out the peer's memory.
        AudioBufferImpl wrapper(buffer, /*owned=*/false);
        From(self)->object_->OnBufferAvailable(wrapper, timestamp);
      });
    };
    Forward<&C_Observer::OnError, &Observer::OnError>();
    c_api_.OnStopped = [](C_Observer* self) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // The last call an observer gets: both wrappers end here.
        C_API_AudioInputObserverImpl* me = From(self);
        me->object_->OnStopped();
        me->object_ = nullptr;
        delete me;
      });
    };
  }

  ~C_API_AudioInputObserverImpl() {
    if (std::shared_ptr<ObserverList> list = list_.lock()) {
      AutoLock lock(&list->lock);
      auto& entries = list->entries;
      entries.erase(std::remove(entries.begin(), entries.end(), c_struct()),
                    entries.end());
    }
  }

 private:
  std::weak_ptr<ObserverList> list_;  // Set when an AudioInputImpl built it.
};

class AudioInputObserverImpl : public Observer, public PeerWrapper<C_Observer> {
 public:
  explicit AudioInputObserverImpl(C_Observer* c) : PeerWrapper(c) {}

  void OnBufferAvailable(const AudioBuffer& buffer,
                         long long timestamp) override {
    // A stack wrapper for the call: no samples copied, nothing allocated.
    C_API_AudioBufferImpl wrapper(const_cast<AudioBuffer*>(&buffer),
                                  /*owned=*/false, peer_version());
    c_object_->OnBufferAvailable(c_object_, wrapper.c_struct(), timestamp);
  }
  void OnError(AudioInput::Error error) override {
    Call<&C_Observer::OnError>(error);
  }
  void OnStopped() override {
    Call<&C_Observer::OnStopped>();
    c_object_ = nullptr;
    delete this;
  }
};

class AudioInputImpl : public AudioInput, public PeerWrapper<C_Input> {
 public:
  explicit AudioInputImpl(C_Input* c)
      : PeerWrapper(c), observers_(std::make_shared<ObserverList>()) {}

  BufferFormat GetFormat() const override {
    C_API_BufferFormat format{};
    c_object_->GetFormat(c_object_, &format);
    return AudioBufferFormatFromC(format);
  }
  void AddObserver(Observer* observer) override {
    C_Observer* c_observer =
        (new C_API_AudioInputObserverImpl(observer, peer_version(), observers_))
            ->c_struct();
    {
      AutoLock lock(&observers_->lock);
      observers_->entries.push_back(c_observer);
    }
    c_object_->AddObserver(c_object_, c_observer);
  }
  void RemoveObserver(Observer* observer) override {
    C_Observer* found = nullptr;
    {
      AutoLock lock(&observers_->lock);
      auto& entries = observers_->entries;
      for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (IsAudioInputObserverBackedByCpp(*it, observer)) {
          found = *it;
          entries.erase(it);
          break;
        }
      }
    }
    if (found)
      c_object_->RemoveObserver(c_object_, found);
  }

 private:
  // The peer's calls happen outside the list's lock.
  std::shared_ptr<ObserverList> observers_;
};

// ---- AudioInputProvider -----------------------------------------------------

class C_API_AudioInputProviderImpl
    : public StructWrapper<C_API_AudioInputProviderImpl,
                           C_InputProvider,
                           AudioInputProvider> {
 public:
  C_API_AudioInputProviderImpl(AudioInputProvider* provider,
                               bool owned,
                               int version)
      : StructWrapper(provider, owned, version) {
    ForwardCached<&C_InputProvider::GetAudioInput,
                  &AudioInputProvider::GetAudioInput, &AudioInputToC,
                  &C_API_AudioInputProviderImpl::audio_input_>();
    Forward<&C_InputProvider::GetCurrentAudioTime,
            &AudioInputProvider::GetCurrentAudioTime>();
  }
  ~C_API_AudioInputProviderImpl() {
    ReleaseObject();
    DestroyAudioInputInC(audio_input_.get());
  }

 private:
  Cached<C_Input> audio_input_;  // The same structure at every call.
};

class AudioInputProviderImpl : public AudioInputProvider,
                               public PeerWrapper<C_InputProvider> {
 public:
  explicit AudioInputProviderImpl(C_InputProvider* c) : PeerWrapper(c) {}
  ~AudioInputProviderImpl() override {
    ReleasePeer();
    DestroyAudioInputInC(audio_input_.get());
  }

  AudioInput* GetAudioInput() override {
    return CallCached<&C_InputProvider::GetAudioInput, &AudioInputFromC>(
        &audio_input_);
  }
  int64_t GetCurrentAudioTime() override {
    return Call<&C_InputProvider::GetCurrentAudioTime, int64_t>();
  }

 private:
  Cached<AudioInput> audio_input_;
};

// ---- AudioOutput and its delegates ------------------------------------------

class C_API_AudioOutputImpl
    : public StructWrapper<C_API_AudioOutputImpl, C_Output, AudioOutput> {
 public:
  C_API_AudioOutputImpl(AudioOutput* output, int version)
      : StructWrapper(output, /*owned=*/true, version) {
    Forward<&C_Output::GetType, &AudioOutput::GetType>();
    Forward<&C_Output::Start, &AudioOutput::Start>();
    Forward<&C_Output::Stop, &AudioOutput::Stop>();
  }
};

class AudioOutputImpl : public AudioOutput, public PeerWrapper<C_Output> {
 public:
  explicit AudioOutputImpl(C_Output* c) : PeerWrapper(c) {}
  OutputStreamType GetType() override {
    return Call<&C_Output::GetType, OutputStreamType>();
  }
  void Start(Delegate* delegate) override { Call<&C_Output::Start>(delegate); }
  void Stop() override { Call<&C_Output::Stop>(); }
};

class C_API_AudioOutputDelegateImpl
    : public StructWrapper<C_API_AudioOutputDelegateImpl,
                           C_Delegate,
                           Delegate> {
 public:
  C_API_AudioOutputDelegateImpl(Delegate* delegate, int version)
      : StructWrapper(delegate, /*owned=*/false, version) {
    Forward<&C_Delegate::FillBuffer, &Delegate::FillBuffer>();
    Forward<&C_Delegate::OnEndOfStream, &Delegate::OnEndOfStream>();
    Forward<&C_Delegate::OnError, &Delegate::OnError>();
    c_api_.OnStopped = [](C_Delegate* self) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        C_API_AudioOutputDelegateImpl* me = From(self);
        me->object_->OnStopped();
        me->object_ = nullptr;
        delete me;
      });
    };
  }
};

class AudioOutputDelegateImpl : public Delegate,
                                public PeerWrapper<C_Delegate> {
 public:
  explicit AudioOutputDelegateImpl(C_Delegate* c) : PeerWrapper(c) {}
  void FillBuffer(void* buffer,
                  int size,
                  long long timestamp,
                  Callback<false, int> callback) override {
    Call<&C_Delegate::FillBuffer>(buffer, size, timestamp, std::move(callback));
  }
  void OnEndOfStream() override { Call<&C_Delegate::OnEndOfStream>(); }
  void OnError(AudioOutput::Error error) override {
    Call<&C_Delegate::OnError>(error);
  }
  void OnStopped() override {
    Call<&C_Delegate::OnStopped>();
    c_object_ = nullptr;
    delete this;
  }
};

// ---- AudioOutputProvider ----------------------------------------------------

C_API_OutputStreamFormat OutputStreamFormatToC(const OutputStreamFormat& f) {
  return {static_cast<int32_t>(f.encoding), f.sample_rate, f.channels};
}

OutputStreamFormat OutputStreamFormatFromC(const C_API_OutputStreamFormat& f) {
  OutputStreamFormat format;
  format.encoding = static_cast<OutputStreamEncoding>(f.encoding);
  format.sample_rate = f.sample_rate;
  format.channels = f.channels;
  return format;
}

class C_API_AudioOutputProviderImpl
    : public StructWrapper<C_API_AudioOutputProviderImpl,
                           C_OutputProvider,
                           AudioOutputProvider> {
 public:
  using P = AudioOutputProvider;
  using Self = C_API_AudioOutputProviderImpl;
  C_API_AudioOutputProviderImpl(P* provider, bool owned, int version)
      : StructWrapper(provider, owned, version) {
    c_api_.CreateAudioOutput = [](C_OutputProvider* self, int type,
                                  const C_API_OutputStreamFormat* format) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        C_API_AudioOutputProviderImpl* me = From(self);
        return AudioOutputToC(
            me->object_->CreateAudioOutput(static_cast<OutputStreamType>(type),
                                           OutputStreamFormatFromC(*format)),
            me->peer_api_version());
      });
    };
    Forward<&C_OutputProvider::GetSupportedStreamEncodings,
            &P::GetSupportedStreamEncodings>();
    ForwardCached<&C_OutputProvider::GetReferenceInput, &P::GetReferenceInput,
                  &AudioInputToC, &Self::reference_input_, Nullable::kYes>();
    Forward<&C_OutputProvider::SupportsPlaybackTimestamp,
            &P::SupportsPlaybackTimestamp>();
    ForwardCached<&C_OutputProvider::GetVolumeControl, &P::GetVolumeControl,
                  &VolumeControlToC, &Self::volume_control_>();
    Forward<&C_OutputProvider::RegisterAudioEmittingStateCallback,
            &P::RegisterAudioEmittingStateCallback>();
  }
  ~C_API_AudioOutputProviderImpl() {
    ReleaseObject();
    DestroyAudioInputInC(reference_input_.get());
    DestroyVolumeControlInC(volume_control_.get());
  }

 private:
  Cached<C_Input> reference_input_;  // Null when the provider has none.
  Cached<C_Volume> volume_control_;
};

class AudioOutputProviderImpl : public AudioOutputProvider,
                                public PeerWrapper<C_OutputProvider> {
 public:
  explicit AudioOutputProviderImpl(C_OutputProvider* c) : PeerWrapper(c) {}
  ~AudioOutputProviderImpl() override {
    ReleasePeer();
    DestroyVolumeControlInC(volume_control_.get());
    DestroyAudioInputInC(reference_input_.get());
  }

  AudioOutput* CreateAudioOutput(OutputStreamType type,
                                 const OutputStreamFormat& format) override {
    C_API_OutputStreamFormat c_format = OutputStreamFormatToC(format);
    return AudioOutputFromC(c_object_->CreateAudioOutput(
        c_object_, static_cast<int>(type), &c_format));
  }
  std::vector<OutputStreamEncoding> GetSupportedStreamEncodings() override {
    return Call<&C_OutputProvider::GetSupportedStreamEncodings,
                std::vector<OutputStreamEncoding>>();
  }
  AudioInput* GetReferenceInput() override {
    return CallCached<&C_OutputProvider::GetReferenceInput, &AudioInputFromC,
                      Nullable::kYes>(&reference_input_);
  }
  bool SupportsPlaybackTimestamp() const override {
    return Call<&C_OutputProvider::SupportsPlaybackTimestamp, bool>();
  }
  VolumeControl* GetVolumeControl() override {
    return CallCached<&C_OutputProvider::GetVolumeControl, &VolumeControlFromC>(
        &volume_control_);
  }
  void RegisterAudioEmittingStateCallback(
      Callback<true, bool> callback) override {
    Call<&C_OutputProvider::RegisterAudioEmittingStateCallback>(
        std::move(callback));
  }

 private:
  Cached<AudioInput> reference_input_;  // Null when the peer has none.
  Cached<VolumeControl> volume_control_;
};

// ---- VolumeControl ----------------------------------------------------------

class C_API_VolumeControlImpl
    : public StructWrapper<C_API_VolumeControlImpl, C_Volume, VolumeControl> {
 public:
  using V = VolumeControl;
  C_API_VolumeControlImpl(V* control, int version)
      : StructWrapper(control, /*owned=*/false, version) {
    Forward<&C_Volume::SetAudioFocus, &V::SetAudioFocus>();
    Forward<&C_Volume::GetSystemVolume, &V::GetSystemVolume>();
    Forward<&C_Volume::SetSystemVolume, &V::SetSystemVolume>();
    Forward<&C_Volume::GetAlarmVolume, &V::GetAlarmVolume>();
    Forward<&C_Volume::SetAlarmVolume, &V::SetAlarmVolume>();
    Forward<&C_Volume::IsSystemMuted, &V::IsSystemMuted>();
    Forward<&C_Volume::SetSystemMuted, &V::SetSystemMuted>();
  }
};

class VolumeControlImpl : public VolumeControl, public PeerWrapper<C_Volume> {
 public:
  explicit VolumeControlImpl(C_Volume* c) : PeerWrapper(c) {}
  void SetAudioFocus(OutputStreamType type) override {
    Call<&C_Volume::SetAudioFocus>(type);
  }
  float GetSystemVolume() override {
    return Call<&C_Volume::GetSystemVolume, float>();
  }
  void SetSystemVolume(float volume, bool flag) override {
    Call<&C_Volume::SetSystemVolume>(volume, flag);
  }
  float GetAlarmVolume() override {
    return Call<&C_Volume::GetAlarmVolume, float>();
  }
  void SetAlarmVolume(float volume, bool flag) override {
    Call<&C_Volume::SetAlarmVolume>(volume, flag);
  }
  bool IsSystemMuted() override {
    return Call<&C_Volume::IsSystemMuted, bool>();
  }
  void SetSystemMuted(bool muted) override {
    Call<&C_Volume::SetSystemMuted>(muted);
  }
};

}  // namespace

C_API_BufferFormat AudioBufferFormatToC(const BufferFormat& format) {
  return {static_cast<int32_t>(format.sample_format), format.sample_rate,
          static_cast<int32_t>(format.channel_layout)};
}

BufferFormat AudioBufferFormatFromC(const C_API_BufferFormat& format) {
  BufferFormat result;
  result.sample_format = static_cast<SampleFormat>(format.sample_format);
  result.sample_rate = format.sample_rate;
  result.channel_layout = static_cast<ChannelLayout>(format.channel_layout);
  return result;
}

C_API_AudioBuffer* AudioBufferToC(AudioBuffer* buffer,
                                  bool owned,
                                  int version) {
  return (new C_API_AudioBufferImpl(buffer, owned, version))->c_struct();
}
AudioBuffer* AudioBufferFromC(C_API_AudioBuffer* c, bool owned) {
  return new AudioBufferImpl(c, owned);
}
void DestroyAudioBufferInC(C_API_AudioBuffer* c) {
  DeleteStruct<C_API_AudioBufferImpl>(c);
}
void DestroyAudioBufferInC(AudioBuffer* buffer) {
  delete buffer;
}

C_API_AudioInput* AudioInputToC(AudioInput* input, int version) {
  return (new C_API_AudioInputImpl(input, version))->c_struct();
}
AudioInput* AudioInputFromC(C_API_AudioInput* c) {
  return new AudioInputImpl(c);
}
void DestroyAudioInputInC(C_API_AudioInput* c) {
  DeleteStruct<C_API_AudioInputImpl>(c);
}
void DestroyAudioInputInC(AudioInput* input) {
  delete input;
}

C_API_AudioInputObserver* AudioInputObserverToC(Observer* observer,
                                                int version) {
  return (new C_API_AudioInputObserverImpl(observer, version))->c_struct();
}
Observer* AudioInputObserverFromC(C_API_AudioInputObserver* c) {
  return new AudioInputObserverImpl(c);
}
void DestroyAudioInputObserverInC(C_API_AudioInputObserver* c) {
  DeleteStruct<C_API_AudioInputObserverImpl>(c);
}
void DestroyAudioInputObserverInC(Observer* observer) {
  delete observer;
}
bool IsAudioInputObserverBackedByCpp(const C_API_AudioInputObserver* c,
                                     const Observer* observer) {
  return C_API_AudioInputObserverImpl::From(const_cast<C_Observer*>(c))
             ->object_ == observer;
}

C_API_AudioInputProvider* AudioInputProviderToC(AudioInputProvider* provider,
                                                bool owned,
                                                int version) {
  return (new C_API_AudioInputProviderImpl(provider, owned, version))
      ->c_struct();
}
AudioInputProvider* AudioInputProviderFromC(C_API_AudioInputProvider* c) {
  return new AudioInputProviderImpl(c);
}
void DestroyAudioInputProviderInC(C_API_AudioInputProvider* c) {
  DeleteStruct<C_API_AudioInputProviderImpl>(c);
}

C_API_AudioOutput* AudioOutputToC(AudioOutput* output, int version) {
  return (new C_API_AudioOutputImpl(output, version))->c_struct();
}
AudioOutput* AudioOutputFromC(C_API_AudioOutput* c) {
  return new AudioOutputImpl(c);
}

C_API_AudioOutputDelegate* AudioOutputDelegateToC(Delegate* delegate,
                                                  int version) {
  return (new C_API_AudioOutputDelegateImpl(delegate, version))->c_struct();
}
Delegate* AudioOutputDelegateFromC(C_API_AudioOutputDelegate* c) {
  return new AudioOutputDelegateImpl(c);
}

C_API_AudioOutputProvider* AudioOutputProviderToC(AudioOutputProvider* provider,
                                                  bool owned,
                                                  int version) {
  return (new C_API_AudioOutputProviderImpl(provider, owned, version))
      ->c_struct();
}
AudioOutputProvider* AudioOutputProviderFromC(C_API_AudioOutputProvider* c) {
  return new AudioOutputProviderImpl(c);
}
void DestroyAudioOutputProviderInC(C_API_AudioOutputProvider* c) {
  DeleteStruct<C_API_AudioOutputProviderImpl>(c);
}

C_API_VolumeControl* VolumeControlToC(VolumeControl* control, int version) {
  return (new C_API_VolumeControlImpl(control, version))->c_struct();
}
VolumeControl* VolumeControlFromC(C_API_VolumeControl* c) {
  return new VolumeControlImpl(c);
}
void DestroyVolumeControlInC(C_API_VolumeControl* c) {
  DeleteStruct<C_API_VolumeControlImpl>(c);
}
void DestroyVolumeControlInC(VolumeControl* control) {
  delete control;
}

}  // namespace internal_api
}  // namespace assistant_client
