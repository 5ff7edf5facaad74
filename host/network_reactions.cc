// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network_reactions.h"

#include <dlfcn.h>
#include <stdio.h>

#include <array>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "core/synchronization.h"
#include "platform/utils/config_inspector.h"

namespace vantor_host {
namespace {

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;

constexpr char kDefaultServiceType[] = "_vantor._tcp";
constexpr char kDefaultInstanceName[] = "Vantor Device";
constexpr int kDefaultPort = 8009;

const char* StatusName(NetworkProvider::ConnectionStatus status) {
  switch (status) {
    case NetworkProvider::UNKNOWN:
      return "UNKNOWN";
    case NetworkProvider::WIFI_NOT_CONFIGURED:
      return "WIFI_NOT_CONFIGURED";
    case NetworkProvider::DISCONNECTED_FROM_WIFI:
      return "DISCONNECTED_FROM_WIFI";
    case NetworkProvider::DISCONNECTED_FROM_INTERNET:
      return "DISCONNECTED_FROM_INTERNET";
    case NetworkProvider::WIFI_ERROR:
      return "WIFI_ERROR";
    case NetworkProvider::CONNECTING:
      return "CONNECTING";
    case NetworkProvider::CONNECTED:
      return "CONNECTED";
  }
  return "out of range";  // A plug-in's number crosses unchecked.
}

const char* ResultName(MdnsResponder::Result result) {
  switch (result) {
    case MdnsResponder::FATAL_ERROR:
      return "FATAL_ERROR";
    case MdnsResponder::NON_FATAL_ERROR:
      return "NON_FATAL_ERROR";
    case MdnsResponder::SUCCESS:
      return "SUCCESS";
  }
  return "out of range";
}

bool HasKey(const assistant_reference::ConfigAccessor& config,
            const std::string& key) {
  for (const std::string& present :
       assistant_reference::ConfigInspector::SectionKeys(config)) {
    if (present == key)
      return true;
  }
  return false;
}

// Optional keys: absent is not worth a warning, another type is.
std::string OptionalString(const assistant_reference::ConfigAccessor& config,
                           const std::string& key,
                           const std::string& default_value) {
  return HasKey(config, key) ? config.GetString(key, default_value)
                             : default_value;
}

uint16_t OptionalPort(const assistant_reference::ConfigAccessor& config,
                      const std::string& key,
                      int default_value) {
  const int port =
      HasKey(config, key) ? config.GetInt(key, default_value) : default_value;
  if (port < 1 || port > 65535) {
    LOG(WARNING) << "mdns_port " << port << " is not a port; using "
                 << default_value;
    return static_cast<uint16_t>(default_value);
  }
  return static_cast<uint16_t>(port);
}

// core::SetLogMessageHandler as every deliverable exports it.
constexpr char kSetLogMessageHandler[] =
    "_ZN4core20SetLogMessageHandlerEPFbiRKNSt7__cxx1112basic_stringIcSt11"
    "char_traitsIcESaIcEEEE";
// What the network plug-in logs when it registered a service again by
// itself.
constexpr char kReadvertised[] = "Re-registered mdns service instance: ";

// The watched plug-ins' names, by handler slot. Written before the
// plug-in's threads exist, only read afterwards.
constexpr int kMaxWatched = 8;
// A slot's name is written once, before its handler is handed out.
std::string g_watched[kMaxWatched];
core::Mutex& WatchedMutex() {
  static core::Mutex* mutex = new core::Mutex();  // Never destroyed.
  return *mutex;
}
int g_watched_count CORE_GUARDED_BY(WatchedMutex()) = 0;

bool OnPluginLine(const std::string& plugin, const std::string& line) {
  const size_t at = line.find(kReadvertised);
  if (at == std::string::npos)
    return false;
  std::string id = line.substr(at + sizeof(kReadvertised) - 1);
  if (!id.empty() && id.back() == '\n')
    id.pop_back();
  // The plug-in's own line first, exactly as it would have written it.
  fwrite(line.data(), 1, line.size(), stderr);
  LOG(INFO) << "mDNS: " << id << " advertised again by " << plugin
            << " after the daemon came back; the host did not ask";
  return true;
}

// One handler per slot: a handler is a plain function, and it must know
// whose line it reads.
template <int kSlot>
bool OnWatchedLine(int /*severity*/, const std::string& line) {
  return OnPluginLine(g_watched[kSlot], line);
}

template <int... kSlots>
constexpr std::array<core::LogMessageHandler, sizeof...(kSlots)> Handlers(
    std::integer_sequence<int, kSlots...>) {
  return {&OnWatchedLine<kSlots>...};
}
constexpr std::array<core::LogMessageHandler, kMaxWatched> kHandlers =
    Handlers(std::make_integer_sequence<int, kMaxWatched>());

// DNS TXT record data: each string behind its one-byte length.
std::string TxtRecord(const std::vector<std::string>& strings) {
  std::string wire;
  for (const std::string& s : strings) {
    const std::string kept = s.substr(0, 255);
    wire += static_cast<char>(kept.size());
    wire += kept;
  }
  return wire;
}

}  // namespace

struct NetworkReactions::Advertisement {
  core::Mutex mutex;
  bool refused CORE_GUARDED_BY(mutex) = false;
};

NetworkReactions::NetworkReactions(
    NetworkProvider* provider,
    const assistant_reference::ConfigAccessor& host_config,
    const std::string& device_id)
    : provider_(provider),
      responder_(provider->GetMdnsResponder()),
      service_type_(OptionalString(host_config,
                                   "mdns_service_type",
                                   kDefaultServiceType)),
      instance_name_(OptionalString(host_config,
                                    "mdns_instance_name",
                                    kDefaultInstanceName)),
      port_(OptionalPort(host_config, "mdns_port", kDefaultPort)),
      advertisement_(std::make_shared<Advertisement>()) {
  LOG(INFO) << "Connection status: "
            << StatusName(provider_->GetConnectionStatus());
  if (!responder_) {
    LOG(INFO) << "The network provider has no mDNS responder; the device is "
                 "not advertised";
    return;
  }
  const std::string service = instance_name_ + "." + service_type_;
  LOG(INFO) << "Advertising " << service << " on port " << port_;
  responder_->AddService(
      service_type_, instance_name_, port_, TxtRecord({"id=" + device_id}),
      [advertisement = advertisement_, service](MdnsResponder::Result result,
                                                std::string message) {
        if (result == MdnsResponder::SUCCESS) {
          LOG(INFO) << "Advertised " << service << ": SUCCESS";
          return;
        }
        LOG(WARNING) << "Advertising " << service
                     << " failed: " << ResultName(result) << " " << message;
        core::AutoLock lock(&advertisement->mutex);
        advertisement->refused = true;
      });
}

NetworkReactions::~NetworkReactions() {
  if (!responder_)
    return;
  {
    core::AutoLock lock(&advertisement_->mutex);
    if (advertisement_->refused)
      return;
  }
  // Also when the answer has not come yet: the removal runs after it.
  LOG(INFO) << "Withdrawing " << instance_name_ << "." << service_type_;
  responder_->RemoveService(service_type_, instance_name_);
}

void WatchPluginLog(void* handle, const std::string& plugin_name) {
  using SetHandler = void (*)(core::LogMessageHandler);
  auto* set_handler =
      reinterpret_cast<SetHandler>(dlsym(handle, kSetLogMessageHandler));
  if (!set_handler)
    return;
  core::AutoLock lock(&WatchedMutex());
  if (g_watched_count == kMaxWatched)
    return;
  const int slot = g_watched_count++;
  g_watched[slot] = plugin_name;
  set_handler(kHandlers[slot]);
}

}  // namespace vantor_host
