// Base of the platform plug-ins' factories.
//
//   class PlatformFactoryImpl : public PluginFactory {
//     NetworkProvider* MakeNetworkProvider(const std::string& config) override;
//   };
//
// The platform wrapper that comes with each request passes to the factory.
// No provider of the plug-ins uses it, so it is released at once instead of
// staying allocated for the life of the process, whatever kind was asked for.
// Header-only: it needs the bridge's interfaces, which platform_utils does
// not link.
#ifndef PLATFORM_UTILS_PLUGIN_FACTORY_H_
#define PLATFORM_UTILS_PLUGIN_FACTORY_H_

#include <memory>
#include <string>

#include "prebuilt/lib/assistant_client.h"

namespace assistant_reference {

class PluginFactory : public assistant_client::PlatformFactory {
 public:
  using PlatformApi = assistant_client::PlatformApi;

  assistant_client::AuthProvider* NewAuthProvider(const std::string&,
                                                  PlatformApi* platform) final {
    return Offer<assistant_client::AuthProvider>(platform, nullptr);
  }
  assistant_client::AudioInputProvider* NewAudioInputProvider(
      const std::string&,
      PlatformApi* platform) final {
    return Offer<assistant_client::AudioInputProvider>(platform, nullptr);
  }
  assistant_client::AudioOutputProvider* NewAudioOutputProvider(
      const std::string&,
      PlatformApi* platform) final {
    return Offer<assistant_client::AudioOutputProvider>(platform, nullptr);
  }
  assistant_client::FileProvider* NewFileProvider(const std::string&,
                                                  PlatformApi* platform) final {
    return Offer<assistant_client::FileProvider>(platform, nullptr);
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

#endif  // PLATFORM_UTILS_PLUGIN_FACTORY_H_
