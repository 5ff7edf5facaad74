// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Volume and audio focus of the device's outputs.
//
// Implemented by the platform; belongs to its AudioOutputProvider. Volumes
// are in [0, 1] and cross between binaries in hundredths (truncated), so
// finer steps are lost. May be called from any of the host library's
// threads.
#ifndef PREBUILT_LIB_VOLUME_CONTROL_H_
#define PREBUILT_LIB_VOLUME_CONTROL_H_

#include "prebuilt/lib/audio_output.h"

namespace assistant_client {

class VolumeControl {
 public:
  VolumeControl() = default;
  VolumeControl(const VolumeControl&) = delete;
  VolumeControl& operator=(const VolumeControl&) = delete;

  virtual void SetAudioFocus(OutputStreamType type) = 0;
  virtual float GetSystemVolume() = 0;
  // |flag| is passed through unchanged; its meaning is the host library's.
  virtual void SetSystemVolume(float volume, bool flag) = 0;
  virtual float GetAlarmVolume() = 0;
  // |flag| is passed through unchanged; its meaning is the host library's.
  virtual void SetAlarmVolume(float volume, bool flag) = 0;
  virtual bool IsSystemMuted() = 0;
  virtual void SetSystemMuted(bool muted) = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~VolumeControl() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_VOLUME_CONTROL_H_
