// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host library's one export, NewVantorEntrypoint, built on the
// bridge's structure-side wrappers exactly as a real host would be.
#include <memory>

#include "core/logging.h"
#include "host/host_assistant_manager.h"
#include "host/platform/builtin_platform.h"
#include "host/plugins/plugin_registry.h"
#include "prebuilt/lib/abi_wrapper.h"
#include "prebuilt/lib/api_wrappers.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: a stand-in full of overrides.

// The host's platform loader: each kind comes from the first plug-in that
// offers it, or nobody.
class PluginPlatformLoader : public PlatformFactory {
 public:
  AuthProvider* NewAuthProvider(const std::string& config,
                                PlatformApi* platform) override {
    return FirstOffer(&PlatformFactory::NewAuthProvider, config, platform);
  }
  AudioInputProvider* NewAudioInputProvider(const std::string& config,
                                            PlatformApi* platform) override {
    return FirstOffer(&PlatformFactory::NewAudioInputProvider, config,
                      platform);
  }
  AudioOutputProvider* NewAudioOutputProvider(const std::string& config,
                                              PlatformApi* platform) override {
    return FirstOffer(&PlatformFactory::NewAudioOutputProvider, config,
                      platform);
  }
  FileProvider* NewFileProvider(const std::string& config,
                                PlatformApi* platform) override {
    return FirstOffer(&PlatformFactory::NewFileProvider, config, platform);
  }
  NetworkProvider* NewNetworkProvider(const std::string& config,
                                      PlatformApi* platform) override {
    return FirstOffer(&PlatformFactory::NewNetworkProvider, config, platform);
  }
  SystemProvider* NewSystemProvider(const std::string& config,
                                    PlatformApi* platform) override {
    return FirstOffer(&PlatformFactory::NewSystemProvider, config, platform);
  }

 private:
  template <typename Provider>
  Provider* FirstOffer(Provider* (PlatformFactory::*make)(const std::string&,
                                                          PlatformApi*),
                       const std::string& config,
                       PlatformApi* platform) {
    for (const Plugin& plugin : LoadPlugins(FindPluginFolder(""))) {
      std::unique_ptr<PlatformFactory> factory = NewFactory(plugin);
      if (!factory)
        continue;
      if (Provider* provider = (factory.get()->*make)(config, platform))
        return provider;
    }
    return nullptr;
  }
};

class HostEntrypoint : public internal_api::VantorEntrypoint {
 public:
  AssistantManager* NewAssistantManager(const std::string& config,
                                        PlatformApi* platform) override {
    return new HostAssistantManager(config, platform);
  }
  PlatformFactory* NewPlatformLoader() override {
    return new PluginPlatformLoader();
  }
  AssistantManagerInternal* GetAssistantManagerInternal(
      AssistantManager* manager) override {
    // The manager object itself is the host's internal handle.
    return reinterpret_cast<AssistantManagerInternal*>(manager);
  }
};

}  // namespace
}  // namespace vantor_host

extern "C" C_API_VantorEntrypoint* NewVantorEntrypoint(int version) {
  // Called from the client's C frames: an allocation failure answers null.
  return assistant_client::internal_api::GuardSlot(__func__, [version] {
    return assistant_client::internal_api::VantorEntrypointToC(
        new vantor_host::HostEntrypoint(), version);
  });
}
