// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in's provider: the device's connection status, read as one
// word from a state file that another service keeps up to date, and the
// plug-in's DNS-SD responder.
//
// GetConnectionStatus and GetMdnsResponder may be called on any thread;
// construction and destruction must not overlap them. Destruction blocks
// until the responder has answered everything pending and withdrawn every
// service.
#ifndef PLATFORM_NETWORK_NETWORK_PROVIDER_IMPL_H_
#define PLATFORM_NETWORK_NETWORK_PROVIDER_IMPL_H_

#include <memory>
#include <string>

#include "platform/net/bonjour/bonjour_mdns_responder.h"
#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/network_provider.h"

namespace assistant_reference {

class NetworkProviderImpl : public assistant_client::NetworkProvider {
 public:
  // |config| is the whole configuration text; the provider reads its
  // "platform_config" section.
  explicit NetworkProviderImpl(const std::string& config);
  ~NetworkProviderImpl() override;

  ConnectionStatus GetConnectionStatus() override;
  // Owned by this provider; the same object on every call.
  assistant_client::MdnsResponder* GetMdnsResponder() override;

 private:
  const std::unique_ptr<ConfigAccessor> config_;
  const std::string connection_status_path_;
  // Destroyed first: it still runs pending requests while being destroyed.
  const std::unique_ptr<DeletableMdnsResponder> mdns_responder_;
};

}  // namespace assistant_reference

#endif  // PLATFORM_NETWORK_NETWORK_PROVIDER_IMPL_H_
