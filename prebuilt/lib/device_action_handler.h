// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Executes the device actions that the assistant decides on ("turn the
// volume up") and tells the assistant what the device can do.
//
// Implemented by the device maker and registered with
// AssistantManager::RegisterDeviceActionHandler(), which takes ownership.
// Called on the host library's threads.
#ifndef PREBUILT_LIB_DEVICE_ACTION_HANDLER_H_
#define PREBUILT_LIB_DEVICE_ACTION_HANDLER_H_

#include <string>

namespace assistant_client {

class DeviceActionHandler {
 public:
  DeviceActionHandler() = default;
  DeviceActionHandler(const DeviceActionHandler&) = delete;
  DeviceActionHandler& operator=(const DeviceActionHandler&) = delete;
  virtual ~DeviceActionHandler() = default;

  // The device context text for the host library.
  virtual std::string GetContext() const = 0;
  virtual void Execute(const std::string& action) = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_DEVICE_ACTION_HANDLER_H_
