// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host's own audio, used when neither the client's platform
// nor a plug-in offers audio providers. Both do something real, in real
// time: the input plays a WAV file (then silence) to its observers in 20 ms
// buffers, the output pulls from its delegate at the stream's pace and keeps
// what it played in a WAV file.
//
//   WavAudioInputProvider input("/data/hello.wav");   // "" for silence
//   WavAudioOutputProvider output("/tmp/vantor-audio");  // "" for nowhere
//
// Observer and delegate calls arrive on the input's and each output's own
// thread.
#ifndef HOST_AUDIO_BUILTIN_AUDIO_H_
#define HOST_AUDIO_BUILTIN_AUDIO_H_

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "prebuilt/lib/audio_input_provider.h"
#include "prebuilt/lib/audio_output_provider.h"

namespace vantor_host {

const char* StreamTypeName(assistant_client::OutputStreamType type);

class WavAudioInput;

class WavAudioInputProvider : public assistant_client::AudioInputProvider {
 public:
  // |wav_path| is a 16-bit PCM WAV file, or empty: silence at 16 kHz mono.
  // A file that cannot be read logs one WARNING and gives silence too.
  explicit WavAudioInputProvider(const std::string& wav_path,
                                 int buffer_ms = 20);
  ~WavAudioInputProvider() override;

  assistant_client::AudioInput* GetAudioInput() override;
  // Microseconds of the monotonic clock, as buffer timestamps are.
  int64_t GetCurrentAudioTime() override;

 private:
  std::unique_ptr<WavAudioInput> input_;
};

// Logs every change it is asked for.
class LoggingVolumeControl : public assistant_client::VolumeControl {
 public:
  void SetAudioFocus(assistant_client::OutputStreamType type) override;
  float GetSystemVolume() override;
  void SetSystemVolume(float volume, bool flag) override;
  float GetAlarmVolume() override;
  void SetAlarmVolume(float volume, bool flag) override;
  bool IsSystemMuted() override;
  void SetSystemMuted(bool muted) override;

 private:
  core::Mutex mutex_;
  float system_volume_ CORE_GUARDED_BY(mutex_) = 0.5f;
  float alarm_volume_ CORE_GUARDED_BY(mutex_) = 0.5f;
  bool muted_ CORE_GUARDED_BY(mutex_) = false;
};

class WavAudioOutputProvider : public assistant_client::AudioOutputProvider {
 public:
  // Each output writes <folder>/<type>-<n>.wav (n counts the outputs of
  // this provider from 1); with an empty |folder| nothing is kept.
  explicit WavAudioOutputProvider(const std::string& folder,
                                  int buffer_ms = 20);

  // Plays 16-bit PCM; other encodings are written as they come.
  assistant_client::AudioOutput* CreateAudioOutput(
      assistant_client::OutputStreamType type,
      const assistant_client::OutputStreamFormat& format) override;
  std::vector<assistant_client::OutputStreamEncoding>
  GetSupportedStreamEncodings() override;
  assistant_client::AudioInput* GetReferenceInput() override;
  bool SupportsPlaybackTimestamp() const override;
  assistant_client::VolumeControl* GetVolumeControl() override;

 private:
  const std::string folder_;
  const int buffer_ms_;
  std::atomic<int> outputs_{0};
  LoggingVolumeControl volume_;
};

}  // namespace vantor_host

#endif  // HOST_AUDIO_BUILTIN_AUDIO_H_
