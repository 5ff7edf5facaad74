// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The service's one status line, the STATUS= that `systemctl status` shows:
//
//   advertised as 'Kitchen Speaker'; microphone muted; 3 interactions
//
// The advertisement and the microphone are what the plug-ins report through
// the program's vantor_service_status (core/service_status.h),
// which this file defines; the interactions are the sample's own count.
// Sent when the line changes, never on a timer. One instance at a time.
#ifndef SAMPLE_SERVICE_STATUS_H_
#define SAMPLE_SERVICE_STATUS_H_

#include <cstdint>
#include <mutex>
#include <string>

#include "sample/service_notifier.h"

class ServiceStatus {
 public:
  // |notifier| is borrowed and must outlive this. From here on the
  // plug-ins' reports come to this instance.
  explicit ServiceStatus(ServiceNotifier* notifier);
  ServiceStatus(const ServiceStatus&) = delete;
  ServiceStatus& operator=(const ServiceStatus&) = delete;
  // Reports after this go nowhere; waits for one under way.
  ~ServiceStatus();

  // A plug-in's report; any thread. Unknown topics are ignored.
  void Report(const std::string& topic, const std::string& text);
  // One more interaction started; any thread.
  void CountInteraction();

  // The line for these parts; empty parts read as not known yet.
  static std::string Line(const std::string& mdns,
                          const std::string& microphone,
                          uint64_t interactions);

 private:
  void SendLocked();

  ServiceNotifier* const notifier_;
  std::mutex mutex_;  // Guards everything below.
  std::string mdns_;
  std::string microphone_;
  uint64_t interactions_ = 0;
  std::string sent_;  // The last line handed to |notifier_|.
};

#endif  // SAMPLE_SERVICE_STATUS_H_
