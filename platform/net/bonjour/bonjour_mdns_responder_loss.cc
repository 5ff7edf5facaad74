// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The responder when its daemon goes away: what it keeps, and how it
// registers it again once the daemon is back. When to try is
// DaemonReturnWatch's.

#include <algorithm>
#include <string>
#include <vector>

#include "core/logging.h"
#include "core/service_status.h"
#include "platform/net/bonjour/bonjour_mdns_responder.h"
#include "platform/net/bonjour/bonjour_mdns_responder_internal.h"

namespace assistant_reference {

using bonjour_internal::Clock;
using bonjour_internal::IsDaemonGone;

void BonjourMdnsResponder::Lose(const std::vector<Instance*>& instances,
                                DNSServiceErrorType error_code) {
  std::vector<std::string> ids;
  for (Instance* instance : instances) {
    Deallocate(instance->ref);
    instance->ref = nullptr;
    instance->fd = -1;
    instance->state = Instance::State::kLost;
    instance->loss_code = error_code;
    ids.push_back(instance->service_instance_id);
  }
  std::sort(ids.begin(), ids.end());
  std::string names;
  for (const std::string& id : ids)
    names += (names.empty() ? "" : ", ") + id;
  LOG(WARNING) << "Lost mdns service instances error_code=" << error_code
               << ", registering them again when the daemon is back: " << names;
  core::ReportServiceStatus(
      "mdns",
      "not advertised: the mDNS daemon went away; registering "
      "again when it is back");
  daemon_return_.Lost(Clock::now());
}

// One daemon serves them all: what one reference says of it holds for every
// registration.
void BonjourMdnsResponder::LoseAllRegistered(DNSServiceErrorType error_code) {
  std::vector<Instance*> registered;
  for (const auto& entry : services_) {
    if (entry.second->state == Instance::State::kRegistered)
      registered.push_back(entry.second.get());
  }
  Lose(registered, error_code);
}

void BonjourMdnsResponder::Reregistered(Instance* instance) {
  instance->state = Instance::State::kRegistered;
  LOG(INFO) << "Re-registered mdns service instance: "
            << instance->service_instance_id;
  NoteAdvertisedName(instance);
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  RunParked(std::move(parked));
}

void BonjourMdnsResponder::FailReregistration(Instance* instance,
                                              DNSServiceErrorType error_code) {
  Deallocate(instance->ref);
  instance->ref = nullptr;
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  if (IsDaemonGone(error_code)) {
    // Away again (or still starting): tried again later, quietly; the
    // loss was logged when it happened.
    instance->state = Instance::State::kLost;
    instance->loss_code = error_code;
    daemon_return_.TryFailed(Clock::now());
  } else {
    Drop(instance, error_code);
  }
  RunParked(std::move(parked));
}

// Such as a name another device took meanwhile: trying again would only fail
// again, so the instance is given up.
void BonjourMdnsResponder::Drop(Instance* instance,
                                DNSServiceErrorType error_code) {
  const std::string id = instance->service_instance_id;
  LOG(WARNING) << "Can't re-register mdns service instance: " << id
               << " error_code=" << error_code << "; it stays withdrawn";
  core::ReportServiceStatus("mdns",
                            "not advertised: registering again failed (error " +
                                std::to_string(error_code) + ")");
  services_.erase(id);
}

void BonjourMdnsResponder::Retry() {
  std::vector<std::string> lost;
  for (const auto& entry : services_) {
    if (entry.second->state == Instance::State::kLost)
      lost.push_back(entry.first);
  }
  std::sort(lost.begin(), lost.end());
  // The first one tells whether the daemon is back; the others follow at
  // once only when it is.
  for (const std::string& id : lost) {
    Instance* instance = services_.at(id).get();
    DNSServiceErrorType error_code;
    std::string message;
    if (StartRegistration(instance, &error_code, &message)) {
      instance->state = Instance::State::kReregistering;
      continue;
    }
    if (!IsDaemonGone(error_code)) {
      Drop(instance, error_code);
      continue;
    }
    instance->loss_code = error_code;
    daemon_return_.TryFailed(Clock::now());
    return;
  }
  // Everything is on its way; a reply that finds the daemon gone again
  // starts the watch anew.
  daemon_return_.Back();
}

}  // namespace assistant_reference
