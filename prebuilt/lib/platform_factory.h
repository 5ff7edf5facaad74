// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Makes platform providers on request. A platform plug-in derives from
// PlatformFactory, overrides the kinds it offers and hands an instance to the
// host library from its exported entry function:
//
//   extern "C" VANTOR_EXPORT C_API_PlatformFactory*
//   NewVantorPlatformEntrypoint(int version) {
//     return assistant_client::CreatePlatformEntrypoint(version,
//                                                       new MyFactory());
//   }
//
// |version| is the host's API version; assistant_client::kApiVersion is this
// bridge's.
//
// Factories keep no state of their own and may be called from any thread.
#ifndef PREBUILT_LIB_PLATFORM_FACTORY_H_
#define PREBUILT_LIB_PLATFORM_FACTORY_H_

#include <string>

#include "core/export.h"
#include "prebuilt/lib/c_api.h"

namespace assistant_client {

// The API version of this bridge (VANTOR_API_VERSION), to compare with the
// version that NewVantorPlatformEntrypoint receives from the host.
inline constexpr int kApiVersion = VANTOR_API_VERSION;

class AudioInputProvider;
class AudioOutputProvider;
class AuthProvider;
class FileProvider;
class NetworkProvider;
class PlatformApi;
class SystemProvider;

// Each New*Provider gets the host's configuration text and a platform bundle
// (borrowed, never null) and returns a new provider owned by the caller, or
// null when the factory offers no provider of that kind. This base offers
// none.
class PlatformFactory {
 public:
  PlatformFactory() = default;
  PlatformFactory(const PlatformFactory&) = delete;
  PlatformFactory& operator=(const PlatformFactory&) = delete;
  virtual ~PlatformFactory() = default;

  virtual AuthProvider* NewAuthProvider(const std::string& /*config*/,
                                        PlatformApi* /*platform*/) {
    return nullptr;
  }
  virtual AudioInputProvider* NewAudioInputProvider(
      const std::string& /*config*/,
      PlatformApi* /*platform*/) {
    return nullptr;
  }
  virtual AudioOutputProvider* NewAudioOutputProvider(
      const std::string& /*config*/,
      PlatformApi* /*platform*/) {
    return nullptr;
  }
  virtual FileProvider* NewFileProvider(const std::string& /*config*/,
                                        PlatformApi* /*platform*/) {
    return nullptr;
  }
  virtual NetworkProvider* NewNetworkProvider(const std::string& /*config*/,
                                              PlatformApi* /*platform*/) {
    return nullptr;
  }
  virtual SystemProvider* NewSystemProvider(const std::string& /*config*/,
                                            PlatformApi* /*platform*/) {
    return nullptr;
  }
};

// Wraps |factory| (owned by the result, never null) for the host library,
// recording |version|, the caller's API version. The host releases the result
// through its Destroy slot, which deletes |factory|.
VANTOR_EXPORT C_API_PlatformFactory* CreatePlatformEntrypoint(
    int version,
    PlatformFactory* factory);

}  // namespace assistant_client

#endif  // PREBUILT_LIB_PLATFORM_FACTORY_H_
