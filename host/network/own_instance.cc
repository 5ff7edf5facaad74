// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/own_instance.h"

#include <iomanip>
#include <sstream>

#include "core/logging.h"

namespace vantor_host {
namespace {

std::string SecondsSince(OwnInstance::Clock::time_point then) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(2)
       << std::chrono::duration<double>(OwnInstance::Clock::now() - then)
              .count();
  return text.str();
}

}  // namespace

std::optional<std::string> OwnInstance::Answered(const std::string& name,
                                                 bool ours) {
  if (!ours) {
    left_.erase(name);
    if (shown_ && shown_as_ == name)
      Gone("another process answers for the name");
    return std::nullopt;
  }
  if ((shown_ && shown_as_ == name) || left_.count(name))
    return std::nullopt;
  if (shown_as_.empty()) {
    LOG(INFO) << "mDNS: the network shows this device as '" << name << "' ("
              << service_type_ << ")";
  } else if (lost_at_) {
    LOG(INFO) << "mDNS: the network shows this device again as '" << name << "'"
              << (name == shown_as_ ? "" : ", renamed from '" + shown_as_ + "'")
              << ", " << SecondsSince(*lost_at_) << " s after it was lost";
  } else {
    LOG(INFO) << "mDNS: the network shows this device as '" << name
              << "', renamed from '" << shown_as_ << "'";
    left_.insert(shown_as_);
  }
  shown_ = true;
  shown_as_ = name;
  lost_at_.reset();
  return name;
}

void OwnInstance::Withdrawn(const std::string& name) {
  left_.erase(name);
  if (shown_ && shown_as_ == name)
    Gone("withdrawn");
}

void OwnInstance::DaemonGone() {
  left_.clear();
  Gone("the mDNS daemon went away");
}

void OwnInstance::Gone(const std::string& why) {
  if (!shown_)
    return;
  shown_ = false;
  lost_at_ = Clock::now();
  LOG(WARNING) << "mDNS: the network no longer shows this device as '"
               << shown_as_ << "': " << why;
}

}  // namespace vantor_host
