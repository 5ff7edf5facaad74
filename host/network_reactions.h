// What the stand-in host does with a network provider from a plug-in, as a
// real host would: reports the connection status and advertises the device
// over DNS-SD while the assistant runs.
#ifndef HOST_NETWORK_REACTIONS_H_
#define HOST_NETWORK_REACTIONS_H_

#include <string>

#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/network_provider.h"

namespace vantor_host {

class NetworkReactions {
 public:
  // |provider| and |host_config| are borrowed and outlive this object.
  NetworkReactions(assistant_client::NetworkProvider* provider,
                   const assistant_reference::ConfigAccessor& host_config,
                   const std::string& device_id);
  NetworkReactions(const NetworkReactions&) = delete;
  NetworkReactions& operator=(const NetworkReactions&) = delete;
  // Withdraws the advertisement.
  ~NetworkReactions();

 private:
  assistant_client::NetworkProvider* const provider_;
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_REACTIONS_H_
