// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// One playback stream and the types that describe streams.
//
//   AudioOutput* out = provider->CreateAudioOutput(
//       OutputStreamType::kTts, OutputStreamFormat());  // Owned by the caller.
//   out->Start(&delegate);  // |delegate| must live until its OnStopped().
//
// Implemented by the platform's AudioOutputProvider. The stream pulls its
// samples from the Delegate, whose calls arrive on the output's own threads.
// OnStopped() is the last call a delegate receives: across the library
// boundary the wrappers built for it are freed right after it.
#ifndef PREBUILT_LIB_AUDIO_OUTPUT_H_
#define PREBUILT_LIB_AUDIO_OUTPUT_H_

#include "prebuilt/lib/callback.h"

namespace assistant_client {

// What a stream plays; crosses between binaries as its number.
enum class OutputStreamType : int {
  kTts = 0,
  kAlarm = 1,
  kCalendar = 2,
  kMedia = 3,
};

// Crosses between binaries as its number.
enum class OutputStreamEncoding : int {
  kPcm = 0,
  kMp3 = 1,
  kOpus = 2,
};

// Three 32-bit words across the library boundary, copied in this order.
struct OutputStreamFormat {
  OutputStreamEncoding encoding = OutputStreamEncoding::kPcm;
  int sample_rate = 16000;  // Frames per second.
  int channels = 1;
};

class AudioOutput {
 public:
  // Crosses between binaries as its number.
  enum Error : int {
    kUnknownError = 0,
    kDeviceLost = 1,  // The playback device went away.
    kUnderrun = 2,    // The delegate did not fill in time.
  };

  class Delegate {
   public:
    Delegate() = default;
    Delegate(const Delegate&) = delete;
    Delegate& operator=(const Delegate&) = delete;

    // Fill up to |size| bytes of |buffer| (the output's memory, borrowed
    // until |callback| runs) with samples due at |timestamp|, then run
    // |callback| once with the number of bytes written.
    virtual void FillBuffer(void* buffer,
                            int size,
                            long long timestamp,
                            Callback<false, int> callback) = 0;
    virtual void OnEndOfStream() = 0;
    virtual void OnError(Error error) = 0;
    virtual void OnStopped() = 0;

    // After the operations: the destructor's vtable slots come last here.
    virtual ~Delegate() = default;
  };

  AudioOutput() = default;
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;
  virtual ~AudioOutput() = default;

  virtual OutputStreamType GetType() = 0;
  // |delegate| is borrowed; it must stay alive until its OnStopped() ran.
  virtual void Start(Delegate* delegate) = 0;
  virtual void Stop() = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_AUDIO_OUTPUT_H_
