// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/bonjour_mdns_responder.h"

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <stdlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "core/logging.h"

namespace assistant_reference {
namespace {

using Clock = std::chrono::steady_clock;
using Result = assistant_client::MdnsResponder::Result;
using ResultCallback = assistant_client::MdnsResponder::ResultCallback;

// The first pause before trying a lost daemon again: a restarted daemon is
// usually back within a second.
constexpr std::chrono::milliseconds kFirstRetryInterval{100};
// DNS limits: a label, and the 16-bit length of a TXT record.
constexpr size_t kMaxLabelBytes = 63;
constexpr size_t kMaxTxtRecordBytes = 65535;
// mDNSResponder's kDNSServiceErr_ServiceNotRunning, which Avahi's dns_sd.h
// lacks.
constexpr DNSServiceErrorType kServiceNotRunning = -65563;

std::string GetServiceInstanceId(const std::string& service_type,
                                 const std::string& instance_name) {
  return instance_name + "." + service_type;
}

bool IsFatalError(int error_code) {
  return error_code == kDNSServiceErr_NoMemory ||
         error_code == kDNSServiceErr_BadParam ||
         error_code == kDNSServiceErr_Incompatible;
}

Result ConvertToResult(int error_code) {
  if (error_code == kDNSServiceErr_NoError)
    return Result::SUCCESS;
  return IsFatalError(error_code) ? Result::FATAL_ERROR
                                  : Result::NON_FATAL_ERROR;
}

// What the client libraries say when their daemon is not there: Avahi's
// reports "unknown", mDNSResponder's "service not running".
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

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF. The
// daemon's D-Bus library aborts the process on anything else.
bool IsValidUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char lead = *p++;
    if (lead < 0x80)
      continue;
    int more;
    unsigned char min = 0x80, max = 0xbf;  // Range of the first trail byte.
    if (lead >= 0xc2 && lead <= 0xdf) {
      more = 1;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      more = 2;
      if (lead == 0xe0)
        min = 0xa0;
      if (lead == 0xed)
        max = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      more = 3;
      if (lead == 0xf0)
        min = 0x90;
      if (lead == 0xf4)
        max = 0x8f;
    } else {
      return false;
    }
    if (end - p < more || *p < min || *p > max)
      return false;
    for (int i = 1; i < more; ++i) {
      if (p[i] < 0x80 || p[i] > 0xbf)
        return false;
    }
    p += more;
  }
  return true;
}

// Empty when the DNS-SD layer can take |name|, else the reason.
std::string CheckInstanceName(const std::string& name) {
  if (name.find('\0') != std::string::npos)
    return "Invalid instance name: contains a NUL byte";
  if (!IsValidUtf8(name))
    return "Invalid instance name: not valid UTF-8";
  if (name.size() > kMaxLabelBytes) {
    return "Invalid instance name: " + std::to_string(name.size()) +
           " bytes, more than " + std::to_string(kMaxLabelBytes);
  }
  return "";
}

// _name._tcp or _name._udp, the name a DNS label of letters, digits, '-'
// and '_'.
std::string CheckServiceType(const std::string& type) {
  const std::string invalid =
      "Invalid service type: not of the form _name._tcp or _name._udp";
  const size_t dot = type.find('.');
  if (dot == std::string::npos || dot < 2 || dot > kMaxLabelBytes ||
      type[0] != '_') {
    return invalid;
  }
  for (size_t i = 1; i < dot; ++i) {
    const char c = type[i];
    if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') &&
        !(c >= '0' && c <= '9') && c != '-' && c != '_') {
      return invalid;
    }
  }
  std::string protocol = type.substr(dot + 1);
  for (char& c : protocol)
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return protocol == "_tcp" || protocol == "_udp" ? "" : invalid;
}

// TXT record data: strings, each behind its length byte, filling the record
// exactly; its length must fit the 16 bits it travels in.
std::string CheckTxtRecord(const std::string& txt) {
  if (txt.size() > kMaxTxtRecordBytes) {
    return "Invalid TXT record: " + std::to_string(txt.size()) +
           " bytes, more than " + std::to_string(kMaxTxtRecordBytes);
  }
  size_t at = 0;
  while (at < txt.size()) {
    const size_t length = static_cast<unsigned char>(txt[at]);
    if (length > txt.size() - at - 1) {
      return "Invalid TXT record: the string at byte " + std::to_string(at) +
             " has length " + std::to_string(length) + ", past the end";
    }
    at += 1 + length;
  }
  return "";
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

// One host request, as the responder thread applies it; it may wait in its
// instance's list behind a registration.
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
        result_cb(std::move(result_cb)) {}
  Request(Request&&) = default;
  Request& operator=(Request&&) = default;
  ~Request() { CHECK(!result_cb); }

  void Answer(Result result, const std::string& message) {
    RunResultCallback(std::move(result_cb), result, message,
                      service_instance_id);
  }

  Kind kind;
  std::string service_type;  // kAdd only, as are |instance_name| and |port|.
  std::string instance_name;
  std::string service_instance_id;
  uint16_t port;             // Host byte order.
  std::string txt_record;    // kAdd and kUpdate.
  ResultCallback result_cb;  // Empty for kRemove; may be empty for kUpdate.
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
        result_cb(std::move(request->result_cb)) {}
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
  Clock::time_point deadline;   // For the reply, while AwaitsReply().
  DNSServiceErrorType loss_code = kDNSServiceErr_NoError;  // kLost.
  // The host's answer while kRegistering; empty otherwise.
  ResultCallback result_cb;
  // Requests for this instance made while it awaits a reply, in order.
  std::vector<Request> parked;
  // What the reply callback reported during the last DNSServiceProcessResult.
  bool replied = false;
  DNSServiceErrorType reply_error = kDNSServiceErr_NoError;

  static void DNSSD_API
  OnDNSServiceRegisterReply(DNSServiceRef service_ref,
                            DNSServiceFlags /*flags*/,
                            DNSServiceErrorType error_code,
                            const char* /*name*/,
                            const char* /*regtype*/,
                            const char* /*domain*/,
                            void* context) {
    CHECK(service_ref);
    // Only noted here: the reference must not go while the library still
    // works on it.
    auto* instance = static_cast<Instance*>(context);
    instance->replied = true;
    instance->reply_error = error_code;
  }
};

class BonjourMdnsResponder::AddServiceTask : public core::TaskQueue::Task {
 public:
  AddServiceTask(BonjourMdnsResponder* responder,
                 const std::string& service_type,
                 const std::string& instance_name,
                 uint16_t port,
                 const std::string& txt_record,
                 ResultCallback result_cb)
      : responder_(responder),
        service_type_(service_type),
        instance_name_(instance_name),
        service_instance_id_(GetServiceInstanceId(service_type, instance_name)),
        port_(port),
        txt_record_(txt_record),
        result_cb_(std::move(result_cb)) {
    CHECK(responder_);
    CHECK(result_cb_);
  }
  ~AddServiceTask() override { CHECK(!result_cb_); }

  void Run() override {
    responder_->Handle(Request(Request::Kind::kAdd, service_type_,
                               instance_name_, service_instance_id_, port_,
                               txt_record_, std::move(result_cb_)));
  }

 private:
  BonjourMdnsResponder* const responder_;  // Not owned.
  const std::string service_type_;
  const std::string instance_name_;
  const std::string service_instance_id_;
  const uint16_t port_;  // Host byte order.
  const std::string txt_record_;
  ResultCallback result_cb_;  // Empty once handed on.
};

class BonjourMdnsResponder::RemoveServiceTask : public core::TaskQueue::Task {
 public:
  RemoveServiceTask(BonjourMdnsResponder* responder,
                    const std::string& service_instance_id)
      : responder_(responder), service_instance_id_(service_instance_id) {
    CHECK(responder_);
  }

  void Run() override {
    responder_->Handle(Request(Request::Kind::kRemove, "", "",
                               service_instance_id_, 0, "", {}));
  }

 private:
  BonjourMdnsResponder* const responder_;  // Not owned.
  const std::string service_instance_id_;
};

class BonjourMdnsResponder::UpdateTxtRecordTask : public core::TaskQueue::Task {
 public:
  UpdateTxtRecordTask(BonjourMdnsResponder* responder,
                      const std::string& service_instance_id,
                      const std::string& txt_record,
                      ResultCallback result_cb)
      : responder_(responder),
        service_instance_id_(service_instance_id),
        txt_record_(txt_record),
        result_cb_(std::move(result_cb)) {
    CHECK(responder_);
  }
  ~UpdateTxtRecordTask() override { CHECK(!result_cb_); }

  void Run() override {
    responder_->Handle(Request(Request::Kind::kUpdate, "", "",
                               service_instance_id_, 0, txt_record_,
                               std::move(result_cb_)));
  }

 private:
  BonjourMdnsResponder* const responder_;  // Not owned.
  const std::string service_instance_id_;
  const std::string txt_record_;
  ResultCallback result_cb_;  // May be empty; empty once handed on.
};

class BonjourMdnsResponder::RemoveAllServicesTask
    : public core::TaskQueue::Task {
 public:
  explicit RemoveAllServicesTask(BonjourMdnsResponder* responder)
      : responder_(responder) {
    CHECK(responder_);
  }

  void Run() override { responder_->RemoveAllServices(); }

 private:
  BonjourMdnsResponder* const responder_;  // Not owned.
};

int BonjourMdnsResponder::Events::PrepareWait(std::vector<pollfd>* fds) {
  return responder_->PrepareWait(fds);
}

void BonjourMdnsResponder::Events::OnWaitDone(const std::vector<pollfd>& fds) {
  responder_->OnWaitDone(fds);
}

BonjourMdnsResponder::BonjourMdnsResponder(
    std::chrono::milliseconds reply_timeout,
    std::chrono::milliseconds max_retry_interval)
    : reply_timeout_((SilenceCompatibilityWarning(), reply_timeout)),
      max_retry_interval_(max_retry_interval),
      retry_interval_(std::min(kFirstRetryInterval, max_retry_interval)),
      thread_("BonjourMdnsResponder"),
      task_queue_(&thread_, &events_) {}

BonjourMdnsResponder::~BonjourMdnsResponder() {
  task_queue_.AddTask(std::make_unique<RemoveAllServicesTask>(this));
  // |task_queue_| goes first among the members: it runs everything pending,
  // the removal last, and joins the thread before the table goes.
}

void BonjourMdnsResponder::AddService(const std::string& service_type,
                                      const std::string& instance_name,
                                      uint16_t port,
                                      const std::string& txt_record,
                                      ResultCallback callback) {
  task_queue_.AddTask(
      std::make_unique<AddServiceTask>(this, service_type, instance_name, port,
                                       txt_record, std::move(callback)));
}

void BonjourMdnsResponder::RemoveService(const std::string& service_type,
                                         const std::string& instance_name) {
  task_queue_.AddTask(std::make_unique<RemoveServiceTask>(
      this, GetServiceInstanceId(service_type, instance_name)));
}

void BonjourMdnsResponder::UpdateTxtRecord(const std::string& service_type,
                                           const std::string& instance_name,
                                           const std::string& txt_record,
                                           ResultCallback callback) {
  task_queue_.AddTask(std::make_unique<UpdateTxtRecordTask>(
      this, GetServiceInstanceId(service_type, instance_name), txt_record,
      std::move(callback)));
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
  *error_code = DNSServiceRegister(
      &service_ref, /*flags=*/0, /*interfaceIndex=*/0,
      instance->instance_name.c_str(), instance->service_type.c_str(),
      /*domain=*/nullptr, /*host=*/nullptr, htons(instance->port),
      static_cast<uint16_t>(instance->txt_record.size()),
      instance->txt_record.data(), &Instance::OnDNSServiceRegisterReply,
      instance);
  if (*error_code != kDNSServiceErr_NoError) {
    CHECK(!service_ref);
    *message =
        "DNSServiceRegister() failed error_code=" + std::to_string(*error_code);
    return false;
  }
  const int fd = DNSServiceRefSockFD(service_ref);
  if (fd < 0) {
    DNSServiceRefDeallocate(service_ref);
    *error_code = kDNSServiceErr_Unknown;
    *message = "DNSServiceRefSockFD() failed fd=" + std::to_string(fd);
    return false;
  }
  instance->ref = service_ref;
  instance->fd = fd;
  instance->deadline = Clock::now() + reply_timeout_;
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
  if (it->second->ref)
    DNSServiceRefDeallocate(it->second->ref);
  services_.erase(it);
}

int BonjourMdnsResponder::PrepareWait(std::vector<pollfd>* fds) {
  polled_.clear();
  std::optional<Clock::time_point> until;
  if (retry_at_ && !closing_)
    until = retry_at_;
  for (const auto& entry : services_) {
    const Instance& instance = *entry.second;
    if (!instance.ref)
      continue;
    fds->push_back(pollfd{instance.fd, POLLIN, 0});
    polled_.emplace_back(entry.first, instance.ref);
    if (instance.AwaitsReply() && (!until || instance.deadline < *until))
      until = instance.deadline;
  }
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
  const Clock::time_point now = Clock::now();
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
    if (instance->state == Instance::State::kRegistering) {
      FailRegistration(instance, Result::NON_FATAL_ERROR,
                       "OnDNSServiceRegisterReply() not called within "
                       "timeout_ms=" +
                           std::to_string(reply_timeout_.count()));
    } else {
      FailReregistration(instance, kDNSServiceErr_Unknown);
    }
  }
  if (retry_at_ && !closing_ && *retry_at_ <= now)
    Retry();
}

// The library dispatches at most one event per DNSServiceProcessResult and
// blocks when nothing is readable, so it is called once per readable socket.
void BonjourMdnsResponder::Dispatch(Instance* instance) {
  instance->replied = false;
  const DNSServiceErrorType process_error =
      DNSServiceProcessResult(instance->ref);
  const bool replied = instance->replied;
  const DNSServiceErrorType reply_error = instance->reply_error;
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
      // A later reply without an error (a rename) changes nothing here.
      DNSServiceErrorType lost = process_error;
      if (lost == kDNSServiceErr_NoError && replied)
        lost = reply_error;
      if (lost == kDNSServiceErr_NoError)
        return;
      if (!IsDaemonGone(lost)) {
        Lose({instance}, lost);
        return;
      }
      // One daemon serves them all: what one reference says of it holds for
      // every registration.
      std::vector<Instance*> registered;
      for (const auto& entry : services_) {
        if (entry.second->state == Instance::State::kRegistered)
          registered.push_back(entry.second.get());
      }
      Lose(registered, lost);
      return;
    }
    case Instance::State::kLost:
      return;  // Not polled.
  }
}

void BonjourMdnsResponder::Registered(Instance* instance) {
  instance->state = Instance::State::kRegistered;
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  RunResultCallback(std::move(instance->result_cb), Result::SUCCESS, "",
                    instance->service_instance_id);
  RunParked(std::move(parked));
  // The daemon answers again: no need to wait for the next try.
  if (retry_at_)
    retry_at_ = Clock::now();
}

void BonjourMdnsResponder::FailRegistration(Instance* instance,
                                            Result result,
                                            const std::string& message) {
  DNSServiceRefDeallocate(instance->ref);
  instance->ref = nullptr;
  ResultCallback result_cb = std::move(instance->result_cb);
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  const std::string id = instance->service_instance_id;
  services_.erase(id);
  RunResultCallback(std::move(result_cb), result, message, id);
  RunParked(std::move(parked));
}

void BonjourMdnsResponder::Reregistered(Instance* instance) {
  instance->state = Instance::State::kRegistered;
  LOG(INFO) << "Re-registered mdns service instance: "
            << instance->service_instance_id;
  retry_interval_ = std::min(kFirstRetryInterval, max_retry_interval_);
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  RunParked(std::move(parked));
}

void BonjourMdnsResponder::FailReregistration(Instance* instance,
                                              DNSServiceErrorType error_code) {
  DNSServiceRefDeallocate(instance->ref);
  instance->ref = nullptr;
  std::vector<Request> parked = std::move(instance->parked);
  instance->parked.clear();
  if (IsDaemonGone(error_code)) {
    // Away again (or still starting): tried again later, quietly; the
    // loss was logged when it happened.
    instance->state = Instance::State::kLost;
    instance->loss_code = error_code;
    ScheduleRetry(/*fresh_loss=*/false);
  } else {
    Drop(instance, error_code);
  }
  RunParked(std::move(parked));
}

void BonjourMdnsResponder::Lose(const std::vector<Instance*>& instances,
                                DNSServiceErrorType error_code) {
  std::vector<std::string> ids;
  for (Instance* instance : instances) {
    DNSServiceRefDeallocate(instance->ref);
    instance->ref = nullptr;
    instance->fd = -1;
    instance->state = Instance::State::kLost;
    instance->loss_code = error_code;
    ids.push_back(instance->service_instance_id);
  }
  std::sort(ids.begin(), ids.end());
  std::string names;
  for (const std::string& id : ids)
    names += (names.empty() ? "" : ", ") + id;
  LOG(WARNING) << "Lost mdns service instances error_code=" << error_code
               << ", registering them again when the daemon is back: " << names;
  ScheduleRetry(/*fresh_loss=*/true);
}

// After a fresh loss the daemon was there a moment ago: the first try comes
// soon. Every further failure doubles the pause, up to the cap.
void BonjourMdnsResponder::ScheduleRetry(bool fresh_loss) {
  if (fresh_loss) {
    retry_interval_ = std::min(kFirstRetryInterval, max_retry_interval_);
  } else if (retry_at_) {
    return;
  } else {
    retry_interval_ = std::min(retry_interval_ * 2, max_retry_interval_);
  }
  retry_at_ = Clock::now() + retry_interval_;
}

// Such as a name another device took meanwhile: trying again would only fail
// again, so the instance is given up.
void BonjourMdnsResponder::Drop(Instance* instance,
                                DNSServiceErrorType error_code) {
  const std::string id = instance->service_instance_id;
  LOG(WARNING) << "Can't re-register mdns service instance: " << id
               << " error_code=" << error_code << "; it stays withdrawn";
  services_.erase(id);
}

void BonjourMdnsResponder::Retry() {
  retry_at_.reset();
  std::vector<std::string> lost;
  for (const auto& entry : services_) {
    if (entry.second->state == Instance::State::kLost)
      lost.push_back(entry.first);
  }
  std::sort(lost.begin(), lost.end());
  // The first one tells whether the daemon is back; the others follow at
  // once only when it is.
  for (const std::string& id : lost) {
    Instance* instance = services_.at(id).get();
    DNSServiceErrorType error_code;
    std::string message;
    if (StartRegistration(instance, &error_code, &message)) {
      instance->state = Instance::State::kReregistering;
      continue;
    }
    if (!IsDaemonGone(error_code)) {
      Drop(instance, error_code);
      continue;
    }
    instance->loss_code = error_code;
    ScheduleRetry(/*fresh_loss=*/false);
    return;
  }
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
    if (poll(fds.data(), fds.size(), timeout_ms) < 0) {
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

}  // namespace assistant_reference
