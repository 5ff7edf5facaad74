// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A source of captured audio (microphone, or the loopback reference of an
// output) that pushes buffers to registered observers.
//
//   class Capture : public assistant_client::AudioInput::Observer { ... };
//   input->AddObserver(&capture);   // |capture| must stay alive ...
//   input->RemoveObserver(&capture);
//   // ... until the input has called its OnStopped().
//
// Implemented by the platform (or the host library). An input belongs to its
// AudioInputProvider. Observer calls arrive on the input's own threads.
// OnStopped() is the last call an observer receives: across the library
// boundary the wrappers built for it are freed right after it, so an input
// should send OnStopped() to every observer it was given.
#ifndef PREBUILT_LIB_AUDIO_INPUT_H_
#define PREBUILT_LIB_AUDIO_INPUT_H_

#include "prebuilt/lib/audio_buffer.h"

namespace assistant_client {

class AudioInput {
 public:
  // Crosses between binaries as its number.
  enum Error : int {
    kUnknownError = 0,
    kDeviceLost = 1,  // The capture device went away.
    kOverrun = 2,     // Samples were dropped.
  };

  class Observer {
   public:
    Observer() = default;
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    // |buffer| is borrowed for the call only. |timestamp| is in the clock of
    // AudioInputProvider::GetCurrentAudioTime().
    virtual void OnBufferAvailable(const AudioBuffer& buffer,
                                   long long timestamp) = 0;
    virtual void OnError(Error error) = 0;
    virtual void OnStopped() = 0;

    // After the operations: the destructor's vtable slots come last here.
    virtual ~Observer() = default;
  };

  AudioInput() = default;
  AudioInput(const AudioInput&) = delete;
  AudioInput& operator=(const AudioInput&) = delete;

  virtual BufferFormat GetFormat() const = 0;
  // |observer| is borrowed; it must stay alive until its OnStopped() ran.
  virtual void AddObserver(Observer* observer) = 0;
  // Unregisters only: no OnStopped() is implied and nothing is freed.
  virtual void RemoveObserver(Observer* observer) = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~AudioInput() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_AUDIO_INPUT_H_
