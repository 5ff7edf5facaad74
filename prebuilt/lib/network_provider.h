// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The platform's view of network connectivity and its service advertiser.
//
// Implemented by the network plug-in (or the device maker) and handed to the
// host library through a PlatformFactory or a PlatformApi. May be called
// from any of the host library's threads.
#ifndef PREBUILT_LIB_NETWORK_PROVIDER_H_
#define PREBUILT_LIB_NETWORK_PROVIDER_H_

#include "prebuilt/lib/mdns_responder.h"

namespace assistant_client {

class NetworkProvider {
 public:
  // Crosses between binaries as its number.
  enum ConnectionStatus : int {
    UNKNOWN = 0,
    WIFI_NOT_CONFIGURED = 1,
    DISCONNECTED_FROM_WIFI = 2,
    DISCONNECTED_FROM_INTERNET = 3,
    WIFI_ERROR = 4,
    CONNECTING = 5,
    CONNECTED = 6,
  };

  NetworkProvider() = default;
  NetworkProvider(const NetworkProvider&) = delete;
  NetworkProvider& operator=(const NetworkProvider&) = delete;
  virtual ~NetworkProvider() = default;

  virtual ConnectionStatus GetConnectionStatus() = 0;
  // Owned by the provider; may be null when the device advertises nothing.
  virtual MdnsResponder* GetMdnsResponder() = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_NETWORK_PROVIDER_H_
