// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/synchronization.h"

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

void CondVar::Signal() {
  CHECK(0 == pthread_cond_signal(&handle_));
}

void CondVar::Broadcast() {
  CHECK(0 == pthread_cond_broadcast(&handle_));
}

}  // namespace core
