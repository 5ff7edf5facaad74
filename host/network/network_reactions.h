// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the stand-in host does with a network provider from a plug-in, as a
// real host would: reports the connection status, advertises the device
// over DNS-SD while the assistant runs (trying again, with a growing pause,
// while the answer is NON_FATAL_ERROR), and logs what the network shows of
// the advertisement (NetworkView). The name the network gives the device
// (after a rename among namesakes) is kept in the host's data folder
// (<root>/host/mdns_name) and asked for at the next start, unless the
// configuration names another.
#ifndef HOST_NETWORK_NETWORK_REACTIONS_H_
#define HOST_NETWORK_NETWORK_REACTIONS_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
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

  // The pause before try |attempt| + 1 after |attempt| tries failed,
  // before its jitter.
  static std::chrono::milliseconds RetryDelay(const Options& options,
                                              int attempt);
  // The name to ask for again after a failed try: |preferred| while the
  // network does not show it (|shown|), else the first of |configured|,
  // "|configured| #2", "#3", ... that it does not show; with |skip|, the
  // one that many free names further. Namesakes that start at once rename
  // in step with each other, and the daemon slows a registration that
  // renamed many times to one probe a minute; asking for a name that is
  // free starts afresh where the others left off.
  static std::string FreeName(const std::string& preferred,
                              const std::string& configured,
                              const std::set<std::string>& shown,
                              size_t skip = 0);

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
  // The name the configuration gives, and the one asked for first: the
  // name the network gave the device for it last time, if any.
  const std::string configured_name_;
  const std::string instance_name_;
  const uint16_t port_;
  // This process's TXT string, which tells its registration from one an
  // earlier process of the device left on the network.
  const std::string run_text_;
  const std::string txt_record_;
  const std::shared_ptr<Advertisement> advertisement_;
  Scheduler retry_;
  std::unique_ptr<NetworkView> view_;
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_NETWORK_REACTIONS_H_
