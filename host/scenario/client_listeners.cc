// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/scenario/client_listeners.h"

#include <utility>

namespace vantor_host {

using namespace assistant_client;  // NOLINT: the three client interfaces.

size_t ClientListeners::Add(DeviceStateListener* listener) {
  core::AutoLock lock(&mutex_);
  device_.push_back(listener);
  return device_.size();
}

size_t ClientListeners::Add(ConversationStateListener* listener) {
  core::AutoLock lock(&mutex_);
  conversation_.push_back(listener);
  return conversation_.size();
}

size_t ClientListeners::Add(std::unique_ptr<DeviceActionHandler> handler) {
  core::AutoLock lock(&mutex_);
  handlers_.push_back(std::move(handler));
  return handlers_.size();
}

std::vector<DeviceStateListener*> ClientListeners::DeviceListeners() {
  core::AutoLock lock(&mutex_);
  return device_;
}

std::vector<ConversationStateListener*>
ClientListeners::ConversationListeners() {
  core::AutoLock lock(&mutex_);
  return conversation_;
}

std::vector<DeviceActionHandler*> ClientListeners::Handlers() {
  core::AutoLock lock(&mutex_);
  std::vector<DeviceActionHandler*> handlers;
  for (const auto& handler : handlers_)
    handlers.push_back(handler.get());
  return handlers;
}

}  // namespace vantor_host
