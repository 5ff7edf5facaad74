// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/synchronization.h"

#include <errno.h>
#include <time.h>

#include <algorithm>
#include <limits>

#include "core/logging.h"

namespace core {

Mutex::Mutex() {
  pthread_mutex_init(&handle_, NULL);
}

Mutex::~Mutex() {
  pthread_mutex_destroy(&handle_);
}

void Mutex::Acquire() {
  CHECK(0 == pthread_mutex_lock(&handle_));
}

void Mutex::Release() {
  CHECK(0 == pthread_mutex_unlock(&handle_));
}

AutoLock::AutoLock(Mutex* mutex) : mutex_(mutex) {
  mutex_->Acquire();
}

AutoLock::~AutoLock() {
  mutex_->Release();
}

CondVar::CondVar(Mutex* mutex) : mutex_(mutex) {
  pthread_cond_init(&handle_, NULL);
}

CondVar::~CondVar() {
  pthread_cond_destroy(&handle_);
}

void CondVar::Wait() {
  CHECK(0 == pthread_cond_wait(&handle_, &mutex_->handle_));
}

bool CondVar::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  // steady_clock is CLOCK_MONOTONIC; a deadline beyond time_t (32 bits on
  // some targets) waits until the last second time_t holds.
  using std::chrono::duration_cast;
  using std::chrono::nanoseconds;
  using std::chrono::seconds;
  const nanoseconds since_epoch =
      std::max(nanoseconds::zero(), deadline.time_since_epoch());
  const seconds whole = duration_cast<seconds>(since_epoch);
  timespec at = {};
  if (whole.count() >= std::numeric_limits<time_t>::max()) {
    at.tv_sec = std::numeric_limits<time_t>::max();
  } else {
    at.tv_sec = static_cast<time_t>(whole.count());
    at.tv_nsec = static_cast<long>((since_epoch - whole).count());
  }
  const int result =
      pthread_cond_clockwait(&handle_, &mutex_->handle_, CLOCK_MONOTONIC, &at);
  CHECK(result == 0 || result == ETIMEDOUT);
  return result == 0;
}

void CondVar::Signal() {
  CHECK(0 == pthread_cond_signal(&handle_));
}

void CondVar::Broadcast() {
  CHECK(0 == pthread_cond_broadcast(&handle_));
}

}  // namespace core
