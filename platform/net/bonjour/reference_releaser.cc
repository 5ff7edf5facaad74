// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/reference_releaser.h"

#include <pthread.h>

#include <deque>
#include <vector>

#include "core/logging.h"
#include "core/synchronization.h"
#include "core/thread.h"
#include "platform/net/bonjour/library_pin.h"

namespace assistant_reference {

struct ReferenceReleaser::State {
  State() : changed(&mutex), thread("MdnsRelease") {}

  // Runs on |thread|: one reference per pass.
  bool DeallocateNext() {
    DNSServiceRef ref;
    {
      core::AutoLock lock(&mutex);
      while (pending.empty() && !finishing)
        changed.Wait();
      if (pending.empty()) {
        // Nobody joins a thread that was left behind.
        if (abandoned)
          pthread_detach(pthread_self());
        return false;
      }
      ref = pending.front();
    }
    DNSServiceRefDeallocate(ref);
    core::AutoLock lock(&mutex);
    pending.pop_front();
    changed.Broadcast();
    return true;
  }

  bool WaitIdle(std::chrono::steady_clock::time_point deadline) {
    core::AutoLock lock(&mutex);
    while (!pending.empty()) {
      if (!changed.WaitUntil(deadline) && !pending.empty())
        return false;
    }
    return true;
  }

  core::Mutex mutex;
  core::CondVar changed;  // |pending| shrank, or there is work.
  // Handed over, not yet deallocated; the front one is under way.
  std::deque<DNSServiceRef> pending CORE_GUARDED_BY(mutex);
  bool finishing CORE_GUARDED_BY(mutex) = false;
  // Set with |finishing|: the destructor did not wait for the rest.
  bool abandoned CORE_GUARDED_BY(mutex) = false;
  core::Thread thread;
};

ReferenceReleaser::ReferenceReleaser(std::chrono::milliseconds finish_wait)
    : finish_wait_(finish_wait), state_(new State()) {}

ReferenceReleaser::~ReferenceReleaser() {
  bool idle = state_->WaitIdle(std::chrono::steady_clock::now() + finish_wait_);
  size_t left;
  {
    core::AutoLock lock(&state_->mutex);
    left = state_->pending.size();
    idle = idle || left == 0;  // It may have caught up meanwhile.
    state_->finishing = true;
    state_->abandoned = !idle;
    state_->changed.Broadcast();
  }
  if (idle) {
    state_->thread.Join();
    delete state_;
    return;
  }
  LOG(WARNING) << "Withdrawal abandoned: the mDNS daemon did not answer within "
               << finish_wait_.count() << " ms; " << left
               << " service instance(s) are withdrawn once it answers";
  PinThisLibrary();
  // Reachable for as long as the process lives, as its thread needs.
  static core::Mutex* mutex = new core::Mutex();
  static auto* left_behind = new std::vector<State*>();
  core::AutoLock lock(mutex);
  left_behind->push_back(state_);
}

void ReferenceReleaser::Release(DNSServiceRef ref) {
  if (!ref)
    return;
  if (state_->thread.state() == core::Thread::State::NEW)
    state_->thread.Start([state = state_] { return state->DeallocateNext(); });
  core::AutoLock lock(&state_->mutex);
  state_->pending.push_back(ref);
  state_->changed.Broadcast();
}

}  // namespace assistant_reference
