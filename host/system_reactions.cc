#include "host/system_reactions.h"

namespace vantor_host {

SystemReactions::SystemReactions(assistant_client::SystemProvider* provider)
    : provider_(provider) {}

SystemReactions::~SystemReactions() = default;

bool SystemReactions::IsMuted() {
  return false;
}

}  // namespace vantor_host
