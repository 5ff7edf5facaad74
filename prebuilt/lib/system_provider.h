// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The platform's system services: microphone mute state, power management,
// battery, time zone and locale, and trusted platform module processing.
//
// Implemented by the system plug-in (or the device maker) and handed to the
// host library through a PlatformFactory or a PlatformApi. May be called
// from any of the host library's threads; callbacks may run on the
// provider's own threads.
#ifndef PREBUILT_LIB_SYSTEM_PROVIDER_H_
#define PREBUILT_LIB_SYSTEM_PROVIDER_H_

#include <string>

#include "prebuilt/lib/callback.h"
#include "prebuilt/lib/power_manager_provider.h"

namespace assistant_client {

class SystemProvider {
 public:
  // Crosses between binaries as the two words of one call, in this order.
  struct BatteryState {
    bool is_charging = false;
    int charge_percent = 0;
  };

  // Crosses between binaries as its number.
  enum TpmProcessingType : int {
    kSign = 0,
    kEncrypt = 1,
    kDecrypt = 2,
  };

  SystemProvider() = default;
  SystemProvider(const SystemProvider&) = delete;
  SystemProvider& operator=(const SystemProvider&) = delete;

  // 1 while the microphone is muted, 0 otherwise.
  virtual int GetMicMuteState() = 0;
  // |callback| runs, possibly on another thread, every time the mute state
  // changes; the provider keeps it.
  virtual void RegisterMicMuteChangeCallback(Callback<true> callback) = 0;
  // Owned by the provider. The default: no power management.
  virtual PowerManagerProvider* GetPowerManagerProvider() { return nullptr; }
  // Fills |*state| (owned by the caller) and returns true when the device
  // knows its battery. The default: false, |*state| untouched.
  virtual bool GetBatteryState(BatteryState* /*state*/) { return false; }
  virtual void UpdateTimezoneAndLocale(const std::string& timezone,
                                       const std::string& locale) = 0;
  // |callback| runs once with the processed bytes.
  virtual void ProcessTpm(TpmProcessingType type,
                          const std::string& data,
                          Callback<false, std::string> callback) = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~SystemProvider() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_SYSTEM_PROVIDER_H_
