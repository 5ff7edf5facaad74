// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Tells systemd what the sample is doing, when it runs as a Type=notify
// service: READY=1 once the host has started the assistant, STOPPING=1 at
// the end of input, and WATCHDOG=1 at half the unit's WatchdogSec while the
// host answers. Without NOTIFY_SOCKET it does nothing.
//
// The watchdog's proof of life is an answer from the host, not a timer: a
// thread of the notifier's own asks the manager for its device id, a call
// that needs the manager's lock, and pings only when the answer came within
// the watchdog interval. A wedged host leaves the thread waiting, the pings
// stop, and systemd restarts the service.
//
//   ServiceNotifier notifier(manager.get());
//   manager->Start();
//   notifier.Ready();
//   ...
//   notifier.Stopping();  // Before the manager goes.
#ifndef SAMPLE_SERVICE_NOTIFIER_H_
#define SAMPLE_SERVICE_NOTIFIER_H_

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "prebuilt/lib/assistant_manager.h"

class ServiceNotifier {
 public:
  // |manager| is borrowed and must outlive Stopping().
  explicit ServiceNotifier(assistant_client::AssistantManager* manager);
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;
  // Stops as Stopping() does.
  ~ServiceNotifier();

  // READY=1; starts the watchdog when systemd asks for one.
  void Ready();
  // STOPPING=1; waits for the watchdog thread's call under way.
  void Stopping();

 private:
  // Runs on |watchdog_|.
  void Watch(std::chrono::microseconds interval);

  assistant_client::AssistantManager* const manager_;
  const bool enabled_;  // NOTIFY_SOCKET is set.
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;  // Guarded by |mutex_|.
  std::thread watchdog_;
};

#endif  // SAMPLE_SERVICE_NOTIFIER_H_
