// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/thread.h"

#include <errno.h>
#include <sys/prctl.h>

#include <utility>

#include "core/logging.h"

namespace core {
namespace {

void SetThreadName(const std::string& name) {
  // The kernel keeps the first 15 bytes; EPERM (e.g. under a sandbox) is
  // harmless, anything else means a broken call.
  int err = prctl(PR_SET_NAME, name.c_str());
  CHECK(err == 0 || errno == EPERM) << "prctl(PR_SET_NAME)";
}

}  // namespace

Thread::Thread(const std::string& name)
    : name_(name), handle_(), state_(State::NEW) {}

Thread::~Thread() {
  CHECK(State::RUNNING != state_);
}

void Thread::Start(std::function<bool()> fn) {
  CHECK(State::NEW == state_);
  fn_ = std::move(fn);
  CHECK(0 == pthread_create(&handle_, __null, &Thread::Entry, this));
  state_ = State::RUNNING;
}

void Thread::Join() {
  if (state_ != State::RUNNING)
    return;
  CHECK(0 == pthread_join(handle_, __null));
  state_ = State::JOINED;
}

bool Thread::IsCurrentThread() const {
  return pthread_equal(handle_, pthread_self()) != 0;
}

// static
void* Thread::Entry(void* self) {
  CHECK(self) << "|this| is null.";
  static_cast<Thread*>(self)->Run();
  return NULL;
}

void Thread::Run() {
  SetThreadName(name_);
  while (fn_()) {
  }
}

}  // namespace core
