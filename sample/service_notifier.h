// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Tells systemd what the sample is doing, when it runs as a Type=notify
// service: READY=1 once the host has started the assistant, WATCHDOG=1
// whenever the host answers, STATUS= lines (ServiceStatus's), and STOPPING=1
// at the end of input, as the last message. Without NOTIFY_SOCKET it does
// nothing.
//
// The watchdog's proof of life is an answer from the host, not a timer: a
// thread of the notifier's own ("SampleProbe") asks the manager for its
// device id, a call that needs the manager's lock, an eighth of WatchdogSec
// after the last question, or at once when the answer took longer; each
// answer is a ping. So the pings of a host that answers within a quarter of
// WatchdogSec are at most three eighths apart, one that turns slow has the
// rest of the interval to answer in, and a wedged one gets no pings and is
// restarted by systemd. A second thread ("SampleWatchdog") keeps the time:
// a host that has not answered seven eighths of WatchdogSec after the last
// ping is named in the log while it still hangs, before systemd acts.
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
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "prebuilt/lib/assistant_manager.h"

class ServiceNotifier {
 public:
  // The WatchdogSec values the notifier keeps: below the least, a ping
  // cannot reliably come in time; above the most, the clocks' arithmetic
  // would overflow, and pinging as for a day keeps a longer one too.
  static constexpr std::chrono::microseconds kMinWatchdog{1000};
  static constexpr std::chrono::microseconds kMaxWatchdog{
      std::chrono::hours(24)};

  // The interval to keep for systemd's answer to sd_watchdog_enabled
  // (|enabled|, |usec|) and WATCHDOG_USEC's text |text|: none when no
  // watchdog is asked for or the value makes no sense, clamped when it is
  // too long. |*reason| says why the value was not kept as it is, or is
  // left empty.
  static std::optional<std::chrono::microseconds> WatchdogInterval(
      int enabled,
      uint64_t usec,
      const char* text,
      std::string* reason);

  // |manager| is borrowed and must outlive Stopping().
  explicit ServiceNotifier(assistant_client::AssistantManager* manager);
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;
  // Stops as Stopping() does.
  ~ServiceNotifier();

  // READY=1; starts the watchdog when systemd asks for one.
  void Ready();
  // STATUS=|line|; one given before Ready() goes right after READY=1.
  // Any thread.
  void Status(const std::string& line);
  // STOPPING=1, after which nothing is sent; waits for the host's answer
  // under way.
  void Stopping();

 private:
  using Clock = std::chrono::steady_clock;

  // Runs on |keeper_|: asks, pings and names a late host.
  void Keep(std::chrono::microseconds interval);
  // Runs on |prober_|: asks the host whenever |Keep| wants an answer.
  void Probe();

  assistant_client::AssistantManager* const manager_;
  const bool enabled_;  // NOTIFY_SOCKET is set.
  std::mutex mutex_;    // Guards everything below but the threads.
  std::condition_variable changed_;
  bool ready_ = false;     // READY=1 is sent.
  bool stopping_ = false;  // STOPPING=1 is sent; nothing may follow it.
  std::string status_;     // The latest STATUS= line.
  bool asking_ = false;    // A question waits for |prober_|.
  uint64_t answers_ = 0;   // Answers the host gave so far.
  std::thread keeper_;
  std::thread prober_;
};

#endif  // SAMPLE_SERVICE_NOTIFIER_H_
