// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/bonjour_mdns_responder.h"

#include <arpa/inet.h>
#include <poll.h>
#include <stdlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/eintr_wrapper.h"
#include "core/logging.h"
#include "core/service_status.h"
#include "platform/net/bonjour/bonjour_mdns_responder_internal.h"
#include "platform/net/bonjour/mdns_argument_checks.h"

namespace assistant_reference {

using bonjour_internal::Clock;
using bonjour_internal::ConvertToResult;
using bonjour_internal::IsDaemonGone;
using bonjour_internal::RunResultCallback;
using Result = assistant_client::MdnsResponder::Result;
using ResultCallback = assistant_client::MdnsResponder::ResultCallback;

namespace bonjour_internal {
namespace {

// mDNSResponder's kDNSServiceErr_ServiceNotRunning, which Avahi's dns_sd.h
// lacks.
constexpr DNSServiceErrorType kServiceNotRunning = -65563;

bool IsFatalError(int error_code) {
  return error_code == kDNSServiceErr_NoMemory ||
         error_code == kDNSServiceErr_BadParam ||
         error_code == kDNSServiceErr_Incompatible;
}

}  // namespace

Result ConvertToResult(int error_code) {
  if (error_code == kDNSServiceErr_NoError)
    return Result::SUCCESS;
  return IsFatalError(error_code) ? Result::FATAL_ERROR
                                  : Result::NON_FATAL_ERROR;
}

bool IsDaemonGone(int error_code) {
  return error_code == kDNSServiceErr_Unknown ||
         error_code == kServiceNotRunning;
}

void RunResultCallback(ResultCallback callback,
                       Result result,
                       const std::string& message,
                       const std::string& service_instance_id) {
  if (result == Result::SUCCESS) {
    LOG(INFO) << "Request succeeded service_instance_id=" << service_instance_id
              << " message: " << message;
  } else {
    LOG(WARNING) << "Request failed service_instance_id=" << service_instance_id
                 << " message: " << message;
  }
  if (callback)
    callback(result, message);
}

}  // namespace bonjour_internal

namespace {

// The service's status line while a registration is refused.
std::string NotAdvertised(DNSServiceErrorType error_code) {
  return IsDaemonGone(error_code)
             ? "not advertised: the mDNS daemon is not running"
             : "not advertised: the mDNS daemon refused it (error " +
                   std::to_string(error_code) + ")";
}

std::string GetServiceInstanceId(const std::string& service_type,
                                 const std::string& instance_name) {
  return instance_name + "." + service_type;
}

// Milliseconds from now until |when|, rounded up so that a wait does not end
// just before it; at least 0.
int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
  if (when <= now)
    return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now);
  return static_cast<int>(std::min<std::chrono::milliseconds::rep>(
      left.count(), std::numeric_limits<int>::max()));
}

// The compatibility library prints a porting warning on stderr at its first
// use unless told not to; device logs must stay clean. Done before the
// responder thread can make a DNS-SD call, and only once per process, since
// setenv races with getenv on other threads.
void SilenceCompatibilityWarning() {
  static const bool done = [] {
    setenv("AVAHI_COMPAT_NOWARN", "1", /*overwrite=*/0);
    return true;
  }();
  (void)done;
}

}  // namespace

int BonjourMdnsResponder::Events::PrepareWait(std::vector<pollfd>* fds) {
  return responder_->PrepareWait(fds);
}

void BonjourMdnsResponder::Events::OnWaitDone(const std::vector<pollfd>& fds) {
  responder_->OnWaitDone(fds);
}

BonjourMdnsResponder::BonjourMdnsResponder(
    std::chrono::milliseconds reply_timeout,
    DaemonReturnWatch::Options daemon_return,
    std::chrono::milliseconds withdrawal_wait)
    : reply_timeout_((SilenceCompatibilityWarning(), reply_timeout)),
      releaser_(withdrawal_wait),
      daemon_return_(std::move(daemon_return)),
      thread_("BonjourMdnsResponder"),
      task_queue_(&thread_, &events_) {}

BonjourMdnsResponder::~BonjourMdnsResponder() {
  // A registration of our own that waits on the daemon ends now, so that
  // the removal below runs soon.
  registrar_.Interrupt();
  task_queue_.PostTask([this] { RemoveAllServices(); });
  // |task_queue_| goes first among the members: it runs everything pending,
  // the removal last, and joins the thread before the table goes.
}

void BonjourMdnsResponder::AddService(const std::string& service_type,
                                      const std::string& instance_name,
                                      uint16_t port,
                                      const std::string& txt_record,
                                      ResultCallback callback) {
  Post(Request(Request::Kind::kAdd, service_type, instance_name,
               GetServiceInstanceId(service_type, instance_name), port,
               txt_record, std::move(callback)));
}

void BonjourMdnsResponder::RemoveService(const std::string& service_type,
                                         const std::string& instance_name) {
  Post(Request(Request::Kind::kRemove, "", "",
               GetServiceInstanceId(service_type, instance_name), 0, "", {}));
}

void BonjourMdnsResponder::UpdateTxtRecord(const std::string& service_type,
                                           const std::string& instance_name,
                                           const std::string& txt_record,
                                           ResultCallback callback) {
  Post(Request(Request::Kind::kUpdate, "", "",
               GetServiceInstanceId(service_type, instance_name), 0, txt_record,
               std::move(callback)));
}

void BonjourMdnsResponder::Post(Request request) {
  task_queue_.PostTask([this, request = std::move(request)]() mutable {
    Handle(std::move(request));
  });
}

void BonjourMdnsResponder::Handle(Request request) {
  auto it = services_.find(request.service_instance_id);
  if (it != services_.end() && it->second->AwaitsReply()) {
    it->second->parked.push_back(std::move(request));
    return;
  }
  switch (request.kind) {
    case Request::Kind::kAdd:
      Add(std::move(request));
      return;
    case Request::Kind::kUpdate:
      Update(std::move(request));
      return;
    case Request::Kind::kRemove:
      RemoveServiceInternal(request.service_instance_id);
      return;
  }
}

void BonjourMdnsResponder::Add(Request request) {
  const std::string& id = request.service_instance_id;
  if (services_.count(id)) {
    request.Answer(Result::FATAL_ERROR,
                   "Duplicate service instance encountered");
    return;
  }
  for (const std::string& invalid : {CheckServiceType(request.service_type),
                                     CheckInstanceName(request.instance_name),
                                     CheckTxtRecord(request.txt_record)}) {
    if (!invalid.empty()) {
      request.Answer(Result::FATAL_ERROR, invalid);
      return;
    }
  }
  LOG(INFO) << "Registering mdns service instance: " << id;
  auto instance = std::make_unique<Instance>(&request);
  DNSServiceErrorType error_code;
  std::string message;
  if (!StartRegistration(instance.get(), &error_code, &message)) {
    core::ReportServiceStatus("mdns", NotAdvertised(error_code));
    RunResultCallback(std::move(instance->result_cb),
                      ConvertToResult(error_code), message, id);
    return;
  }
  services_.emplace(id, std::move(instance));
}

bool BonjourMdnsResponder::StartRegistration(Instance* instance,
                                             DNSServiceErrorType* error_code,
                                             std::string* message) {
  DNSServiceRef service_ref = nullptr;
  // A fresh one each time: an abandoned registration keeps the old.
  instance->reply = std::make_shared<Instance::Reply>();
  if (instance->state == Instance::State::kRegistering) {
    *error_code = DNSServiceRegister(
        &service_ref, /*flags=*/0, /*interfaceIndex=*/0,
        instance->instance_name.c_str(), instance->service_type.c_str(),
        /*domain=*/nullptr, /*host=*/nullptr, htons(instance->port),
        static_cast<uint16_t>(instance->txt_record.size()),
        instance->txt_record.data(), &Instance::OnDNSServiceRegisterReply,
        instance->reply.get());
  } else {
    // Our own registration: one the owner's shutdown need not wait for. Of
    // the name the instance held, so that it does not move on the network.
    Registrar::Arguments arguments;
    arguments.name = instance->advertised_name.empty()
                         ? instance->instance_name
                         : instance->advertised_name;
    arguments.type = instance->service_type;
    arguments.port_network_order = htons(instance->port);
    arguments.txt_record = instance->txt_record;
    arguments.reply = &Instance::OnDNSServiceRegisterReply;
    arguments.context = instance->reply.get();
    arguments.context_owner = instance->reply;
    const std::optional<DNSServiceErrorType> registered =
        registrar_.Register(arguments, &service_ref);
    // Interrupted by the shutdown: as good as a daemon that is away.
    *error_code = registered ? *registered : kDNSServiceErr_Unknown;
  }
  if (*error_code != kDNSServiceErr_NoError) {
    CHECK(!service_ref);
    *message =
        "DNSServiceRegister() failed error_code=" + std::to_string(*error_code);
    return false;
  }
  const int fd = DNSServiceRefSockFD(service_ref);
  if (fd < 0) {
    Deallocate(service_ref);
    *error_code = kDNSServiceErr_Unknown;
    *message = "DNSServiceRefSockFD() failed fd=" + std::to_string(fd);
    return false;
  }
  instance->ref = service_ref;
  instance->fd = fd;
  instance->deadline = Clock::now() + reply_timeout_;
  instance->renaming = false;
  return true;
}

void BonjourMdnsResponder::Update(Request request) {
  auto it = services_.find(request.service_instance_id);
  if (it == services_.end()) {
    request.Answer(Result::FATAL_ERROR, "Unknown service instance encountered");
    return;
  }
  const std::string invalid = CheckTxtRecord(request.txt_record);
  if (!invalid.empty()) {
    request.Answer(Result::FATAL_ERROR, invalid);
    return;
  }
  Instance* instance = it->second.get();
  LOG(INFO) << "Updating txt record for service instance: "
            << request.service_instance_id;
  DNSServiceErrorType error_code;
  if (instance->state == Instance::State::kLost) {
    // The reference went with the daemon: answered as the library answered
    // the loss; the record is the one registered when the daemon is back.
    error_code = instance->loss_code;
    instance->txt_record = request.txt_record;
  } else {
    // Flags 0: the daemon refuses kDNSServiceFlagsDefault as unsupported.
    error_code = DNSServiceUpdateRecord(
        instance->ref, /*RecordRef=*/nullptr, /*flags=*/0,
        static_cast<uint16_t>(request.txt_record.size()),
        request.txt_record.data(), /*ttl=*/0);
    // A daemon that just went away (its loss not yet read) will have the
    // new record too.
    if (error_code == kDNSServiceErr_NoError || IsDaemonGone(error_code))
      instance->txt_record = request.txt_record;
  }
  request.Answer(ConvertToResult(error_code),
                 error_code == kDNSServiceErr_NoError
                     ? std::string()
                     : "DNSServiceUpdateRecord failed. error_code=" +
                           std::to_string(error_code));
}

void BonjourMdnsResponder::RemoveServiceInternal(
    const std::string& service_instance_id) {
  auto it = services_.find(service_instance_id);
  if (it == services_.end()) {
    LOG(WARNING) << "Can't remove unknown service instance: "
                 << service_instance_id;
    return;
  }
  LOG(INFO) << "Unregistering mdns service instance: " << service_instance_id;
  core::ReportServiceStatus("mdns", "not advertised: withdrawn");
  if (it->second->ref)
    Deallocate(it->second->ref);
  services_.erase(it);
}

int BonjourMdnsResponder::PrepareWait(std::vector<pollfd>* fds) {
  polled_.clear();
  std::optional<Clock::time_point> until;
  for (const auto& entry : services_) {
    const Instance& instance = *entry.second;
    if (!instance.ref)
      continue;
    fds->push_back(pollfd{instance.fd, POLLIN, 0});
    polled_.emplace_back(entry.first, instance.ref);
    if (instance.AwaitsReply() && (!until || instance.deadline < *until))
      until = instance.deadline;
  }
  // Its descriptor comes last: OnWaitDone reads |fds| by |polled_|'s index.
  std::optional<Clock::time_point> retry;
  daemon_return_.PrepareWait(fds, &retry);
  if (retry && !closing_ && (!until || *retry < *until))
    until = retry;
  return until ? MillisecondsUntil(*until, Clock::now()) : -1;
}

void BonjourMdnsResponder::OnWaitDone(const std::vector<pollfd>& fds) {
  // Looked up afresh each time: what one reference says may end or replace
  // another's registration.
  const auto polled = std::move(polled_);
  for (size_t i = 0; i < fds.size() && i < polled.size(); ++i) {
    if (!fds[i].revents)
      continue;
    auto it = services_.find(polled[i].first);
    if (it != services_.end() && it->second->ref == polled[i].second)
      Dispatch(it->second.get());
  }
  Clock::time_point now = Clock::now();
  std::vector<std::string> expired;
  for (const auto& entry : services_) {
    if (entry.second->AwaitsReply() && entry.second->deadline <= now)
      expired.push_back(entry.first);
  }
  for (const std::string& id : expired) {
    auto it = services_.find(id);
    if (it == services_.end() || !it->second->AwaitsReply())
      continue;
    Instance* instance = it->second.get();
    const bool renaming = instance->renaming;
    const std::string wait = std::to_string(
        (renaming ? reply_timeout_ / 2 : reply_timeout_).count());
    if (instance->state == Instance::State::kRegistering) {
      FailRegistration(
          instance, Result::NON_FATAL_ERROR,
          "OnDNSServiceRegisterReply() not called within timeout_ms=" + wait +
              (renaming ? " after the daemon's last rename" : ""));
    } else if (renaming) {
      // The daemon is there, only slow to probe again: a fresh try now.
      LOG(WARNING) << "No reply within " << wait
                   << " ms after the daemon's last rename while registering "
                      "again: "
                   << instance->service_instance_id << "; trying again now";
      FailReregistration(instance, kDNSServiceErr_Unknown);
      daemon_return_.TryNow(Clock::now());
    } else {
      LOG(WARNING) << "No sign of the mDNS daemon within " << wait
                   << " ms while registering again: "
                   << instance->service_instance_id
                   << "; trying again when it answers";
      FailReregistration(instance, kDNSServiceErr_Unknown);
    }
  }
  now = Clock::now();
  daemon_return_.OnWaitDone(fds, now);
  if (!closing_ && daemon_return_.Due(now))
    Retry();
}

// The library dispatches at most one event per DNSServiceProcessResult and
// blocks when nothing is readable, so it is called once per readable socket.
void BonjourMdnsResponder::Dispatch(Instance* instance) {
  Instance::Reply* const reply = instance->reply.get();
  reply->replied = false;
  const DNSServiceErrorType process_error =
      DNSServiceProcessResult(instance->ref);
  const bool replied = reply->replied;
  const DNSServiceErrorType reply_error = reply->error;
  // Not a reply yet, but the daemon at work on the name (a conflict, a
  // rename): it is there, so the wait starts anew.
  if (instance->AwaitsReply() && !replied &&
      process_error == kDNSServiceErr_NoError) {
    instance->deadline = Clock::now() + reply_timeout_ / 2;
    instance->renaming = true;
    return;
  }
  switch (instance->state) {
    case Instance::State::kRegistering:
      if (replied && reply_error == kDNSServiceErr_NoError) {
        Registered(instance);
      } else if (replied) {
        FailRegistration(instance, ConvertToResult(reply_error),
                         "OnDNSServiceRegisterReply() failed error_code=" +
                             std::to_string(reply_error));
      } else if (process_error != kDNSServiceErr_NoError) {
        FailRegistration(instance, ConvertToResult(process_error),
                         "DNSServiceProcessResult() failed error_code=" +
                             std::to_string(process_error));
      }
      return;
    case Instance::State::kReregistering:
      if (replied && reply_error == kDNSServiceErr_NoError)
        Reregistered(instance);
      else if (replied)
        FailReregistration(instance, reply_error);
      else if (process_error != kDNSServiceErr_NoError)
        FailReregistration(instance, process_error);
      return;
    case Instance::State::kRegistered: {
      // A later reply without an error: the daemon renamed the instance
      // after a conflict (a link came up onto a namesake).
      if (replied && reply_error == kDNSServiceErr_NoError &&
          process_error == kDNSServiceErr_NoError) {
        NoteAdvertisedName(instance);
        return;
      }
      DNSServiceErrorType lost = process_error;
      if (lost == kDNSServiceErr_NoError && replied)
        lost = reply_error;
      if (lost == kDNSServiceErr_NoError)
        return;
      if (IsDaemonGone(lost))
        LoseAllRegistered(lost);
      else
        Lose({instance}, lost);
      return;
    }
    case Instance::State::kLost:
      return;  // Not polled.
  }
}

void BonjourMdnsResponder::NoteAdvertisedName(Instance* instance) {
  const std::string& name = instance->reply->name;
  // A library that does not say keeps the asked name.
  if (!name.empty()) {
    // Back to the asked name after a rename is news too.
    if (name != instance->instance_name ||
        (!instance->advertised_name.empty() &&
         name != instance->advertised_name)) {
      LOG(INFO) << instance->service_instance_id << " is advertised as '"
                << name << "'";
    }
    instance->advertised_name = name;
  }
  core::ReportServiceStatus("mdns", "advertised as '" +
                                        (instance->advertised_name.empty()
                                             ? instance->instance_name
                                             : instance->advertised_name) +
                                        "'");
}

void BonjourMdnsResponder::Registered(Instance* instance) {
  instance->state = Instance::State::kRegistered;
  NoteAdvertisedName(instance);
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  RunResultCallback(std::move(instance->result_cb), Result::SUCCESS, "",
                    instance->service_instance_id);
  RunParked(std::move(parked));
  // The daemon answers again: no need to wait for the next try.
  daemon_return_.TryNow(Clock::now());
}

void BonjourMdnsResponder::FailRegistration(Instance* instance,
                                            Result result,
                                            const std::string& message) {
  Deallocate(instance->ref);
  instance->ref = nullptr;
  ResultCallback result_cb = std::move(instance->result_cb);
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  const std::string id = instance->service_instance_id;
  services_.erase(id);
  core::ReportServiceStatus("mdns", "not advertised: " + message);
  RunResultCallback(std::move(result_cb), result, message, id);
  RunParked(std::move(parked));
}

void BonjourMdnsResponder::RunParked(std::vector<Request> parked) {
  for (Request& request : parked)
    Handle(std::move(request));
}

bool BonjourMdnsResponder::AwaitsHostReply() const {
  for (const auto& entry : services_) {
    if (entry.second->state == Instance::State::kRegistering)
      return true;
  }
  return false;
}

void BonjourMdnsResponder::RemoveAllServices() {
  closing_ = true;
  // Every registration the host asked for is answered first, and so is
  // whatever waits behind it. Nothing else can be queued any more.
  std::vector<pollfd> fds;
  while (AwaitsHostReply()) {
    fds.clear();
    const int timeout_ms = PrepareWait(&fds);
    if (HANDLE_EINTR(poll(fds.data(), fds.size(), timeout_ms)) < 0) {
      for (pollfd& fd : fds)
        fd.revents = 0;
    }
    OnWaitDone(fds);
  }
  // A registration of our own is not waited for: the daemon may be slow or
  // gone, and the instance is withdrawn anyway.
  std::vector<Instance*> reregistering;
  for (const auto& entry : services_) {
    if (entry.second->state == Instance::State::kReregistering)
      reregistering.push_back(entry.second.get());
  }
  for (Instance* instance : reregistering)
    FailReregistration(instance, kDNSServiceErr_Unknown);

  // Ids first: removing erases from the table being walked.
  std::vector<std::string> ids;
  ids.reserve(services_.size());
  for (const auto& entry : services_)
    ids.push_back(entry.first);
  for (const std::string& id : ids)
    RemoveServiceInternal(id);
}

void BonjourMdnsResponder::Deallocate(DNSServiceRef ref) {
  // Until then the order of the daemon's calls is kept: a withdrawal is
  // taken before a new registration of the name.
  if (closing_)
    releaser_.Release(ref);
  else
    DNSServiceRefDeallocate(ref);
}

}  // namespace assistant_reference
