// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A stand-in for the DNS-SD client library in unit tests: the same C
// functions, with scripted outcomes and a record of every call.
//
//   fake_dns_sd::Reset();
//   fake_dns_sd::Registration reply;
//   reply.reply_error = kDNSServiceErr_NameConflict;
//   fake_dns_sd::ScriptNextRegistration(reply);
//   ... drive the responder ...
//   EXPECT_EQ(fake_dns_sd::Calls()[0].function, "DNSServiceRegister");
//
// Like the real library, each reference has a descriptor that becomes
// readable when the daemon has something to say (here a timerfd armed with
// the scripted delay), and DNSServiceProcessResult dispatches one event per
// call. A call while nothing is readable, which blocks the real library, is
// counted and fails at once. The daemon can go away and come back
// (StopDaemon, StartDaemon), leaving its socket file in a folder as the real
// one does, and rename an instance after a conflict (RenameLater).
// Thread-safe.
#ifndef TESTING_FAKE_DNS_SD_H_
#define TESTING_FAKE_DNS_SD_H_

#include <dns_sd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace fake_dns_sd {

// What one DNSServiceRegister and the events on its reference do.
struct Registration {
  DNSServiceErrorType register_error = kDNSServiceErr_NoError;
  // Time until the first event is readable; never readable when negative.
  std::chrono::milliseconds reply_delay{0};
  // Events that DNSServiceProcessResult dispatches before the reply (a
  // conflict, a rename), each readable |event_interval| after the previous
  // one.
  int events_before_reply = 0;
  std::chrono::milliseconds event_interval{1};
  // When nonzero, the call that would deliver the reply returns this
  // instead, without calling the reply callback.
  DNSServiceErrorType process_error = kDNSServiceErr_NoError;
  DNSServiceErrorType reply_error = kDNSServiceErr_NoError;
  // The name the reply gives; empty: the name asked for.
  std::string reply_name;
  // Returned by the call that delivered the reply.
  DNSServiceErrorType process_error_after_reply = kDNSServiceErr_NoError;
};

// How a reference tells that its daemon went away.
enum class LossReport {
  // Its socket turns readable once, and that DNSServiceProcessResult calls
  // the reply callback with the error and returns 0 (Avahi's library).
  kReplyCallback,
  // Its socket stays readable and every DNSServiceProcessResult returns the
  // error (mDNSResponder's library).
  kProcessResult,
};

struct Call {
  std::string function;
  std::string thread;  // Name of the calling thread, as the kernel keeps it.
  DNSServiceRef ref = nullptr;
  DNSServiceErrorType result = kDNSServiceErr_NoError;  // Where one returns.
  // DNSServiceRegister and DNSServiceUpdateRecord.
  DNSServiceFlags flags = 0;
  std::string txt;  // Exactly the bytes of the given length.
  bool txt_null = false;
  // DNSServiceRegister.
  uint32_t interface_index = 0;
  std::string name;
  std::string regtype;
  bool domain_null = false;
  bool host_null = false;
  uint16_t port = 0;  // As passed: network byte order.
  bool callback_set = false;
  // DNSServiceUpdateRecord.
  bool record_ref_null = false;
  uint32_t ttl = 0;
};

// Forgets every call and script; references still alive stay valid.
void Reset();
// Scripts the next registration; unscripted ones get Registration().
void ScriptNextRegistration(const Registration& registration);
// What every DNSServiceUpdateRecord returns from now on.
void SetUpdateError(DNSServiceErrorType error);

// The daemon goes away: every live reference reports |error| as |how| says,
// and DNSServiceRegister and DNSServiceUpdateRecord return |error| (without
// using a script) until StartDaemon.
void StopDaemon(DNSServiceErrorType error = kDNSServiceErr_Unknown,
                LossReport how = LossReport::kReplyCallback);
// The daemon is back for new registrations; the old references stay dead.
void StartDaemon();
// Where StartDaemon makes, and StopDaemon removes, the daemon's socket file
// ("socket"); empty (the default): nowhere. Kept by Reset.
void SetDaemonFolder(const std::string& folder);
// The live, answered registration of |name| reports |new_name| in a later
// reply, as after a conflict; false when there is none.
bool RenameLater(const std::string& name, const std::string& new_name);
// Makes the replies scripted with a negative delay readable now.
void ReleaseHeldReplies();
// A daemon that takes requests and never answers: DNSServiceRegister and
// DNSServiceRefDeallocate block until ThawDaemon, as the real library does
// until the bus gives up.
void FreezeDaemon();
void ThawDaemon();
// Calls blocked by the frozen daemon right now.
int FrozenCalls();

std::vector<Call> Calls();
// The calls made on a thread other than |thread|, but for deallocations on
// |release_thread| (the responder's withdrawals at shutdown) and
// registrations and deallocations on |register_thread| (its own, and their
// withdrawal when abandoned), as "function on thread".
std::vector<std::string> CallsElsewhere(const std::string& thread,
                                        const std::string& release_thread,
                                        const std::string& register_thread);
std::vector<std::string> CalledFunctions();
// DNSServiceProcessResult calls made while nothing was readable.
int BlindProcessCalls();
// DNSServiceProcessResult calls on references whose daemon went away.
int ProcessCallsAfterLoss();
// References handed out and not yet deallocated.
int LiveReferences();
// Deallocations of references that were not live.
int BadDeallocations();

}  // namespace fake_dns_sd

#endif  // TESTING_FAKE_DNS_SD_H_
