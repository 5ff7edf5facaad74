// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The platform's source of captured audio.
//
// Implemented by a platform plug-in or the device maker and handed to the
// host library through a PlatformFactory or a PlatformApi. May be called from
// any of the host library's threads.
#ifndef PREBUILT_LIB_AUDIO_INPUT_PROVIDER_H_
#define PREBUILT_LIB_AUDIO_INPUT_PROVIDER_H_

#include <cstdint>

#include "prebuilt/lib/audio_input.h"

namespace assistant_client {

class AudioInputProvider {
 public:
  AudioInputProvider() = default;
  AudioInputProvider(const AudioInputProvider&) = delete;
  AudioInputProvider& operator=(const AudioInputProvider&) = delete;
  virtual ~AudioInputProvider() = default;

  // Owned by the provider; never null, and the same input at every call.
  virtual AudioInput* GetAudioInput() = 0;
  // The clock that buffer timestamps are given in.
  virtual int64_t GetCurrentAudioTime() = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_AUDIO_INPUT_PROVIDER_H_
