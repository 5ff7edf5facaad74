// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Deallocates DNS-SD references on a thread of its own ("MdnsRelease").
// Deallocating a registration asks the daemon to withdraw it, and the client
// library waits for the answer with no bound of its own but the system bus's
// (25 s): a daemon that is stopped, frozen or swapping must neither hold the
// responder's thread, which answers the host, nor its owner's shutdown.
//
//   ReferenceReleaser releaser(std::chrono::seconds(2));
//   releaser.Release(ref);  // returns at once
//   ...                     // the destructor waits up to 2 s
//
// References are deallocated one at a time, in the order given. When the
// wait runs out, the destructor logs that the withdrawal was abandoned and
// leaves the thread to go on by itself until its last reference is
// deallocated; its memory and this library's code stay for it.
#ifndef PLATFORM_NET_BONJOUR_REFERENCE_RELEASER_H_
#define PLATFORM_NET_BONJOUR_REFERENCE_RELEASER_H_

#include <dns_sd.h>

#include <chrono>

namespace assistant_reference {

class ReferenceReleaser {
 public:
  // The destructor waits up to |finish_wait| for the deallocations.
  explicit ReferenceReleaser(std::chrono::milliseconds finish_wait);
  ReferenceReleaser(const ReferenceReleaser&) = delete;
  ReferenceReleaser& operator=(const ReferenceReleaser&) = delete;
  ~ReferenceReleaser();

  // Takes ownership of |ref|; the thread starts on first use. Calls come
  // from one thread at a time.
  void Release(DNSServiceRef ref);

 private:
  struct State;

  const std::chrono::milliseconds finish_wait_;
  State* state_;  // Owned, unless the destructor left it to its thread.
};

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_REFERENCE_RELEASER_H_
