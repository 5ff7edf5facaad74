// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The bundle of the six platform services that the host library works with.
//
// Implemented by the device maker (or handed over by the host library) and
// passed with every provider request of a PlatformFactory and, optionally,
// to AssistantManager::Create(). Every getter answers a provider that the
// bundle keeps owning; none may answer null. May be called from any thread.
#ifndef PREBUILT_LIB_PLATFORM_API_H_
#define PREBUILT_LIB_PLATFORM_API_H_

#include "prebuilt/lib/audio_input_provider.h"
#include "prebuilt/lib/audio_output_provider.h"
#include "prebuilt/lib/auth_provider.h"
#include "prebuilt/lib/file_provider.h"
#include "prebuilt/lib/network_provider.h"
#include "prebuilt/lib/system_provider.h"

namespace assistant_client {

class PlatformApi {
 public:
  PlatformApi() = default;
  PlatformApi(const PlatformApi&) = delete;
  PlatformApi& operator=(const PlatformApi&) = delete;

  // Each: owned by the bundle; never null.
  virtual AudioInputProvider* GetAudioInputProvider() = 0;
  virtual AudioOutputProvider* GetAudioOutputProvider() = 0;
  virtual AuthProvider* GetAuthProvider() = 0;
  virtual FileProvider* GetFileProvider() = 0;
  virtual NetworkProvider* GetNetworkProvider() = 0;
  virtual SystemProvider* GetSystemProvider() = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~PlatformApi() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_PLATFORM_API_H_
