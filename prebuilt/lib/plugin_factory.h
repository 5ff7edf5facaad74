// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Base of the platform plug-ins' factories, ours and a device maker's.
//
//   class PlatformFactoryImpl : public PluginFactory {
//     NetworkProvider* MakeNetworkProvider(const std::string& config) override;
//   };
//
// Each Make*Provider gets the host's whole configuration text and returns a
// new provider (owned by the caller) or null; the base offers none.
// The platform wrapper that comes with each request passes to the factory.
// These providers do not use it, so it is released at once instead of
// staying allocated for the life of the process, whatever kind was asked for;
// a provider that needs it derives from PlatformFactory itself and keeps it.
#ifndef PREBUILT_LIB_PLUGIN_FACTORY_H_
#define PREBUILT_LIB_PLUGIN_FACTORY_H_

#include <memory>
#include <string>

#include "prebuilt/lib/assistant_client.h"

namespace assistant_reference {

class PluginFactory : public assistant_client::PlatformFactory {
 public:
  using PlatformApi = assistant_client::PlatformApi;

  assistant_client::AuthProvider* NewAuthProvider(const std::string& config,
                                                  PlatformApi* platform) final {
    return Offer(platform, MakeAuthProvider(config));
  }
  assistant_client::AudioInputProvider* NewAudioInputProvider(
      const std::string& config,
      PlatformApi* platform) final {
    return Offer(platform, MakeAudioInputProvider(config));
  }
  assistant_client::AudioOutputProvider* NewAudioOutputProvider(
      const std::string& config,
      PlatformApi* platform) final {
    return Offer(platform, MakeAudioOutputProvider(config));
  }
  assistant_client::FileProvider* NewFileProvider(const std::string& config,
                                                  PlatformApi* platform) final {
    return Offer(platform, MakeFileProvider(config));
  }
  assistant_client::NetworkProvider* NewNetworkProvider(
      const std::string& config,
      PlatformApi* platform) final {
    return Offer(platform, MakeNetworkProvider(config));
  }
  assistant_client::SystemProvider* NewSystemProvider(
      const std::string& config,
      PlatformApi* platform) final {
    return Offer(platform, MakeSystemProvider(config));
  }

 protected:
  // A new provider built from the configuration text, or null.
  virtual assistant_client::AuthProvider* MakeAuthProvider(
      const std::string& /*config*/) {
    return nullptr;
  }
  virtual assistant_client::AudioInputProvider* MakeAudioInputProvider(
      const std::string& /*config*/) {
    return nullptr;
  }
  virtual assistant_client::AudioOutputProvider* MakeAudioOutputProvider(
      const std::string& /*config*/) {
    return nullptr;
  }
  virtual assistant_client::FileProvider* MakeFileProvider(
      const std::string& /*config*/) {
    return nullptr;
  }
  virtual assistant_client::NetworkProvider* MakeNetworkProvider(
      const std::string& /*config*/) {
    return nullptr;
  }
  virtual assistant_client::SystemProvider* MakeSystemProvider(
      const std::string& /*config*/) {
    return nullptr;
  }

 private:
  template <typename Provider>
  static Provider* Offer(PlatformApi* platform, Provider* provider) {
    std::unique_ptr<PlatformApi> unused(platform);
    return provider;
  }
};

}  // namespace assistant_reference

#endif  // PREBUILT_LIB_PLUGIN_FACTORY_H_
