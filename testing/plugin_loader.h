// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Loads a platform plug-in the way the host library does, for tests and
// benchmarks that must reach it only through its exported entry point.
//
//   std::string error;
//   PlatformEntrypoint entry = LoadPlatformEntrypoint(path, &error);
//   ASSERT_NE(entry, nullptr) << error;
//   C_API_PlatformFactory* factory = entry(version);
#ifndef TESTING_PLUGIN_LOADER_H_
#define TESTING_PLUGIN_LOADER_H_

#include <string>

#include "prebuilt/lib/assistant_client.h"
#include "prebuilt/lib/c_api.h"

namespace testing_support {

using PlatformEntrypoint = C_API_PlatformFactory* (*)(int version);

// dlopens |path| (never closed: a plug-in may leave threads behind) and
// returns its NewVantorPlatformEntrypoint; null with |*error| set when the
// library does not load or lacks the entry point.
PlatformEntrypoint LoadPlatformEntrypoint(const std::string& path,
                                          std::string* error);

// The platform bundle that comes with each factory request, for plug-ins
// that never read it: every getter answers null.
class NullPlatform : public assistant_client::PlatformApi {
 public:
  assistant_client::AudioInputProvider* GetAudioInputProvider() override;
  assistant_client::AudioOutputProvider* GetAudioOutputProvider() override;
  assistant_client::AuthProvider* GetAuthProvider() override;
  assistant_client::FileProvider* GetFileProvider() override;
  assistant_client::NetworkProvider* GetNetworkProvider() override;
  assistant_client::SystemProvider* GetSystemProvider() override;
};

}  // namespace testing_support

#endif  // TESTING_PLUGIN_LOADER_H_
