// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "testing/fake_dns_sd.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>

struct _DNSServiceRef_t {
  int fd = -1;
  fake_dns_sd::Registration script;
  int events_left = 0;
  bool replied = false;
  // Set under the state's mutex by StopDaemon.
  bool lost = false;
  DNSServiceErrorType loss_error = kDNSServiceErr_NoError;
  bool loss_reported = false;
  // A later reply with this name is due.
  std::string rename;
  std::string name;
  std::string regtype;
  DNSServiceRegisterReply callback = nullptr;
  void* context = nullptr;
};

namespace fake_dns_sd {
namespace {

struct State {
  std::mutex mutex;
  std::deque<Registration> scripts;
  DNSServiceErrorType update_error = kDNSServiceErr_NoError;
  std::vector<Call> calls;
  std::set<DNSServiceRef> live;
  int blind_process_calls = 0;
  int process_calls_after_loss = 0;
  int bad_deallocations = 0;
  bool daemon_down = false;
  DNSServiceErrorType down_error = kDNSServiceErr_NoError;
  LossReport loss_report = LossReport::kReplyCallback;
  std::string daemon_folder;
  // A frozen daemon: registrations and deallocations wait until it thaws.
  bool frozen = false;
  int frozen_calls = 0;
  std::condition_variable thawed;
};

State& GetState() {
  static State* state = new State();
  return *state;
}

std::string ThreadName() {
  char name[32] = {};
  pthread_getname_np(pthread_self(), name, sizeof(name));
  return name;
}

Call NewCall(const char* function, DNSServiceRef ref) {
  Call call;
  call.function = function;
  call.thread = ThreadName();
  call.ref = ref;
  return call;
}

void Record(Call call) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.calls.push_back(std::move(call));
}

void Arm(int fd, std::chrono::milliseconds delay) {
  itimerspec when = {};
  if (delay.count() >= 0) {
    // A zero value would disarm the timer; 1 ns is "readable now".
    const int64_t ns = std::max<int64_t>(1, delay.count() * 1000000);
    when.it_value.tv_sec = ns / 1000000000;
    when.it_value.tv_nsec = ns % 1000000000;
  }
  timerfd_settime(fd, 0, &when, nullptr);
}

// Waits while the daemon is frozen; the caller holds |lock| on the state.
void WaitForThaw(State& state, std::unique_lock<std::mutex>& lock) {
  ++state.frozen_calls;
  state.thawed.wait(lock, [&state] { return !state.frozen; });
  --state.frozen_calls;
}

bool IsReadable(int fd) {
  pollfd readable = {fd, POLLIN, 0};
  return poll(&readable, 1, 0) == 1;
}

}  // namespace

void Reset() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.scripts.clear();
  state.update_error = kDNSServiceErr_NoError;
  state.calls.clear();
  state.blind_process_calls = 0;
  state.process_calls_after_loss = 0;
  state.bad_deallocations = 0;
  state.daemon_down = false;
}

void ScriptNextRegistration(const Registration& registration) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.scripts.push_back(registration);
}

void SetUpdateError(DNSServiceErrorType error) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.update_error = error;
}

void StopDaemon(DNSServiceErrorType error, LossReport how) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.daemon_down = true;
  state.down_error = error;
  state.loss_report = how;
  if (!state.daemon_folder.empty())
    unlink((state.daemon_folder + "/socket").c_str());
  for (DNSServiceRef ref : state.live) {
    ref->lost = true;
    ref->loss_error = error;
    Arm(ref->fd, std::chrono::milliseconds(0));
  }
}

void StartDaemon() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.daemon_down = false;
  if (!state.daemon_folder.empty()) {
    const int fd = open((state.daemon_folder + "/socket").c_str(),
                        O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0)
      close(fd);
  }
}

void SetDaemonFolder(const std::string& folder) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.daemon_folder = folder;
}

bool RenameLater(const std::string& name, const std::string& new_name) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  for (DNSServiceRef ref : state.live) {
    if (ref->name == name && ref->replied && !ref->lost) {
      ref->rename = new_name;
      Arm(ref->fd, std::chrono::milliseconds(0));
      return true;
    }
  }
  return false;
}

void FreezeDaemon() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.frozen = true;
}

void ThawDaemon() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.frozen = false;
  state.thawed.notify_all();
}

void ReleaseHeldReplies() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  for (DNSServiceRef ref : state.live) {
    if (ref->script.reply_delay.count() < 0 && !ref->replied && !ref->lost)
      Arm(ref->fd, std::chrono::milliseconds(0));
  }
}

std::vector<Call> Calls() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.calls;
}

int FrozenCalls() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.frozen_calls;
}

std::vector<std::string> CallsElsewhere(const std::string& thread,
                                        const std::string& release_thread,
                                        const std::string& register_thread) {
  std::vector<std::string> elsewhere;
  for (const Call& call : Calls()) {
    const bool release = call.function == "DNSServiceRefDeallocate" &&
                         call.thread == release_thread;
    // Its registrations, and the withdrawal of one it was left with.
    const bool own = (call.function == "DNSServiceRegister" ||
                      call.function == "DNSServiceRefDeallocate") &&
                     call.thread == register_thread;
    if (call.thread != thread && !release && !own)
      elsewhere.push_back(call.function + " on " + call.thread);
  }
  return elsewhere;
}

std::vector<std::string> CalledFunctions() {
  std::vector<std::string> names;
  for (const Call& call : Calls())
    names.push_back(call.function);
  return names;
}

int BlindProcessCalls() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.blind_process_calls;
}

int ProcessCallsAfterLoss() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.process_calls_after_loss;
}

int LiveReferences() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return static_cast<int>(state.live.size());
}

int BadDeallocations() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.bad_deallocations;
}

}  // namespace fake_dns_sd

using fake_dns_sd::GetState;
using fake_dns_sd::NewCall;
using fake_dns_sd::Record;

DNSServiceErrorType DNSSD_API
DNSServiceRegister(DNSServiceRef* sdRef,
                   DNSServiceFlags flags,
                   uint32_t interfaceIndex,
                   const char* name,
                   const char* regtype,
                   const char* domain,
                   const char* host,
                   uint16_t port,
                   uint16_t txtLen,
                   const void* txtRecord,
                   DNSServiceRegisterReply callBack,
                   void* context) {
  fake_dns_sd::Call call = NewCall(__func__, nullptr);
  call.flags = flags;
  call.interface_index = interfaceIndex;
  call.name = name ? name : "";
  call.regtype = regtype ? regtype : "";
  call.domain_null = !domain;
  call.host_null = !host;
  call.port = port;
  call.txt_null = !txtRecord;
  if (txtRecord)
    call.txt.assign(static_cast<const char*>(txtRecord), txtLen);
  call.callback_set = callBack != nullptr;

  fake_dns_sd::Registration script;
  fake_dns_sd::State& state = GetState();
  {
    std::unique_lock<std::mutex> lock(state.mutex);
    fake_dns_sd::WaitForThaw(state, lock);
    if (state.daemon_down) {
      script.register_error = state.down_error;
    } else if (!state.scripts.empty()) {
      script = state.scripts.front();
      state.scripts.pop_front();
    }
  }
  if (script.register_error != kDNSServiceErr_NoError) {
    call.result = script.register_error;
    Record(std::move(call));
    return script.register_error;
  }
  auto* ref = new _DNSServiceRef_t();
  ref->fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  ref->script = script;
  ref->events_left = script.events_before_reply;
  ref->name = call.name;
  ref->regtype = call.regtype;
  ref->callback = callBack;
  ref->context = context;
  fake_dns_sd::Arm(ref->fd, script.reply_delay);
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.live.insert(ref);
  }
  call.ref = ref;
  Record(std::move(call));
  *sdRef = ref;
  return kDNSServiceErr_NoError;
}

int DNSSD_API DNSServiceRefSockFD(DNSServiceRef sdRef) {
  Record(NewCall(__func__, sdRef));
  return sdRef ? sdRef->fd : -1;
}

DNSServiceErrorType DNSSD_API DNSServiceProcessResult(DNSServiceRef sdRef) {
  Record(NewCall(__func__, sdRef));
  fake_dns_sd::State& state = GetState();
  if (!fake_dns_sd::IsReadable(sdRef->fd)) {
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.blind_process_calls;
    return kDNSServiceErr_Unknown;
  }
  uint64_t expirations = 0;
  if (read(sdRef->fd, &expirations, sizeof(expirations)) < 0)
    return kDNSServiceErr_Unknown;
  fake_dns_sd::LossReport how;
  bool lost, replied;
  DNSServiceErrorType loss_error;
  std::string rename;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    lost = sdRef->lost;
    loss_error = sdRef->loss_error;
    replied = sdRef->replied;
    rename.swap(sdRef->rename);
    if (lost)
      ++state.process_calls_after_loss;
    how = state.loss_report;
  }
  if (lost && how == fake_dns_sd::LossReport::kProcessResult) {
    fake_dns_sd::Arm(sdRef->fd, std::chrono::milliseconds(0));
    return loss_error;
  }
  if (lost) {
    if (sdRef->loss_reported)
      return kDNSServiceErr_NoError;
    sdRef->loss_reported = true;
    const std::string name = sdRef->name, regtype = sdRef->regtype;
    sdRef->callback(sdRef, 0, loss_error, name.c_str(), regtype.c_str(),
                    "local.", sdRef->context);
    return kDNSServiceErr_NoError;
  }
  if (replied && !rename.empty()) {
    const std::string regtype = sdRef->regtype;
    sdRef->callback(sdRef, 0, kDNSServiceErr_NoError, rename.c_str(),
                    regtype.c_str(), "local.", sdRef->context);
    return kDNSServiceErr_NoError;
  }
  if (replied)
    return kDNSServiceErr_NoError;
  if (sdRef->events_left > 0) {
    --sdRef->events_left;
    fake_dns_sd::Arm(sdRef->fd, sdRef->script.event_interval);
    return kDNSServiceErr_NoError;
  }
  const fake_dns_sd::Registration script = sdRef->script;
  if (script.process_error != kDNSServiceErr_NoError)
    return script.process_error;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    sdRef->replied = true;
  }
  // The callback may deallocate |sdRef|: nothing of it is used afterwards.
  if (sdRef->callback) {
    const std::string name =
        script.reply_name.empty() ? sdRef->name : script.reply_name;
    const std::string regtype = sdRef->regtype;
    sdRef->callback(sdRef, 0, script.reply_error, name.c_str(), regtype.c_str(),
                    "local.", sdRef->context);
  }
  return script.process_error_after_reply;
}

void DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef) {
  Record(NewCall(__func__, sdRef));
  fake_dns_sd::State& state = GetState();
  {
    std::unique_lock<std::mutex> lock(state.mutex);
    fake_dns_sd::WaitForThaw(state, lock);
    if (!state.live.erase(sdRef)) {
      ++state.bad_deallocations;
      return;
    }
  }
  close(sdRef->fd);
  delete sdRef;
}

DNSServiceErrorType DNSSD_API DNSServiceUpdateRecord(DNSServiceRef sdRef,
                                                     DNSRecordRef RecordRef,
                                                     DNSServiceFlags flags,
                                                     uint16_t rdlen,
                                                     const void* rdata,
                                                     uint32_t ttl) {
  fake_dns_sd::Call call = NewCall(__func__, sdRef);
  call.record_ref_null = !RecordRef;
  call.flags = flags;
  call.txt_null = !rdata;
  if (rdata)
    call.txt.assign(static_cast<const char*>(rdata), rdlen);
  call.ttl = ttl;
  fake_dns_sd::State& state = GetState();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    call.result = sdRef->lost ? sdRef->loss_error : state.update_error;
  }
  Record(call);
  return call.result;
}
