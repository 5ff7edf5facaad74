// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/registrar.h"

#include <pthread.h>

#include <thread>
#include <utility>

#include "platform/net/bonjour/library_pin.h"

namespace assistant_reference {

// Shared by the caller and the call's thread, whichever goes last frees it.
struct Registrar::Call {
  Call() : changed(&mutex) {}

  core::Mutex mutex;
  core::CondVar changed;
  bool done CORE_GUARDED_BY(mutex) = false;
  bool interrupted CORE_GUARDED_BY(mutex) = false;
  // The caller stopped waiting: the thread withdraws what it made.
  bool abandoned CORE_GUARDED_BY(mutex) = false;
  DNSServiceErrorType error CORE_GUARDED_BY(mutex) = kDNSServiceErr_NoError;
  DNSServiceRef ref CORE_GUARDED_BY(mutex) = nullptr;
};

Registrar::Registrar() = default;

Registrar::~Registrar() {
  Interrupt();
}

std::optional<DNSServiceErrorType> Registrar::Register(
    const Arguments& arguments,
    DNSServiceRef* ref) {
  auto call = std::make_shared<Call>();
  {
    core::AutoLock lock(&mutex_);
    if (interrupted_)
      return std::nullopt;
    current_ = call;
  }
  std::thread thread([call, arguments] {
    pthread_setname_np(pthread_self(), "MdnsRegister");
    DNSServiceRef made = nullptr;
    const DNSServiceErrorType error = DNSServiceRegister(
        &made, /*flags=*/0, /*interfaceIndex=*/0, arguments.name.c_str(),
        arguments.type.c_str(), /*domain=*/nullptr, /*host=*/nullptr,
        arguments.port_network_order,
        static_cast<uint16_t>(arguments.txt_record.size()),
        arguments.txt_record.data(), arguments.reply, arguments.context);
    {
      core::AutoLock lock(&call->mutex);
      if (!call->abandoned) {
        call->done = true;
        call->error = error;
        call->ref = made;
        call->changed.Broadcast();
        return;
      }
    }
    if (error == kDNSServiceErr_NoError && made)
      DNSServiceRefDeallocate(made);
  });
  bool done;
  {
    core::AutoLock lock(&call->mutex);
    while (!call->done && !call->interrupted)
      call->changed.Wait();
    done = call->done;
    call->abandoned = !done;
    if (done) {
      *ref = call->ref;
      call->ref = nullptr;
    }
  }
  {
    core::AutoLock lock(&mutex_);
    current_.reset();
  }
  if (!done) {
    PinThisLibrary();
    thread.detach();
    return std::nullopt;
  }
  thread.join();
  core::AutoLock lock(&call->mutex);
  return call->error;
}

void Registrar::Interrupt() {
  std::shared_ptr<Call> call;
  {
    core::AutoLock lock(&mutex_);
    interrupted_ = true;
    call = current_;
  }
  if (!call)
    return;
  core::AutoLock lock(&call->mutex);
  call->interrupted = true;
  call->changed.Broadcast();
}

}  // namespace assistant_reference
