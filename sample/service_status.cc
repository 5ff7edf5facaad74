// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "sample/service_status.h"

#include <type_traits>

#include "core/service_status.h"

namespace {

// The instance the plug-ins' reports go to, if any. The lock is held over
// each report, so that the destructor can wait for one under way.
std::mutex g_instance_mutex;
ServiceStatus* g_instance = nullptr;

}  // namespace

// Found by the plug-ins in the executable's dynamic symbol table (see
// assistant_sample.dynamic-list).
extern "C" __attribute__((visibility("default"))) void vantor_service_status(
    const char* topic,
    const char* text) {
  if (!topic || !text)
    return;
  std::lock_guard<std::mutex> lock(g_instance_mutex);
  if (g_instance)
    g_instance->Report(topic, text);
}

// The type the plug-ins call it through.
static_assert(std::is_same_v<decltype(&vantor_service_status),
                             core::ServiceStatusFunction>);

ServiceStatus::ServiceStatus(ServiceNotifier* notifier) : notifier_(notifier) {
  std::lock_guard<std::mutex> lock(g_instance_mutex);
  g_instance = this;
}

ServiceStatus::~ServiceStatus() {
  std::lock_guard<std::mutex> lock(g_instance_mutex);
  if (g_instance == this)
    g_instance = nullptr;
}

void ServiceStatus::Report(const std::string& topic, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (topic == "mdns")
    mdns_ = text;
  else if (topic == "microphone")
    microphone_ = text;
  else
    return;
  SendLocked();
}

void ServiceStatus::CountInteraction() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++interactions_;
  SendLocked();
}

std::string ServiceStatus::Line(const std::string& mdns,
                                const std::string& microphone,
                                uint64_t interactions) {
  return (mdns.empty() ? "not advertised yet" : mdns) + "; microphone " +
         (microphone.empty() ? "not known yet" : microphone) + "; " +
         std::to_string(interactions) +
         (interactions == 1 ? " interaction" : " interactions");
}

void ServiceStatus::SendLocked() {
  std::string line = Line(mdns_, microphone_, interactions_);
  if (line == sent_)
    return;
  sent_ = line;
  notifier_->Status(sent_);
}
