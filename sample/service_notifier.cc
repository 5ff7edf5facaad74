// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "sample/service_notifier.h"

#include <pthread.h>
#include <stdlib.h>
#include <systemd/sd-daemon.h>

#include "core/logging.h"

namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;

long long Milliseconds(std::chrono::steady_clock::duration duration) {
  return static_cast<long long>(duration_cast<milliseconds>(duration).count());
}

}  // namespace

constexpr microseconds ServiceNotifier::kMinWatchdog;
constexpr microseconds ServiceNotifier::kMaxWatchdog;

std::optional<microseconds> ServiceNotifier::WatchdogInterval(
    int enabled,
    uint64_t usec,
    const char* text,
    std::string* reason) {
  reason->clear();
  const std::string shown =
      std::string("WATCHDOG_USEC=") + (text ? text : "(unset)");
  if (enabled == 0)
    return std::nullopt;  // Not asked for, or meant for another process.
  if (enabled < 0) {
    *reason = shown + " is not a watchdog interval; no watchdog";
    return std::nullopt;
  }
  if (usec < static_cast<uint64_t>(kMinWatchdog.count())) {
    *reason =
        shown + " is below " +
        std::to_string(duration_cast<milliseconds>(kMinWatchdog).count()) +
        " ms, too short to ping in time; no watchdog";
    return std::nullopt;
  }
  if (usec > static_cast<uint64_t>(kMaxWatchdog.count())) {
    *reason = shown + " is beyond a day; pinging as for a day";
    return kMaxWatchdog;
  }
  return microseconds(static_cast<microseconds::rep>(usec));
}

ServiceNotifier::ServiceNotifier(assistant_client::AssistantManager* manager)
    : manager_(manager), enabled_(getenv("NOTIFY_SOCKET") != nullptr) {}

ServiceNotifier::~ServiceNotifier() {
  Stopping();
}

void ServiceNotifier::Ready() {
  if (!enabled_)
    return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_)
      return;
    sd_notify(0, "READY=1");
    ready_ = true;
    if (!status_.empty())
      sd_notify(0, ("STATUS=" + status_).c_str());
  }
  uint64_t usec = 0;
  const int enabled = sd_watchdog_enabled(0, &usec);
  std::string reason;
  const std::optional<microseconds> interval =
      WatchdogInterval(enabled, usec, getenv("WATCHDOG_USEC"), &reason);
  if (!reason.empty())
    LOG(WARNING) << "Watchdog: " << reason;
  if (!interval)
    return;
  LOG(INFO) << "Watchdog: pinging at each answer of the host, asking every "
            << Milliseconds(*interval / 8) << " ms";
  prober_ = std::thread([this] { Probe(); });
  keeper_ = std::thread([this, interval] { Keep(*interval); });
}

void ServiceNotifier::Status(const std::string& line) {
  if (!enabled_)
    return;
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = line;
  if (ready_ && !stopping_)
    sd_notify(0, ("STATUS=" + status_).c_str());
}

void ServiceNotifier::Stopping() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_)
      return;
    stopping_ = true;
    // Under the lock that every ping takes: none can follow it.
    if (enabled_)
      sd_notify(0, "STOPPING=1");
  }
  changed_.notify_all();
  if (keeper_.joinable())
    keeper_.join();
  if (prober_.joinable())
    prober_.join();
}

void ServiceNotifier::Probe() {
  pthread_setname_np(pthread_self(), "SampleProbe");
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || asking_; });
    if (stopping_)
      return;
    asking_ = false;
    lock.unlock();
    // Answered under the manager's lock: a wedged host never returns.
    manager_->GetDeviceId();
    lock.lock();
    ++answers_;
    changed_.notify_all();
  }
}

void ServiceNotifier::Keep(microseconds interval) {
  pthread_setname_np(pthread_self(), "SampleWatchdog");
  const Clock::duration ask_every = interval / 8;
  // Past this much after the last ping, an answer may no longer come in
  // time; the log says so while there is still time to write it.
  const Clock::duration late_after = interval - interval / 8;
  std::unique_lock<std::mutex> lock(mutex_);
  Clock::time_point last_ping = Clock::now();
  for (;;) {
    const Clock::time_point asked = Clock::now();
    const uint64_t answered_before = answers_;
    asking_ = true;
    changed_.notify_all();
    const auto answered = [&] {
      return stopping_ || answers_ != answered_before;
    };
    bool late = false;
    if (!changed_.wait_until(lock, last_ping + late_after, answered)) {
      late = true;
      LOG(WARNING) << "Watchdog: the host has not answered for "
                   << Milliseconds(Clock::now() - asked)
                   << " ms; no ping for it";
      changed_.wait(lock, answered);
    }
    if (stopping_)
      return;
    const Clock::time_point now = Clock::now();
    sd_notify(0, "WATCHDOG=1");
    last_ping = now;
    if (late) {
      LOG(WARNING) << "Watchdog: the host answered after "
                   << Milliseconds(now - asked) << " ms";
    }
    if (changed_.wait_until(lock, asked + ask_every,
                            [this] { return stopping_; })) {
      return;
    }
  }
}
