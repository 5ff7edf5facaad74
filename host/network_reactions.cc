#include "host/network_reactions.h"

#include <mutex>
#include <vector>

#include "core/logging.h"
#include "platform/utils/config_accessor_internal.h"

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
       assistant_reference::ConfigAccessorInternal::SectionKeys(config)) {
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
  std::mutex mutex;
  bool refused = false;  // Guarded by |mutex|.
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
        std::lock_guard<std::mutex> lock(advertisement->mutex);
        advertisement->refused = true;
      });
}

NetworkReactions::~NetworkReactions() {
  if (!responder_)
    return;
  {
    std::lock_guard<std::mutex> lock(advertisement_->mutex);
    if (advertisement_->refused)
      return;
  }
  // Also when the answer has not come yet: the removal runs after it.
  LOG(INFO) << "Withdrawing " << instance_name_ << "." << service_type_;
  responder_->RemoveService(service_type_, instance_name_);
}

}  // namespace vantor_host
