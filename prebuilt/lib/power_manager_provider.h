// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Wake alarms and wake locks of the device's power management.
//
// Implemented by the device maker; belongs to the SystemProvider that hands
// it out. May be called from any of the host library's threads.
#ifndef PREBUILT_LIB_POWER_MANAGER_PROVIDER_H_
#define PREBUILT_LIB_POWER_MANAGER_PROVIDER_H_

#include <cstdint>

#include "prebuilt/lib/callback.h"

namespace assistant_client {

class PowerManagerProvider {
 public:
  PowerManagerProvider() = default;
  PowerManagerProvider(const PowerManagerProvider&) = delete;
  PowerManagerProvider& operator=(const PowerManagerProvider&) = delete;

  // Both values are the host library's and reach the provider unchanged.
  // Returns the alarm's id for ExpireWakeAlarmNow(); |callback| runs at most
  // once, when the alarm fires.
  virtual int64_t AddWakeAlarm(unsigned long long first,
                               unsigned long long second,
                               Callback<false> callback) = 0;
  virtual void ExpireWakeAlarmNow(unsigned long long alarm) = 0;
  virtual void AcquireWakeLock() = 0;
  virtual void ReleaseWakeLock() = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~PowerManagerProvider() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_POWER_MANAGER_PROVIDER_H_
