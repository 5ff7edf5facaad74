// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/network/network_provider_impl.h"

#include "platform/utils/file_utils.h"
#include "platform/utils/file_utils_internal.h"
#include "platform/utils/state_files.h"

namespace assistant_reference {
namespace {

using assistant_client::NetworkProvider;
namespace files = state_files;

static_assert(sizeof(files::kConnectionWords) /
                      sizeof(files::kConnectionWords[0]) ==
                  NetworkProvider::CONNECTED,
              "one word for each status after UNKNOWN");

}  // namespace

NetworkProviderImpl::NetworkProviderImpl(const std::string& config)
    : config_(ConfigAccessor::Parse(config, files::kConfigSection)),
      connection_status_path_(config_->GetString(
          files::kConnectionStatusPathKey,
          GetAssistantRootPath() + files::kConnectionStatusFile)),
      mdns_responder_(std::make_unique<BonjourMdnsResponder>()) {}

NetworkProviderImpl::~NetworkProviderImpl() = default;

assistant_client::NetworkProvider::ConnectionStatus
NetworkProviderImpl::GetConnectionStatus() {
  // Read afresh each time: the file is the other service's to change. A
  // file larger than any word is no status, however large it is.
  const std::string text = ReadStateWord(connection_status_path_);
  int status = UNKNOWN;
  for (const char* word : files::kConnectionWords) {
    ++status;
    if (text == word)
      return static_cast<ConnectionStatus>(status);
  }
  return UNKNOWN;
}

assistant_client::MdnsResponder* NetworkProviderImpl::GetMdnsResponder() {
  return mdns_responder_.get();
}

}  // namespace assistant_reference
