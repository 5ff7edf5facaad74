// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The responder's records of host requests and service instances, shared by
// its request handling (bonjour_mdns_responder.cc) and its handling of the
// daemon's loss (bonjour_mdns_responder_loss.cc). Responder thread only.
#ifndef PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_INTERNAL_H_
#define PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_INTERNAL_H_

#include <dns_sd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "platform/net/bonjour/bonjour_mdns_responder.h"

namespace assistant_reference {
namespace bonjour_internal {

using Clock = std::chrono::steady_clock;
using Result = assistant_client::MdnsResponder::Result;
using ResultCallback = assistant_client::MdnsResponder::ResultCallback;

Result ConvertToResult(int error_code);

// What the client libraries say when their daemon is not there: Avahi's
// reports "unknown", mDNSResponder's "service not running".
bool IsDaemonGone(int error_code);

// Logs the result (INFO for SUCCESS, else WARNING), then answers it.
void RunResultCallback(ResultCallback callback,
                       Result result,
                       const std::string& message,
                       const std::string& service_instance_id);

}  // namespace bonjour_internal

// One host request, made on the host's thread and queued as it is; the
// responder thread applies it, and it may wait in its instance's list behind
// a registration. A registration needs a callback, and no request with one
// may go unanswered.
struct BonjourMdnsResponder::Request {
  enum class Kind { kAdd, kUpdate, kRemove };

  Request(Kind kind,
          const std::string& service_type,
          const std::string& instance_name,
          const std::string& service_instance_id,
          uint16_t port,
          const std::string& txt_record,
          ResultCallback result_cb)
      : kind(kind),
        service_type(service_type),
        instance_name(instance_name),
        service_instance_id(service_instance_id),
        port(port),
        txt_record(txt_record),
        result_cb_(std::move(result_cb)) {
    if (kind == Kind::kAdd)
      CHECK(result_cb_);
  }
  Request(Request&&) = default;
  Request& operator=(Request&&) = default;
  ~Request() { CHECK(!result_cb_); }

  void Answer(Result result, const std::string& message) {
    bonjour_internal::RunResultCallback(std::move(result_cb_), result, message,
                                        service_instance_id);
  }

  Kind kind;
  std::string service_type;  // kAdd only, as are |instance_name| and |port|.
  std::string instance_name;
  std::string service_instance_id;
  uint16_t port;           // Host byte order.
  std::string txt_record;  // kAdd and kUpdate.
  // Empty for kRemove; may be empty for kUpdate; empty once answered.
  ResultCallback result_cb_;
};

// A service instance from the host's registration request until its removal
// or a failed registration.
struct BonjourMdnsResponder::Instance {
  enum class State {
    kRegistering,    // The host's registration awaits its reply.
    kRegistered,     // Advertised.
    kLost,           // The daemon went away; to be registered again.
    kReregistering,  // Registered again, awaiting the reply.
  };

  explicit Instance(Request* request)
      : service_type(request->service_type),
        instance_name(request->instance_name),
        service_instance_id(request->service_instance_id),
        port(request->port),
        txt_record(request->txt_record),
        result_cb(std::move(request->result_cb_)) {}
  ~Instance() {
    CHECK(!result_cb);
    CHECK(parked.empty());
  }

  bool AwaitsReply() const {
    return state == State::kRegistering || state == State::kReregistering;
  }

  const std::string service_type;
  const std::string instance_name;
  const std::string service_instance_id;
  const uint16_t port;     // Host byte order.
  std::string txt_record;  // The latest the host asked for.
  State state = State::kRegistering;
  DNSServiceRef ref = nullptr;  // Null only while kLost.
  int fd = -1;                  // |ref|'s socket.
  bonjour_internal::Clock::time_point
      deadline;  // For the reply, while AwaitsReply().
  // The daemon gave a sign of work on the name since the registration
  // began (a conflict, a rename), while AwaitsReply().
  bool renaming = false;
  DNSServiceErrorType loss_code = kDNSServiceErr_NoError;  // kLost.
  // The host's answer while kRegistering; empty otherwise.
  ResultCallback result_cb;
  // Requests for this instance made while it awaits a reply, in order.
  std::vector<Request> parked;
  // What the reply callback reported during the last DNSServiceProcessResult.
  // Its own object, the callback's context: a registration left to another
  // thread may report into it after the instance is gone.
  struct Reply {
    bool replied = false;
    DNSServiceErrorType error = kDNSServiceErr_NoError;
    std::string name;
  };
  std::shared_ptr<Reply> reply = std::make_shared<Reply>();
  // The name the daemon advertises the instance under, as its last
  // successful reply said; empty before the first.
  std::string advertised_name;

  static void DNSSD_API
  OnDNSServiceRegisterReply(DNSServiceRef service_ref,
                            DNSServiceFlags /*flags*/,
                            DNSServiceErrorType error_code,
                            const char* name,
                            const char* /*regtype*/,
                            const char* /*domain*/,
                            void* context) {
    CHECK(service_ref);
    // Only noted here: the reference must not go while the library still
    // works on it.
    auto* reply = static_cast<Reply*>(context);
    reply->replied = true;
    reply->error = error_code;
    reply->name = name ? name : "";
  }
};

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_INTERNAL_H_
