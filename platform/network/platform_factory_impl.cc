// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in's factory and its exported entry point.
#include "platform/network/network_provider_impl.h"
#include "platform/utils/plugin_factory.h"
#include "prebuilt/lib/abi_wrapper.h"
#include "prebuilt/lib/api_wrappers.h"

namespace assistant_reference {
namespace {

// Offers the network provider only.
class PlatformFactoryImpl : public PluginFactory {
 protected:
  assistant_client::NetworkProvider* MakeNetworkProvider(
      const std::string& config) override {
    return new NetworkProviderImpl(config);
  }
};

}  // namespace
}  // namespace assistant_reference

extern "C" __attribute__((visibility("default"))) C_API_PlatformFactory*
NewVantorPlatformEntrypoint(int version) {
  // Called from the host's C frames: an allocation failure answers null.
  return assistant_client::internal_api::GuardSlot(__func__, [version] {
    return assistant_client::CreatePlatformEntrypoint(
        version, new assistant_reference::PlatformFactoryImpl());
  });
}
