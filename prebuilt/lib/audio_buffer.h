// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// One block of audio samples and its format.
//
// Buffers are handed to AudioInput::Observer::OnBufferAvailable and live only
// for that call: an observer that needs the samples later copies them. The
// memory behind GetData() and GetWritableData() is the owner's, shared
// without copying.
#ifndef PREBUILT_LIB_AUDIO_BUFFER_H_
#define PREBUILT_LIB_AUDIO_BUFFER_H_

namespace assistant_client {

// Sample encodings; the values cross between binaries as plain integers.
enum class SampleFormat : int {
  kS16Le = 0,      // Interleaved signed 16-bit, little endian.
  kS32Le = 1,      // Interleaved signed 32-bit, little endian.
  kFloat32Le = 2,  // Interleaved 32-bit float, little endian.
};

// Channel arrangements; each value is the channel count.
enum class ChannelLayout : int {
  kMono = 1,
  kStereo = 2,
};

struct BufferFormat {
  SampleFormat sample_format = SampleFormat::kS16Le;
  int sample_rate = 16000;  // Frames per second.
  ChannelLayout channel_layout = ChannelLayout::kMono;
};

// Implemented by whoever delivers audio (an input, or the host library).
class AudioBuffer {
 public:
  AudioBuffer() = default;
  AudioBuffer(const AudioBuffer&) = delete;
  AudioBuffer& operator=(const AudioBuffer&) = delete;
  virtual ~AudioBuffer() = default;

  virtual BufferFormat GetFormat() const = 0;
  // Borrowed; valid while the buffer lives.
  virtual const void* GetData() const = 0;
  // Borrowed; valid while the buffer lives.
  virtual void* GetWritableData() = 0;
  virtual int GetFrameCount() const = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_AUDIO_BUFFER_H_
