// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The entry point of one of our plug-ins, each of which offers one provider
// kind built from the host's configuration text:
//
//   extern "C" __attribute__((visibility("default"))) C_API_PlatformFactory*
//   NewVantorPlatformEntrypoint(int version) {
//     return assistant_reference::NewPluginEntrypoint<SystemProviderImpl>(
//         version);
//   }
//
// The kind follows from the provider interface that |Provider| implements.
#ifndef PREBUILT_LIB_PLUGIN_ENTRYPOINT_H_
#define PREBUILT_LIB_PLUGIN_ENTRYPOINT_H_

#include <string>
#include <type_traits>

#include "prebuilt/lib/abi_wrapper.h"
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/plugin_factory.h"

namespace assistant_reference {

// Offers |Provider|, made with new Provider(config), for its kind; no other.
template <typename Provider>
class SingleProviderFactory final : public PluginFactory {
 protected:
  assistant_client::AuthProvider* MakeAuthProvider(
      const std::string& config) override {
    return Make<assistant_client::AuthProvider>(config);
  }
  assistant_client::AudioInputProvider* MakeAudioInputProvider(
      const std::string& config) override {
    return Make<assistant_client::AudioInputProvider>(config);
  }
  assistant_client::AudioOutputProvider* MakeAudioOutputProvider(
      const std::string& config) override {
    return Make<assistant_client::AudioOutputProvider>(config);
  }
  assistant_client::FileProvider* MakeFileProvider(
      const std::string& config) override {
    return Make<assistant_client::FileProvider>(config);
  }
  assistant_client::NetworkProvider* MakeNetworkProvider(
      const std::string& config) override {
    return Make<assistant_client::NetworkProvider>(config);
  }
  assistant_client::SystemProvider* MakeSystemProvider(
      const std::string& config) override {
    return Make<assistant_client::SystemProvider>(config);
  }

 private:
  template <typename Kind>
  static Kind* Make(const std::string& config) {
    if constexpr (std::is_base_of_v<Kind, Provider>)
      return new Provider(config);
    else
      return nullptr;
  }
};

template <typename Provider>
C_API_PlatformFactory* NewPluginEntrypoint(int version) {
  // Called from the host's C frames: an allocation failure answers null.
  return assistant_client::internal_api::GuardSlot(
      "NewVantorPlatformEntrypoint", [version] {
        return assistant_client::CreatePlatformEntrypoint(
            version, new SingleProviderFactory<Provider>());
      });
}

}  // namespace assistant_reference

#endif  // PREBUILT_LIB_PLUGIN_ENTRYPOINT_H_
