// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Device events of a running assistant: start-up, authentication, alarms,
// timers, notifications, hold, microphone mute.
//
//   class MyListener : public assistant_client::DeviceStateListener {
//     void OnAlarmSoundingStarted() override { ... }  // Override only these.
//   };
//
// Implemented by the client and added with
// AssistantManager::AddDeviceStateListener(). The listener stays the
// client's and must outlive the manager. Called on the host library's
// threads, so an implementation guards its own state.
#ifndef PREBUILT_LIB_DEVICE_STATE_LISTENER_H_
#define PREBUILT_LIB_DEVICE_STATE_LISTENER_H_

namespace assistant_client {

class DeviceStateListener {
 public:
  DeviceStateListener() = default;
  DeviceStateListener(const DeviceStateListener&) = delete;
  DeviceStateListener& operator=(const DeviceStateListener&) = delete;

  virtual void OnStartFinished() {}
  virtual void OnAuthenticationReceived(bool /*authenticated*/) {}
  virtual void OnAlarmSoundingStarted() {}
  virtual void OnAlarmSoundingFinished() {}
  virtual void OnTimerSoundingStarted() {}
  virtual void OnTimerSoundingFinished() {}
  virtual void OnNotificationTrigger() {}
  virtual void OnNotificationClear() {}
  virtual void OnHoldStarted() {}
  virtual void OnHoldFinished() {}
  virtual void OnMicMutedChange(bool /*muted*/) {}
  virtual void OnStopTopInteraction() {}

  // After the operations: the destructor's vtable slots come last here.
  virtual ~DeviceStateListener() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_DEVICE_STATE_LISTENER_H_
