// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Makes the responder's own registrations (an instance registered again
// after its daemon came back) on a thread of their own ("MdnsRegister")
// while the responder's thread waits. The client library connects to the
// daemon inside DNSServiceRegister and waits for a daemon that froze as it
// started for as long as the system bus lets it (25 s); the responder's
// owner must not wait that long to shut down.
//
//   Registrar registrar;
//   DNSServiceRef ref;
//   std::optional<DNSServiceErrorType> error = registrar.Register(args, &ref);
//   if (!error) ...  // Interrupted: nothing was registered for the caller.
//
//   registrar.Interrupt();  // From any thread, when shutting down.
//
// An interrupted call goes on by itself and withdraws whatever it
// registered once the daemon answers; its thread, its memory and this
// library's code stay for it.
#ifndef PLATFORM_NET_BONJOUR_REGISTRAR_H_
#define PLATFORM_NET_BONJOUR_REGISTRAR_H_

#include <dns_sd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/synchronization.h"

namespace assistant_reference {

class Registrar {
 public:
  // DNSServiceRegister's arguments the responder uses, kept by value: an
  // interrupted call outlives its caller's strings.
  struct Arguments {
    std::string name;
    std::string type;
    uint16_t port_network_order = 0;
    std::string txt_record;
    DNSServiceRegisterReply reply = nullptr;
    // Handed to |reply|, which the library may call inside the
    // registration itself; |context_owner| keeps it alive for an abandoned
    // call.
    void* context = nullptr;
    std::shared_ptr<void> context_owner;
  };

  Registrar();
  Registrar(const Registrar&) = delete;
  Registrar& operator=(const Registrar&) = delete;
  // Interrupts; a call under way is left to its thread.
  ~Registrar();

  // DNSServiceRegister(|arguments|) on the registrar's thread: its error,
  // with |*ref| set on success, or nothing once interrupted. One caller at a
  // time.
  std::optional<DNSServiceErrorType> Register(const Arguments& arguments,
                                              DNSServiceRef* ref);
  // Any thread: ends the wait under way, and every later Register returns
  // at once.
  void Interrupt();

 private:
  struct Call;

  core::Mutex mutex_;
  bool interrupted_ CORE_GUARDED_BY(mutex_) = false;
  std::shared_ptr<Call> current_ CORE_GUARDED_BY(mutex_);
};

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_REGISTRAR_H_
