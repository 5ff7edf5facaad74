// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/client_listeners.h"

#include <utility>

namespace vantor_host {

using namespace assistant_client;  // NOLINT: the three client interfaces.

size_t ClientListeners::Add(DeviceStateListener* listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  device_.push_back(listener);
  return device_.size();
}

size_t ClientListeners::Add(ConversationStateListener* listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  conversation_.push_back(listener);
  return conversation_.size();
}

size_t ClientListeners::Add(std::unique_ptr<DeviceActionHandler> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_.push_back(std::move(handler));
  return handlers_.size();
}

std::vector<DeviceActionHandler*> ClientListeners::Snapshot(
    const std::vector<std::unique_ptr<DeviceActionHandler>>& list) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<DeviceActionHandler*> handlers;
  for (const auto& handler : list)
    handlers.push_back(handler.get());
  return handlers;
}

}  // namespace vantor_host
