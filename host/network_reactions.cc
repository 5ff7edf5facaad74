#include "host/network_reactions.h"

namespace vantor_host {

NetworkReactions::NetworkReactions(
    assistant_client::NetworkProvider* provider,
    const assistant_reference::ConfigAccessor& /*host_config*/,
    const std::string& /*device_id*/)
    : provider_(provider) {}

NetworkReactions::~NetworkReactions() = default;

}  // namespace vantor_host
