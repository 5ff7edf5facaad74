// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "sample/service_notifier.h"

#include <pthread.h>
#include <stdlib.h>
#include <systemd/sd-daemon.h>

#include <cstdint>

#include "core/logging.h"

ServiceNotifier::ServiceNotifier(assistant_client::AssistantManager* manager)
    : manager_(manager), enabled_(getenv("NOTIFY_SOCKET") != nullptr) {}

ServiceNotifier::~ServiceNotifier() {
  Stopping();
}

void ServiceNotifier::Ready() {
  if (!enabled_)
    return;
  sd_notify(0, "READY=1");
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
    return;
  const std::chrono::microseconds interval(usec);
  LOG(INFO) << "Watchdog: pinging every "
            << std::chrono::duration_cast<std::chrono::milliseconds>(interval)
                       .count() /
                   2
            << " ms while the host answers";
  watchdog_ = std::thread([this, interval] { Watch(interval); });
}

void ServiceNotifier::Stopping() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_)
      return;
    stopping_ = true;
  }
  stop_.notify_all();
  if (enabled_)
    sd_notify(0, "STOPPING=1");
  if (watchdog_.joinable())
    watchdog_.join();
}

void ServiceNotifier::Watch(std::chrono::microseconds interval) {
  pthread_setname_np(pthread_self(), "SampleWatchdog");
  using Clock = std::chrono::steady_clock;
  bool late = false;
  for (;;) {
    const Clock::time_point asked = Clock::now();
    // Answered under the manager's lock: a wedged host never returns.
    manager_->GetDeviceId();
    const Clock::duration took = Clock::now() - asked;
    if (took < interval) {
      sd_notify(0, "WATCHDOG=1");
      late = false;
    } else if (!late) {
      late = true;
      LOG(WARNING)
          << "Watchdog: the host took "
          << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
          << " ms to answer; no ping for it";
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_.wait_until(lock, asked + interval / 2,
                         [this] { return stopping_; })) {
      return;
    }
  }
}
