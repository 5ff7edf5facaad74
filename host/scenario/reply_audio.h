// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The conversation's audio: what a turn's microphone delivers, measured,
// and a reply as sound, played into the audio output.
//
//   InputMeter meter;                // an observer of the audio input
//   input->AddObserver(&meter);
//   LOG(INFO) << meter.Summary();
//
//   output->Start(new ReplyPlayer(SynthesizeReply("Timer set.", 120),
//                                 on_end_of_stream, on_stopped));
#ifndef HOST_SCENARIO_REPLY_AUDIO_H_
#define HOST_SCENARIO_REPLY_AUDIO_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "prebuilt/lib/audio_input.h"
#include "prebuilt/lib/audio_output.h"

namespace vantor_host {

// The rate of the replies the host plays.
constexpr int kReplySampleRate = 16000;

// |reply| as 16 kHz mono audio: one short tone per word, |word_ms| each.
std::vector<int16_t> SynthesizeReply(const std::string& reply, int word_ms);

// Counts what the audio input delivers while a turn listens. Any thread.
class InputMeter : public assistant_client::AudioInput::Observer {
 public:
  void Reset();
  // "N buffer(s), F frame(s) from the audio input, peak P".
  std::string Summary();

  void OnBufferAvailable(const assistant_client::AudioBuffer& buffer,
                         long long timestamp) override;
  void OnError(assistant_client::AudioInput::Error error) override;
  void OnStopped() override {}

 private:
  core::Mutex mutex_;
  int buffers_ CORE_GUARDED_BY(mutex_) = 0;
  long long frames_ CORE_GUARDED_BY(mutex_) = 0;
  int peak_ CORE_GUARDED_BY(mutex_) = 0;
};

// Plays one reply into an audio output and frees itself at OnStopped, which
// may come after whoever started it is gone: it reaches back only through
// the two calls it was given, on the output's threads.
class ReplyPlayer : public assistant_client::AudioOutput::Delegate {
 public:
  ReplyPlayer(std::vector<int16_t> pcm,
              std::function<void()> on_end_of_stream,
              std::function<void()> on_stopped);

  void FillBuffer(void* buffer,
                  int size,
                  long long playback_timestamp,
                  assistant_client::Callback<false, int> callback) override;
  void OnEndOfStream() override;
  void OnError(assistant_client::AudioOutput::Error error) override;
  void OnStopped() override;

 private:
  const std::vector<int16_t> pcm_;
  const std::function<void()> on_end_of_stream_;
  const std::function<void()> on_stopped_;
  core::Mutex mutex_;                          // Fills may come on any thread.
  size_t offset_ CORE_GUARDED_BY(mutex_) = 0;  // In bytes.
};

}  // namespace vantor_host

#endif  // HOST_SCENARIO_REPLY_AUDIO_H_
