// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What a client registered with the assistant manager: its device-state and
// conversation listeners (borrowed: they outlive the manager) and its device
// action handlers (owned). Registration may happen on any thread while the
// host's thread calls them; calls run outside the lock.
#ifndef HOST_SCENARIO_CLIENT_LISTENERS_H_
#define HOST_SCENARIO_CLIENT_LISTENERS_H_

#include <memory>
#include <vector>

#include "core/synchronization.h"
#include "prebuilt/lib/conversation_state_listener.h"
#include "prebuilt/lib/device_action_handler.h"
#include "prebuilt/lib/device_state_listener.h"

namespace vantor_host {

class ClientListeners {
 public:
  // Each returns how many of the kind there are now.
  size_t Add(assistant_client::DeviceStateListener* listener);
  size_t Add(assistant_client::ConversationStateListener* listener);
  size_t Add(std::unique_ptr<assistant_client::DeviceActionHandler> handler);

  // Calls |f| with each of the kind, in registration order.
  template <typename F>
  void ForEachDevice(F f) {
    for (auto* listener : DeviceListeners())
      f(listener);
  }
  template <typename F>
  void ForEachConversation(F f) {
    for (auto* listener : ConversationListeners())
      f(listener);
  }
  template <typename F>
  void ForEachHandler(F f) {
    for (auto* handler : Handlers())
      f(handler);
  }

 private:
  // Copies, so that the calls run outside the lock.
  std::vector<assistant_client::DeviceStateListener*> DeviceListeners()
      CORE_EXCLUDES(mutex_);
  std::vector<assistant_client::ConversationStateListener*>
  ConversationListeners() CORE_EXCLUDES(mutex_);
  std::vector<assistant_client::DeviceActionHandler*> Handlers()
      CORE_EXCLUDES(mutex_);

  core::Mutex mutex_;
  std::vector<assistant_client::DeviceStateListener*> device_
      CORE_GUARDED_BY(mutex_);
  std::vector<assistant_client::ConversationStateListener*> conversation_
      CORE_GUARDED_BY(mutex_);
  std::vector<std::unique_ptr<assistant_client::DeviceActionHandler>> handlers_
      CORE_GUARDED_BY(mutex_);
};

}  // namespace vantor_host

#endif  // HOST_SCENARIO_CLIENT_LISTENERS_H_
