// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The platform's playback service: creates output streams and hands out the
// volume control and the loopback reference input.
//
// Implemented by a platform plug-in or the device maker and handed to the
// host library through a PlatformFactory or a PlatformApi. May be called from
// any of the host library's threads.
#ifndef PREBUILT_LIB_AUDIO_OUTPUT_PROVIDER_H_
#define PREBUILT_LIB_AUDIO_OUTPUT_PROVIDER_H_

#include <vector>

#include "prebuilt/lib/audio_input.h"
#include "prebuilt/lib/audio_output.h"
#include "prebuilt/lib/callback.h"
#include "prebuilt/lib/volume_control.h"

namespace assistant_client {

class AudioOutputProvider {
 public:
  AudioOutputProvider() = default;
  AudioOutputProvider(const AudioOutputProvider&) = delete;
  AudioOutputProvider& operator=(const AudioOutputProvider&) = delete;
  virtual ~AudioOutputProvider() = default;

  // Owned by the caller; never null.
  virtual AudioOutput* CreateAudioOutput(OutputStreamType type,
                                         const OutputStreamFormat& format) = 0;
  virtual std::vector<OutputStreamEncoding> GetSupportedStreamEncodings() = 0;
  // Owned by the provider; null when the device has no loopback.
  virtual AudioInput* GetReferenceInput() = 0;
  virtual bool SupportsPlaybackTimestamp() const = 0;
  // Owned by the provider; never null, and the same control at every call.
  virtual VolumeControl* GetVolumeControl() = 0;
  // |callback| runs with true while the device emits sound and false when it
  // stops. The default keeps no callback: it is released without running.
  virtual void RegisterAudioEmittingStateCallback(
      Callback<true, bool> /*callback*/) {}
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_AUDIO_OUTPUT_PROVIDER_H_
