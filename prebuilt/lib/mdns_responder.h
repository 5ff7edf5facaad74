// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Advertises the device's services on the local network by multicast DNS
// service discovery.
//
//   responder->AddService("_example._tcp", "Kitchen", 8009, txt,
//       [](MdnsResponder::Result result, std::string message) { ... });
//
// Implemented by the network plug-in; belongs to the NetworkProvider that
// hands it out. Operations may be called from any thread and return at once;
// the outcome arrives through the one-shot callback, which may run on another
// thread.
#ifndef PREBUILT_LIB_MDNS_RESPONDER_H_
#define PREBUILT_LIB_MDNS_RESPONDER_H_

#include <cstdint>
#include <string>

#include "prebuilt/lib/callback.h"

namespace assistant_client {

class MdnsResponder {
 public:
  // Crosses between binaries as its number.
  enum Result : int {
    FATAL_ERROR = 0,      // Permanent failure; retrying will not help.
    NON_FATAL_ERROR = 1,  // Transient failure.
    SUCCESS = 2,
  };

  // Runs once with the result and a human-readable message.
  using ResultCallback = Callback<false, Result, std::string>;

  MdnsResponder() = default;
  MdnsResponder(const MdnsResponder&) = delete;
  MdnsResponder& operator=(const MdnsResponder&) = delete;

  // |port| is in host byte order. |txt_record| is the encoded TXT record and
  // may contain NUL bytes.
  virtual void AddService(const std::string& service_type,
                          const std::string& instance_name,
                          uint16_t port,
                          const std::string& txt_record,
                          ResultCallback callback) = 0;
  virtual void RemoveService(const std::string& service_type,
                             const std::string& instance_name) = 0;
  virtual void UpdateTxtRecord(const std::string& service_type,
                               const std::string& instance_name,
                               const std::string& txt_record,
                               ResultCallback callback) = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~MdnsResponder() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_MDNS_RESPONDER_H_
