// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What a client registered with the assistant manager: its device-state and
// conversation listeners (borrowed: they outlive the manager) and its device
// action handlers (owned). Registration may happen on any thread while the
// host's thread calls them; calls run outside the lock.
#ifndef HOST_CLIENT_LISTENERS_H_
#define HOST_CLIENT_LISTENERS_H_

#include <memory>
#include <mutex>
#include <vector>

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
    for (auto* listener : Snapshot(device_))
      f(listener);
  }
  template <typename F>
  void ForEachConversation(F f) {
    for (auto* listener : Snapshot(conversation_))
      f(listener);
  }
  template <typename F>
  void ForEachHandler(F f) {
    for (auto* handler : Snapshot(handlers_))
      f(handler);
  }

 private:
  template <typename T>
  std::vector<T*> Snapshot(const std::vector<T*>& list) {
    std::lock_guard<std::mutex> lock(mutex_);
    return list;
  }
  std::vector<assistant_client::DeviceActionHandler*> Snapshot(
      const std::vector<std::unique_ptr<assistant_client::DeviceActionHandler>>&
          list);

  std::mutex mutex_;  // Guards the three lists.
  std::vector<assistant_client::DeviceStateListener*> device_;
  std::vector<assistant_client::ConversationStateListener*> conversation_;
  std::vector<std::unique_ptr<assistant_client::DeviceActionHandler>> handlers_;
};

}  // namespace vantor_host

#endif  // HOST_CLIENT_LISTENERS_H_
