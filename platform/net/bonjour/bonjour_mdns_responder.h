// Advertises services over DNS-SD through the system's mDNS daemon.
//
//   BonjourMdnsResponder responder;     // starts the "BonjourMdnsResponder"
//   responder.AddService("_xyz._tcp", "Kitchen", 4242, txt,
//       [](MdnsResponder::Result result, std::string message) { ... });
//
// The public operations may be called on any thread and only queue a task;
// every DNS-SD call, every access to the service table and every result
// callback happens on the responder's own thread, in request order. The
// destructor answers everything pending, withdraws every registered instance
// and joins the thread; it must not run inside a result callback.
#ifndef PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_H_
#define PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_H_

#include <dns_sd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "core/task_queue.h"
#include "core/thread.h"
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
  // How long a registration waits for the daemon's reply. Probing takes about
  // a second, a rename about two; a daemon that never answers must not hold
  // the requests queued behind it for ever.
  static constexpr std::chrono::milliseconds kDefaultReplyTimeout{10000};

  explicit BonjourMdnsResponder(
      std::chrono::milliseconds reply_timeout = kDefaultReplyTimeout);
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

  // Responder thread only.
  void RemoveServiceInternal(const std::string& service_instance_id);

 private:
  class AddServiceTask;
  class RemoveServiceTask;
  class UpdateTxtRecordTask;
  class RemoveAllServicesTask;

  const std::chrono::milliseconds reply_timeout_;
  // Instance id -> reference of its successful registration. Responder
  // thread only.
  std::unordered_map<std::string, DNSServiceRef> services_;
  core::Thread thread_;
  core::TaskQueue task_queue_;  // Runs on |thread_|; declared after it.
};

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_BONJOUR_MDNS_RESPONDER_H_
