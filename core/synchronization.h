// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Mutex, scoped lock and condition variable over POSIX threads.
//
//   core::Mutex mutex_;
//   int count_ CORE_GUARDED_BY(mutex_) = 0;
//   void BumpLocked() CORE_REQUIRES(mutex_) { ++count_; }
//   ...
//   core::AutoLock lock(&mutex_);
//   BumpLocked();
//
// Every lock, unlock, wait and signal is a fatal CHECK: there are no error
// codes. Mutex is not recursive. A CondVar must die before its Mutex.
//
// The annotations are clang's thread-safety attributes: the clang-tsa preset
// builds with -Wthread-safety, so touching a guarded member without its lock,
// or calling a CORE_REQUIRES helper without it, fails that build. Other
// compilers ignore them.
#ifndef CORE_SYNCHRONIZATION_H_
#define CORE_SYNCHRONIZATION_H_

#include <pthread.h>

#include <chrono>

#if defined(__clang__)
#define CORE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define CORE_THREAD_ANNOTATION(x)
#endif

#define CORE_CAPABILITY(x) CORE_THREAD_ANNOTATION(capability(x))
#define CORE_SCOPED_CAPABILITY CORE_THREAD_ANNOTATION(scoped_lockable)
#define CORE_GUARDED_BY(x) CORE_THREAD_ANNOTATION(guarded_by(x))
#define CORE_ACQUIRE(...) \
  CORE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define CORE_RELEASE(...) \
  CORE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define CORE_REQUIRES(...) \
  CORE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The function takes the lock itself, so its caller must not hold it.
#define CORE_EXCLUDES(...) CORE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace core {

class CondVar;

class CORE_CAPABILITY("mutex") Mutex {
 public:
  Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  ~Mutex();

  void Acquire() CORE_ACQUIRE();
  void Release() CORE_RELEASE();

 private:
  friend class CondVar;
  pthread_mutex_t handle_;
};

// Holds |mutex| for the enclosing scope.
class CORE_SCOPED_CAPABILITY AutoLock {
 public:
  explicit AutoLock(Mutex* mutex) CORE_ACQUIRE(mutex);
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() CORE_RELEASE();

 private:
  Mutex* const mutex_;
};

class CondVar {
 public:
  // |mutex| is not owned and must outlive this object.
  explicit CondVar(Mutex* mutex);
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;
  ~CondVar();

  // Releases the mutex while waiting; wake-ups may be spurious, so callers
  // test their condition in a loop. The caller holds the mutex given at
  // construction; the analysis cannot tie the two, so it is not annotated.
  void Wait();
  // As Wait(), up to |deadline| of the monotonic clock: false when the
  // deadline passed without a wake-up.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);
  void Signal();
  void Broadcast();

 private:
  Mutex* const mutex_;
  pthread_cond_t handle_;
};

}  // namespace core

#endif  // CORE_SYNCHRONIZATION_H_
