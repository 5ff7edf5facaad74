// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the stand-in host does with a network provider from a plug-in, as a
// real host would: reports the connection status and advertises the device
// over DNS-SD while the assistant runs.
#ifndef HOST_NETWORK_REACTIONS_H_
#define HOST_NETWORK_REACTIONS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/network_provider.h"

namespace vantor_host {

class NetworkReactions {
 public:
  // |provider| and |host_config| are borrowed and outlive this object.
  // Advertises the service named by |host_config| (keys mdns_service_type,
  // mdns_instance_name, mdns_port) with the device id in its TXT record.
  NetworkReactions(assistant_client::NetworkProvider* provider,
                   const assistant_reference::ConfigAccessor& host_config,
                   const std::string& device_id);
  NetworkReactions(const NetworkReactions&) = delete;
  NetworkReactions& operator=(const NetworkReactions&) = delete;
  // Withdraws the advertisement.
  ~NetworkReactions();

 private:
  // What the registration's answer tells; shared with its callback, which
  // runs on the responder's thread and may outlive this object.
  struct Advertisement;

  assistant_client::NetworkProvider* const provider_;
  // Owned by |provider_|; null when the provider advertises nothing.
  assistant_client::MdnsResponder* const responder_;
  const std::string service_type_;
  const std::string instance_name_;
  const uint16_t port_;
  const std::shared_ptr<Advertisement> advertisement_;
};

// Reads along the log of the plug-in that |handle| (from dlopen) refers to,
// through the SetLogMessageHandler it exports, for what the plug-in does on
// its own: a service it advertised again after its mDNS daemon came back is
// logged by the host too, right after the plug-in's line. Every line still
// goes out as before. Call before the plug-in's threads run, and only for a
// plug-in the host loaded itself (it replaces the plug-in's handler); a
// plug-in without the handler, and any beyond the eighth, are left alone.
void WatchPluginLog(void* handle, const std::string& plugin_name);

}  // namespace vantor_host

#endif  // HOST_NETWORK_REACTIONS_H_
