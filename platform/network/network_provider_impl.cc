#include "platform/network/network_provider_impl.h"

#include "platform/utils/file_utils.h"

namespace assistant_reference {
namespace {

constexpr char kConfigSection[] = "platform_config";
constexpr char kConnectionStatusPathKey[] = "connection_status_path";
constexpr char kDefaultStatusFile[] = "/assistant/network_state";

struct StatusWord {
  const char* word;
  assistant_client::NetworkProvider::ConnectionStatus status;
};

constexpr StatusWord kStatusWords[] = {
    {"WIFI_NOT_CONFIGURED",
     assistant_client::NetworkProvider::WIFI_NOT_CONFIGURED},
    {"DISCONNECTED_FROM_WIFI",
     assistant_client::NetworkProvider::DISCONNECTED_FROM_WIFI},
    {"DISCONNECTED_FROM_INTERNET",
     assistant_client::NetworkProvider::DISCONNECTED_FROM_INTERNET},
    {"WIFI_ERROR", assistant_client::NetworkProvider::WIFI_ERROR},
    {"CONNECTING", assistant_client::NetworkProvider::CONNECTING},
    {"CONNECTED", assistant_client::NetworkProvider::CONNECTED},
};

}  // namespace

NetworkProviderImpl::NetworkProviderImpl(const std::string& config)
    : config_(ConfigAccessor::Parse(config, kConfigSection)),
      connection_status_path_(
          config_->GetString(kConnectionStatusPathKey,
                             GetAssistantRootPath() + kDefaultStatusFile)),
      mdns_responder_(std::make_unique<BonjourMdnsResponder>()) {}

NetworkProviderImpl::~NetworkProviderImpl() = default;

assistant_client::NetworkProvider::ConnectionStatus
NetworkProviderImpl::GetConnectionStatus() {
  // Read afresh each time: the file is the other service's to change.
  const std::string text = ReadFile(connection_status_path_, /*trim=*/true);
  for (const StatusWord& entry : kStatusWords) {
    if (text == entry.word)
      return entry.status;
  }
  return UNKNOWN;
}

assistant_client::MdnsResponder* NetworkProviderImpl::GetMdnsResponder() {
  return mdns_responder_.get();
}

}  // namespace assistant_reference
