// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/audio/builtin_audio.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "core/logging.h"
#include "core/synchronization.h"
#include "host/audio/wav_file.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: a stand-in full of overrides.
using Clock = std::chrono::steady_clock;

constexpr auto kFillTimeout = std::chrono::seconds(2);

int64_t MonotonicMicros(Clock::time_point at = Clock::now()) {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             at.time_since_epoch())
      .count();
}

int Percent(float volume) {
  return static_cast<int>(volume * 100.0f + 0.5f);
}

// One block of the input's samples, lent to the observers for one call.
class PcmBuffer : public AudioBuffer {
 public:
  PcmBuffer(const BufferFormat& format, std::vector<int16_t>* samples)
      : format_(format), samples_(samples) {}
  BufferFormat GetFormat() const override { return format_; }
  const void* GetData() const override { return samples_->data(); }
  void* GetWritableData() override { return samples_->data(); }
  int GetFrameCount() const override {
    return static_cast<int>(samples_->size()) /
           static_cast<int>(format_.channel_layout);
  }

 private:
  const BufferFormat format_;
  std::vector<int16_t>* const samples_;  // Borrowed.
};

}  // namespace

const char* StreamTypeName(OutputStreamType type) {
  switch (type) {
    case OutputStreamType::kTts:
      return "tts";
    case OutputStreamType::kAlarm:
      return "alarm";
    case OutputStreamType::kCalendar:
      return "calendar";
    case OutputStreamType::kMedia:
      return "media";
  }
  return "stream";  // A peer's number crosses unchecked.
}

// ---- WavAudioInput ----------------------------------------------------------

// Plays its samples to the observers in real time, from the first frame
// whenever the first observer of a session arrives; silence after the end.
// RemoveObserver sends the observer its OnStopped, after its last buffer.
class WavAudioInput : public AudioInput {
 public:
  WavAudioInput(WavAudio audio, int buffer_ms)
      : audio_(std::move(audio)),
        buffer_frames_(std::max(1, audio_.sample_rate * buffer_ms / 1000)),
        buffer_duration_(std::chrono::milliseconds(buffer_ms)),
        thread_([this] { Deliver(); }) {}

  ~WavAudioInput() override {
    std::vector<Observer*> left;
    {
      core::AutoLock lock(&mutex_);
      stopping_ = true;
      changed_.Broadcast();
    }
    thread_.join();
    {
      core::AutoLock lock(&mutex_);
      left.swap(observers_);
    }
    for (Observer* observer : left)
      observer->OnStopped();
  }

  BufferFormat GetFormat() const override {
    BufferFormat format;
    format.sample_format = SampleFormat::kS16Le;
    format.sample_rate = audio_.sample_rate;
    format.channel_layout = static_cast<ChannelLayout>(audio_.channels);
    return format;
  }

  void AddObserver(Observer* observer) override {
    core::AutoLock lock(&mutex_);
    if (observers_.empty()) {
      position_ = 0;  // A new capture session hears the file from the start.
      next_buffer_ = Clock::now();
    }
    observers_.push_back(observer);
    changed_.Broadcast();
  }

  void RemoveObserver(Observer* observer) override {
    // From an observer's own call the delivery is this thread's already.
    if (std::this_thread::get_id() == thread_.get_id())
      return Remove(observer);
    // Otherwise wait for the delivery in progress: after this the observer
    // gets no buffer, so its OnStopped is its last call.
    core::AutoLock delivery(&delivery_);
    Remove(observer);
  }

 private:
  void Remove(Observer* observer) CORE_EXCLUDES(mutex_) {
    bool found = false;
    {
      core::AutoLock lock(&mutex_);
      auto it = std::find(observers_.begin(), observers_.end(), observer);
      if (it != observers_.end()) {
        observers_.erase(it);
        found = true;
      }
    }
    if (found)
      observer->OnStopped();
  }

  void Deliver() {
    std::vector<int16_t> samples;
    for (;;) {
      Clock::time_point at;
      {
        core::AutoLock lock(&mutex_);
        while (!stopping_ && observers_.empty())
          changed_.Wait();
        // Until the buffer is due; |next_buffer_| moves when a new session
        // begins.
        while (!stopping_ && changed_.WaitUntil(next_buffer_)) {
        }
        if (stopping_)
          return;
        if (observers_.empty())
          continue;
        at = next_buffer_;
        next_buffer_ += buffer_duration_;
        const size_t count = buffer_frames_ * audio_.channels;
        samples.assign(count, 0);
        if (position_ < audio_.samples.size()) {
          const size_t n = std::min(count, audio_.samples.size() - position_);
          std::copy_n(audio_.samples.begin() + position_, n, samples.begin());
        }
        position_ += count;
      }

      // Observers are called outside |mutex_|; one removed meanwhile (from
      // a call of this round) is skipped.
      core::AutoLock delivery(&delivery_);
      PcmBuffer buffer(GetFormat(), &samples);
      for (size_t i = 0;; ++i) {
        Observer* observer = nullptr;
        {
          core::AutoLock relock(&mutex_);
          if (i >= observers_.size())
            break;
          observer = observers_[i];
        }
        observer->OnBufferAvailable(buffer, MonotonicMicros(at));
      }
    }
  }

  const WavAudio audio_;
  const size_t buffer_frames_;
  const Clock::duration buffer_duration_;

  core::Mutex delivery_;  // Held while the observers hear a buffer.
  core::Mutex mutex_;
  core::CondVar changed_{&mutex_};
  // Borrowed until their OnStopped.
  std::vector<Observer*> observers_ CORE_GUARDED_BY(mutex_);
  size_t position_ CORE_GUARDED_BY(mutex_) = 0;  // Next sample of |audio_|.
  Clock::time_point next_buffer_ CORE_GUARDED_BY(mutex_);
  bool stopping_ CORE_GUARDED_BY(mutex_) = false;

  std::thread thread_;  // Last: starts once the rest is built.
};

WavAudioInputProvider::WavAudioInputProvider(const std::string& wav_path,
                                             int buffer_ms) {
  WavAudio audio;
  std::string error;
  if (!wav_path.empty()) {
    if (ReadWav(wav_path, &audio, &error)) {
      LOG(INFO) << "Audio input: " << wav_path << ", "
                << audio.samples.size() / audio.channels << " frames at "
                << audio.sample_rate << " Hz, " << audio.channels
                << " channel(s), then silence";
    } else {
      LOG(WARNING) << "Audio input " << wav_path << " cannot be read (" << error
                   << "); the microphone hears silence";
      audio = WavAudio();
    }
  }
  if (audio.sample_rate == 0) {
    audio.sample_rate = 16000;
    audio.channels = 1;
  }
  input_ = std::make_unique<WavAudioInput>(std::move(audio), buffer_ms);
}

WavAudioInputProvider::~WavAudioInputProvider() = default;

AudioInput* WavAudioInputProvider::GetAudioInput() {
  return input_.get();
}

int64_t WavAudioInputProvider::GetCurrentAudioTime() {
  return MonotonicMicros();
}

// ---- LoggingVolumeControl ---------------------------------------------------

void LoggingVolumeControl::SetAudioFocus(OutputStreamType type) {
  LOG(INFO) << "Volume control: audio focus " << StreamTypeName(type);
}

float LoggingVolumeControl::GetSystemVolume() {
  core::AutoLock lock(&mutex_);
  return system_volume_;
}

void LoggingVolumeControl::SetSystemVolume(float volume, bool) {
  core::AutoLock lock(&mutex_);
  LOG(INFO) << "Volume control: system volume " << Percent(system_volume_)
            << "% -> " << Percent(volume) << "%";
  system_volume_ = volume;
}

float LoggingVolumeControl::GetAlarmVolume() {
  core::AutoLock lock(&mutex_);
  return alarm_volume_;
}

void LoggingVolumeControl::SetAlarmVolume(float volume, bool) {
  core::AutoLock lock(&mutex_);
  LOG(INFO) << "Volume control: alarm volume " << Percent(alarm_volume_)
            << "% -> " << Percent(volume) << "%";
  alarm_volume_ = volume;
}

bool LoggingVolumeControl::IsSystemMuted() {
  core::AutoLock lock(&mutex_);
  return muted_;
}

void LoggingVolumeControl::SetSystemMuted(bool muted) {
  core::AutoLock lock(&mutex_);
  LOG(INFO) << "Volume control: system sound " << (muted ? "muted" : "on");
  muted_ = muted;
}

// ---- WavAudioOutput ---------------------------------------------------------

namespace {

// What one FillBuffer call fills; shared with its callback, which may run
// late, on any thread, or never.
struct Fill {
  explicit Fill(size_t size) : bytes(size) {}
  core::Mutex mutex;
  core::CondVar done{&mutex};
  std::vector<unsigned char> bytes;
  int written CORE_GUARDED_BY(mutex) = -1;  // -1 until the callback ran.
};

// Pulls the stream from its delegate on its own thread, paced as the stream
// would play, and keeps what it played in a WAV file. After the delegate
// answers 0 bytes it calls OnEndOfStream and waits for Stop().
class WavAudioOutput : public AudioOutput {
 public:
  WavAudioOutput(OutputStreamType type,
                 const OutputStreamFormat& format,
                 std::string path,
                 int buffer_ms)
      : type_(type),
        format_(format),
        path_(std::move(path)),
        buffer_bytes_(std::max(
            2,
            format.sample_rate * format.channels * buffer_ms / 1000 * 2)) {}
  ~WavAudioOutput() override {
    Stop();
    // Deleted from its own last delegate call: the thread ends on its own.
    if (thread_.joinable())
      thread_.detach();
  }

  OutputStreamType GetType() override { return type_; }

  void Start(Delegate* delegate) override {
    Stop();
    {
      core::AutoLock lock(&mutex_);
      delegate_ = delegate;
      stopping_ = false;
      stopped_on_thread_ = false;
    }
    thread_ = std::thread([this] { Pull(); });
  }

  void Stop() override {
    std::shared_ptr<Fill> fill;
    bool from_delegate;
    {
      core::AutoLock lock(&mutex_);
      stopping_ = true;
      changed_.Broadcast();
      fill = pending_;
      // Called from a delegate call: the thread sends OnStopped itself when
      // it is done with the delegate.
      from_delegate = std::this_thread::get_id() == puller_;
      stopped_on_thread_ = stopped_on_thread_ || from_delegate;
    }
    if (fill) {
      // Not under |mutex_|: the thread holds the fill's lock while it reads
      // |stopping_|.
      core::AutoLock fill_lock(&fill->mutex);
      fill->done.Broadcast();
    }
    if (from_delegate || !thread_.joinable())
      return;
    thread_.join();
    Delegate* delegate;
    {
      core::AutoLock lock(&mutex_);
      puller_ = std::thread::id();  // A new thread may get its id now.
      delegate = std::exchange(delegate_, nullptr);
    }
    if (delegate)
      delegate->OnStopped();
  }

 private:
  bool Stopping() const { return stopping_.load(); }

  void Pull() {
    Delegate* delegate;
    {
      core::AutoLock lock(&mutex_);
      puller_ = std::this_thread::get_id();
      delegate = delegate_;
    }
    WavWriter writer;
    std::string error;
    if (!path_.empty() &&
        !writer.Open(path_, format_.sample_rate, format_.channels, &error)) {
      LOG(WARNING) << "Audio output " << path_ << " cannot be written ("
                   << error << "); the stream plays into nothing";
    }
    const int64_t bytes_per_second =
        int64_t{format_.sample_rate} * format_.channels * 2;
    size_t played = 0;
    Clock::time_point next = Clock::now();
    while (!Stopping()) {
      auto fill = std::make_shared<Fill>(buffer_bytes_);
      {
        core::AutoLock lock(&mutex_);
        pending_ = fill;
      }
      delegate->FillBuffer(fill->bytes.data(), buffer_bytes_,
                           MonotonicMicros(next), [fill](int written) {
                             core::AutoLock lock(&fill->mutex);
                             fill->written = written;
                             fill->done.Broadcast();
                           });
      int written;
      {
        core::AutoLock lock(&fill->mutex);
        const Clock::time_point deadline = Clock::now() + kFillTimeout;
        while (fill->written < 0 && !Stopping() &&
               fill->done.WaitUntil(deadline)) {
        }
        written = fill->written;
      }
      if (Stopping())
        break;
      if (written < 0) {
        LOG(WARNING) << "Audio output: the delegate did not fill a buffer in "
                     << kFillTimeout.count() << " s";
        delegate->OnError(AudioOutput::kUnderrun);
        continue;
      }
      if (written == 0) {
        delegate->OnEndOfStream();
        core::AutoLock lock(&mutex_);
        while (!Stopping())
          changed_.Wait();
        break;
      }
      const size_t n = std::min<size_t>(written, fill->bytes.size());
      writer.Write(fill->bytes.data(), n);
      played += n;
      next += std::chrono::microseconds(static_cast<int64_t>(n) * 1000000 /
                                        std::max<int64_t>(1, bytes_per_second));
      core::AutoLock lock(&mutex_);
      while (!Stopping() && changed_.WaitUntil(next)) {
      }
    }
    const bool kept = writer.Close();
    LOG(INFO) << "Audio output: " << StreamTypeName(type_) << " stream played "
              << played * 1000 / std::max<int64_t>(1, bytes_per_second) << " ms"
              << (kept ? " into " + path_ : std::string());
    bool stopped_here;
    {
      core::AutoLock lock(&mutex_);
      pending_.reset();
      stopped_here = stopped_on_thread_;
      if (stopped_here)
        delegate_ = nullptr;
    }
    if (stopped_here)
      delegate->OnStopped();
  }

  const OutputStreamType type_;
  const OutputStreamFormat format_;
  const std::string path_;  // Empty: nothing is kept.
  const int buffer_bytes_;

  // Set under |mutex_| (waits on |changed_| test it there), read anywhere.
  std::atomic<bool> stopping_{false};
  core::Mutex mutex_;
  core::CondVar changed_{&mutex_};
  // Borrowed until its OnStopped.
  Delegate* delegate_ CORE_GUARDED_BY(mutex_) = nullptr;
  bool stopped_on_thread_ CORE_GUARDED_BY(mutex_) = false;
  // The thread's, once it runs.
  std::thread::id puller_ CORE_GUARDED_BY(mutex_);
  // The fill the thread waits for.
  std::shared_ptr<Fill> pending_ CORE_GUARDED_BY(mutex_);

  std::thread thread_;  // Started and joined by the owner's thread.
};

}  // namespace

WavAudioOutputProvider::WavAudioOutputProvider(const std::string& folder,
                                               int buffer_ms)
    : folder_(folder), buffer_ms_(buffer_ms) {}

AudioOutput* WavAudioOutputProvider::CreateAudioOutput(
    OutputStreamType type,
    const OutputStreamFormat& format) {
  std::string path;
  if (!folder_.empty()) {
    path = folder_ + "/" + StreamTypeName(type) + "-" +
           std::to_string(++outputs_) + ".wav";
  }
  LOG(INFO) << "Audio output: " << StreamTypeName(type) << " stream, "
            << format.sample_rate << " Hz, " << format.channels << " channel(s)"
            << (path.empty() ? "" : " -> " + path);
  OutputStreamFormat usable = format;
  usable.sample_rate = std::clamp(format.sample_rate, 1, 192000);
  usable.channels = std::clamp(format.channels, 1, 8);
  return new WavAudioOutput(type, usable, path, buffer_ms_);
}

std::vector<OutputStreamEncoding>
WavAudioOutputProvider::GetSupportedStreamEncodings() {
  return {OutputStreamEncoding::kPcm};
}

AudioInput* WavAudioOutputProvider::GetReferenceInput() {
  return nullptr;
}

bool WavAudioOutputProvider::SupportsPlaybackTimestamp() const {
  return false;
}

VolumeControl* WavAudioOutputProvider::GetVolumeControl() {
  return &volume_;
}

}  // namespace vantor_host
