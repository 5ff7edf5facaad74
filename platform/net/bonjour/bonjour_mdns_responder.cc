#include "platform/net/bonjour/bonjour_mdns_responder.h"

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <stdlib.h>

#include <memory>
#include <utility>
#include <vector>

#include "core/logging.h"

namespace assistant_reference {
namespace {

using Result = assistant_client::MdnsResponder::Result;
using ResultCallback = assistant_client::MdnsResponder::ResultCallback;

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
    if (responder_->services_.count(service_instance_id_)) {
      Answer(Result::FATAL_ERROR, "Duplicate service instance encountered");
      return;
    }
    LOG(INFO) << "Registering mdns service instance: " << service_instance_id_;
    DNSServiceRef service_ref = nullptr;
    DNSServiceErrorType error_code = DNSServiceRegister(
        &service_ref, /*flags=*/0, /*interfaceIndex=*/0, instance_name_.c_str(),
        service_type_.c_str(), /*domain=*/nullptr, /*host=*/nullptr,
        htons(port_), static_cast<uint16_t>(txt_record_.size()),
        txt_record_.data(), &OnDNSServiceRegisterReply, this);
    if (error_code != kDNSServiceErr_NoError) {
      CHECK(!service_ref);
      Answer(ConvertToResult(error_code),
             "DNSServiceRegister() failed error_code=" +
                 std::to_string(error_code));
      return;
    }
    WaitForReply(service_ref);
  }

 private:
  static void DNSSD_API
  OnDNSServiceRegisterReply(DNSServiceRef service_ref,
                            DNSServiceFlags /*flags*/,
                            DNSServiceErrorType error_code,
                            const char* /*name*/,
                            const char* /*regtype*/,
                            const char* /*domain*/,
                            void* context) {
    auto* task = static_cast<AddServiceTask*>(context);
    CHECK(service_ref);
    // Only the first reply counts; WaitForReply stops reading after it.
    if (!task->result_cb_)
      return;
    if (error_code != kDNSServiceErr_NoError) {
      DNSServiceRefDeallocate(service_ref);
      task->Answer(ConvertToResult(error_code),
                   "OnDNSServiceRegisterReply() failed error_code=" +
                       std::to_string(error_code));
      return;
    }
    task->responder_->services_[task->service_instance_id_] = service_ref;
    task->Answer(Result::SUCCESS, "");
  }

  // The reply comes only after the daemon has probed the name (a second or
  // more), and the library dispatches at most one event per
  // DNSServiceProcessResult, which blocks - possibly for ever - when nothing
  // is readable. So it is called only once the reference's socket is
  // readable, until the reply has run or the time is up.
  void WaitForReply(DNSServiceRef service_ref) {
    const int fd = DNSServiceRefSockFD(service_ref);
    if (fd < 0) {
      Abandon(service_ref,
              "DNSServiceRefSockFD() failed fd=" + std::to_string(fd));
      return;
    }
    const auto timeout = responder_->reply_timeout_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result_cb_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        Abandon(service_ref,
                "OnDNSServiceRegisterReply() not called within timeout_ms=" +
                    std::to_string(timeout.count()));
        return;
      }
      pollfd readable = {fd, POLLIN, 0};
      const int ready = poll(&readable, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno != EINTR) {
        Abandon(service_ref, "poll() failed errno=" + std::to_string(errno));
        return;
      }
      if (ready <= 0)
        continue;
      const DNSServiceErrorType error_code =
          DNSServiceProcessResult(service_ref);
      // Once the reply has answered, a failure here is of no interest: the
      // reference is in the table or already deallocated by the reply.
      if (error_code != kDNSServiceErr_NoError && result_cb_) {
        CHECK(service_ref);
        DNSServiceRefDeallocate(service_ref);
        Answer(ConvertToResult(error_code),
               "DNSServiceProcessResult() failed error_code=" +
                   std::to_string(error_code));
        return;
      }
    }
  }

  // Gives up on a registration whose reply cannot be had.
  void Abandon(DNSServiceRef service_ref, const std::string& message) {
    DNSServiceRefDeallocate(service_ref);
    Answer(Result::NON_FATAL_ERROR, message);
  }

  void Answer(Result result, const std::string& message) {
    RunResultCallback(std::move(result_cb_), result, message,
                      service_instance_id_);
  }

  BonjourMdnsResponder* const responder_;  // Not owned.
  const std::string service_type_;
  const std::string instance_name_;
  const std::string service_instance_id_;
  const uint16_t port_;  // Host byte order.
  const std::string txt_record_;
  ResultCallback result_cb_;  // Empty once answered.
};

class BonjourMdnsResponder::RemoveServiceTask : public core::TaskQueue::Task {
 public:
  RemoveServiceTask(BonjourMdnsResponder* responder,
                    const std::string& service_instance_id)
      : responder_(responder), service_instance_id_(service_instance_id) {
    CHECK(responder_);
  }

  void Run() override {
    responder_->RemoveServiceInternal(service_instance_id_);
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
    auto it = responder_->services_.find(service_instance_id_);
    if (it == responder_->services_.end()) {
      Answer(Result::FATAL_ERROR, "Unknown service instance encountered");
      return;
    }
    LOG(INFO) << "Updating txt record for service instance: "
              << service_instance_id_;
    // Flags 0: the daemon refuses kDNSServiceFlagsDefault as unsupported.
    const DNSServiceErrorType error_code = DNSServiceUpdateRecord(
        it->second, /*RecordRef=*/nullptr, /*flags=*/0,
        static_cast<uint16_t>(txt_record_.size()), txt_record_.data(),
        /*ttl=*/0);
    Answer(ConvertToResult(error_code),
           error_code == kDNSServiceErr_NoError
               ? std::string()
               : "DNSServiceUpdateRecord failed. error_code=" +
                     std::to_string(error_code));
  }

 private:
  void Answer(Result result, const std::string& message) {
    RunResultCallback(std::move(result_cb_), result, message,
                      service_instance_id_);
  }

  BonjourMdnsResponder* const responder_;  // Not owned.
  const std::string service_instance_id_;
  const std::string txt_record_;
  ResultCallback result_cb_;  // May be empty; empty once answered.
};

class BonjourMdnsResponder::RemoveAllServicesTask
    : public core::TaskQueue::Task {
 public:
  explicit RemoveAllServicesTask(BonjourMdnsResponder* responder)
      : responder_(responder) {
    CHECK(responder_);
  }

  void Run() override {
    // Ids first: removing erases from the table being walked.
    std::vector<std::string> ids;
    ids.reserve(responder_->services_.size());
    for (const auto& entry : responder_->services_)
      ids.push_back(entry.first);
    for (const std::string& id : ids)
      responder_->RemoveServiceInternal(id);
  }

 private:
  BonjourMdnsResponder* const responder_;  // Not owned.
};

BonjourMdnsResponder::BonjourMdnsResponder(
    std::chrono::milliseconds reply_timeout)
    : reply_timeout_((SilenceCompatibilityWarning(), reply_timeout)),
      thread_("BonjourMdnsResponder"),
      task_queue_(&thread_) {}

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

void BonjourMdnsResponder::RemoveServiceInternal(
    const std::string& service_instance_id) {
  auto it = services_.find(service_instance_id);
  if (it == services_.end()) {
    LOG(WARNING) << "Can't remove unknown service instance: "
                 << service_instance_id;
    return;
  }
  LOG(INFO) << "Unregistering mdns service instance: " << service_instance_id;
  DNSServiceRefDeallocate(it->second);
  services_.erase(it);
}

}  // namespace assistant_reference
