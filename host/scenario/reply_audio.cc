// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/scenario/reply_audio.h"

#include <string.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "core/logging.h"
#include "prebuilt/lib/audio_buffer.h"

namespace vantor_host {

using assistant_client::AudioBuffer;
using assistant_client::AudioInput;
using assistant_client::AudioOutput;
using assistant_client::BufferFormat;
using assistant_client::SampleFormat;

std::vector<int16_t> SynthesizeReply(const std::string& reply, int word_ms) {
  std::vector<int16_t> pcm;
  const int word_frames = kReplySampleRate * word_ms / 1000;
  const int tone_frames = word_frames * 4 / 5;
  std::istringstream words(reply);
  for (std::string word; words >> word;) {
    const double hz = 220.0 + 30.0 * static_cast<double>(word.size() % 10);
    for (int i = 0; i < word_frames; ++i) {
      const double v =
          i < tone_frames
              ? 6000.0 * std::sin(2 * M_PI * hz * i / kReplySampleRate)
              : 0.0;
      pcm.push_back(static_cast<int16_t>(v));
    }
  }
  return pcm;
}

void InputMeter::Reset() {
  core::AutoLock lock(&mutex_);
  buffers_ = 0;
  frames_ = 0;
  peak_ = 0;
}

std::string InputMeter::Summary() {
  core::AutoLock lock(&mutex_);
  return std::to_string(buffers_) + " buffer(s), " + std::to_string(frames_) +
         " frame(s) from the audio input, peak " + std::to_string(peak_);
}

void InputMeter::OnBufferAvailable(const AudioBuffer& buffer, long long) {
  const BufferFormat format = buffer.GetFormat();
  const int frames = std::max(0, buffer.GetFrameCount());
  int peak = 0;
  const auto* samples = static_cast<const int16_t*>(buffer.GetData());
  const int channels = static_cast<int>(format.channel_layout);
  if (format.sample_format == SampleFormat::kS16Le && samples &&
      channels >= 1 && channels <= 8) {
    for (int i = 0; i < frames * channels; ++i)
      peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  }
  core::AutoLock lock(&mutex_);
  ++buffers_;
  frames_ += frames;
  peak_ = std::max(peak_, peak);
}

void InputMeter::OnError(AudioInput::Error error) {
  LOG(WARNING) << "Audio input error " << static_cast<int>(error);
}

ReplyPlayer::ReplyPlayer(std::vector<int16_t> pcm,
                         std::function<void()> on_end_of_stream,
                         std::function<void()> on_stopped)
    : pcm_(std::move(pcm)),
      on_end_of_stream_(std::move(on_end_of_stream)),
      on_stopped_(std::move(on_stopped)) {}

void ReplyPlayer::FillBuffer(void* buffer,
                             int size,
                             long long,
                             assistant_client::Callback<false, int> callback) {
  size_t n;
  {
    core::AutoLock lock(&mutex_);
    const size_t total = pcm_.size() * sizeof(int16_t);
    n = std::min(static_cast<size_t>(std::max(0, size)), total - offset_);
    memcpy(buffer, reinterpret_cast<const char*>(pcm_.data()) + offset_, n);
    offset_ += n;
  }
  callback(static_cast<int>(n));
}

void ReplyPlayer::OnEndOfStream() {
  on_end_of_stream_();
}

void ReplyPlayer::OnError(AudioOutput::Error error) {
  LOG(WARNING) << "Audio output error " << static_cast<int>(error);
}

void ReplyPlayer::OnStopped() {
  on_stopped_();
  delete this;
}

}  // namespace vantor_host
