// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the stand-in host does with a network provider from a plug-in, as a
// real host would: reports the connection status, advertises the device
// over DNS-SD while the assistant runs (trying again, with a growing pause,
// while the answer is NON_FATAL_ERROR), and logs what the network shows of
// the advertisement (NetworkView).
#ifndef HOST_NETWORK_NETWORK_REACTIONS_H_
#define HOST_NETWORK_NETWORK_REACTIONS_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "host/base/scheduler.h"
#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/network_provider.h"

namespace vantor_host {

class NetworkView;

class NetworkReactions {
 public:
  struct Options {
    // The pause before the first new try after NON_FATAL_ERROR, doubling
    // up to |max_retry|. A daemon that starts to serve cuts it short.
    std::chrono::milliseconds first_retry{1000};
    std::chrono::milliseconds max_retry{30000};
    // Browse the network for the advertisement (through the system bus).
    bool watch_network = true;
  };

  // |provider| and |host_config| are borrowed and outlive this object.
  // Advertises the service named by |host_config| (keys mdns_service_type,
  // mdns_instance_name, mdns_port) with the device id in its TXT record.
  NetworkReactions(assistant_client::NetworkProvider* provider,
                   const assistant_reference::ConfigAccessor& host_config,
                   const std::string& device_id,
                   Options options);
  NetworkReactions(assistant_client::NetworkProvider* provider,
                   const assistant_reference::ConfigAccessor& host_config,
                   const std::string& device_id)
      : NetworkReactions(provider, host_config, device_id, Options()) {}
  NetworkReactions(const NetworkReactions&) = delete;
  NetworkReactions& operator=(const NetworkReactions&) = delete;
  // Withdraws the advertisement.
  ~NetworkReactions();

  // The pause before try |attempt| + 1 after |attempt| tries failed.
  static std::chrono::milliseconds RetryDelay(const Options& options,
                                              int attempt);

 private:
  // What the requests' answers tell; shared with their callbacks, which run
  // on the responder's thread and may outlive this object.
  struct Advertisement;

  // Asks the responder; from the constructor and on |retry_|'s thread.
  void Request();
  // Starts |view_|, which asks again as soon as the daemon serves.
  void MakeView(const std::string& device_id);

  assistant_client::NetworkProvider* const provider_;
  // Owned by |provider_|; null when the provider advertises nothing.
  assistant_client::MdnsResponder* const responder_;
  const Options options_;
  const std::string service_type_;
  const std::string instance_name_;
  const uint16_t port_;
  const std::string txt_record_;
  const std::shared_ptr<Advertisement> advertisement_;
  Scheduler retry_;
  std::unique_ptr<NetworkView> view_;
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_NETWORK_REACTIONS_H_
