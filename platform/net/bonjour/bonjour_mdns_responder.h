// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Advertises services over DNS-SD through the system's mDNS daemon.
//
//   BonjourMdnsResponder responder;     // starts the "BonjourMdnsResponder"
//   responder.AddService("_xyz._tcp", "Kitchen", 4242, txt,
//       [](MdnsResponder::Result result, std::string message) { ... });
//
// The public operations may be called on any thread and only queue a task;
// every DNS-SD call, every access to the service table and every result
// callback happens on the responder's own thread. That thread is an event
// loop over its task queue and the socket of every live DNS-SD reference:
// registrations wait for their replies side by side, and requests for one
// instance are applied in the order they were made (a request behind a
// registration still waiting for its reply waits too).
//
// The name the daemon finally advertises an instance under (after a rename
// on a conflict, at registration or at any time later) is logged whenever
// it differs from the one asked for; ids, results and later requests keep
// using the asked name. The instance keeps the name it was given: when it
// is registered again, it asks for that name, not the one first asked for.
//
// When the daemon goes away, the registered instances are kept (type, name,
// port, latest TXT record) and registered again by the responder itself once
// the daemon is back; DaemonReturnWatch says when to try, without polling
// for a daemon that stays away.
//
// The destructor answers everything pending, withdraws every instance and
// joins the thread; it must not run inside a result callback. The
// withdrawals are waited for up to a bound (the client library would wait
// for a frozen daemon as long as the system bus lets it): past it they are
// logged as abandoned and finish on a thread of their own. So does a
// registration of the responder's own that still waits for the daemon; only
// a registration the host asked for is answered before the destructor
// returns.
#ifndef PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_H_
#define PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_H_

#include <dns_sd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/task_queue.h"
#include "core/thread.h"
#include "platform/net/bonjour/daemon_return_watch.h"
#include "platform/net/bonjour/reference_releaser.h"
#include "platform/net/bonjour/registrar.h"
#include "prebuilt/lib/mdns_responder.h"

namespace assistant_reference {

// What the network provider owns and deletes its responder as.
class DeletableMdnsResponder : public assistant_client::MdnsResponder {
 public:
  DeletableMdnsResponder() = default;
  ~DeletableMdnsResponder() override = default;
};

class BonjourMdnsResponder : public DeletableMdnsResponder {
 public:
  // How long a registration waits for a sign of the daemon: its reply, or
  // any event on the registration's reference. Probing a name takes about a
  // second, and every rename after a conflict is an event that starts the
  // wait anew (for half as long: the daemon renames about once a second),
  // so a name shared by many devices takes as long as its renames need; a
  // daemon that never answers must not hold the requests for its instance
  // for ever. After fifteen renames Avahi probes once a minute: silence
  // after renames ends the wait too, and a fresh registration under a free
  // name is quicker than that.
  static constexpr std::chrono::milliseconds kDefaultReplyTimeout{10000};
  // How long the destructor waits for the daemon to take the withdrawals:
  // the host's shutdown must not wait on a daemon that does not answer.
  static constexpr std::chrono::milliseconds kDefaultWithdrawalWait{2000};

  explicit BonjourMdnsResponder(
      std::chrono::milliseconds reply_timeout = kDefaultReplyTimeout,
      DaemonReturnWatch::Options daemon_return = {},
      std::chrono::milliseconds withdrawal_wait = kDefaultWithdrawalWait);
  ~BonjourMdnsResponder() override;

  void AddService(const std::string& service_type,
                  const std::string& instance_name,
                  uint16_t port,
                  const std::string& txt_record,
                  ResultCallback callback) override;
  void RemoveService(const std::string& service_type,
                     const std::string& instance_name) override;
  void UpdateTxtRecord(const std::string& service_type,
                       const std::string& instance_name,
                       const std::string& txt_record,
                       ResultCallback callback) override;

 private:
  struct Request;
  struct Instance;

  // Lets the task queue's thread wait on the DNS-SD references too.
  class Events : public core::TaskQueue::Waiter {
   public:
    explicit Events(BonjourMdnsResponder* responder) : responder_(responder) {}
    int PrepareWait(std::vector<pollfd>* fds) override;
    void OnWaitDone(const std::vector<pollfd>& fds) override;

   private:
    BonjourMdnsResponder* const responder_;  // Not owned; owns this.
  };

  // Queues |request| for the responder thread; any thread.
  void Post(Request request);

  // All below: responder thread only.
  // Requests (bonjour_mdns_responder.cc).
  void Handle(Request request);
  void Add(Request request);
  void Update(Request request);
  // Starts |instance|'s registration; on failure sets |*error_code| and
  // |*message| and returns false.
  bool StartRegistration(Instance* instance,
                         DNSServiceErrorType* error_code,
                         std::string* message);
  int PrepareWait(std::vector<pollfd>* fds);
  void OnWaitDone(const std::vector<pollfd>& fds);
  void Dispatch(Instance* instance);
  void Registered(Instance* instance);
  void FailRegistration(Instance* instance,
                        Result result,
                        const std::string& message);
  // Logs the name the last reply gave when it is news.
  void NoteAdvertisedName(Instance* instance);
  void RunParked(std::vector<Request> parked);
  bool AwaitsHostReply() const;
  void RemoveServiceInternal(const std::string& service_instance_id);
  void RemoveAllServices();
  // Here, or on |releaser_|'s thread once closing.
  void Deallocate(DNSServiceRef ref);

  // The daemon's loss and return (bonjour_mdns_responder_loss.cc).
  void Lose(const std::vector<Instance*>& instances,
            DNSServiceErrorType error_code);
  void LoseAllRegistered(DNSServiceErrorType error_code);
  void Reregistered(Instance* instance);
  void FailReregistration(Instance* instance, DNSServiceErrorType error_code);
  void Retry();
  void Drop(Instance* instance, DNSServiceErrorType error_code);

  const std::chrono::milliseconds reply_timeout_;
  // Takes the withdrawals made while closing; declared before the thread, so
  // that its destructor waits for them after the thread is joined.
  ReferenceReleaser releaser_;
  // Makes the registrations of our own; interrupted by the destructor.
  Registrar registrar_;
  // Instance id -> everything known of it, from its registration request
  // until its removal (or a failed registration). Responder thread only.
  std::unordered_map<std::string, std::unique_ptr<Instance>> services_;
  // When to register again what the daemon lost. Responder thread only.
  DaemonReturnWatch daemon_return_;
  // Destruction has begun: nothing is registered again. Responder thread
  // only.
  bool closing_ = false;
  // The references polled by the last PrepareWait, by id, in |fds| order.
  // Responder thread only.
  std::vector<std::pair<std::string, DNSServiceRef>> polled_;
  Events events_{this};
  core::Thread thread_;
  core::TaskQueue task_queue_;  // Runs on |thread_|; declared after it.
};

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_H_
