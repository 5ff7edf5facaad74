// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Proves the fatal messages of the POSIX wrappers by making the wrapped
// calls fail. The test binary is linked with --wrap for each call, so only
// this binary sees the injected failures.
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>

#include <atomic>

#include "core/synchronization.h"
#include "core/thread.h"
#include "gtest/gtest.h"

namespace {
// Name of the call that fails next; empty means pass everything through.
// Read by the threads the tests start, hence atomic.
std::atomic<const char*> g_fail{""};
bool Fails(const char* name) {
  return __builtin_strcmp(g_fail.load(), name) == 0;
}
}  // namespace

extern "C" {
int __real_pthread_mutex_lock(pthread_mutex_t*);
int __real_pthread_mutex_unlock(pthread_mutex_t*);
int __real_pthread_cond_wait(pthread_cond_t*, pthread_mutex_t*);
int __real_pthread_cond_signal(pthread_cond_t*);
int __real_pthread_cond_broadcast(pthread_cond_t*);
int __real_pthread_create(pthread_t*,
                          const pthread_attr_t*,
                          void* (*)(void*),
                          void*);
int __real_pthread_join(pthread_t, void**);
int __real_prctl(int, ...);

int __wrap_pthread_mutex_lock(pthread_mutex_t* m) {
  return Fails("lock") ? EINVAL : __real_pthread_mutex_lock(m);
}
int __wrap_pthread_mutex_unlock(pthread_mutex_t* m) {
  return Fails("unlock") ? EPERM : __real_pthread_mutex_unlock(m);
}
int __wrap_pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  return Fails("wait") ? EINVAL : __real_pthread_cond_wait(c, m);
}
int __wrap_pthread_cond_signal(pthread_cond_t* c) {
  return Fails("signal") ? EINVAL : __real_pthread_cond_signal(c);
}
int __wrap_pthread_cond_broadcast(pthread_cond_t* c) {
  return Fails("broadcast") ? EINVAL : __real_pthread_cond_broadcast(c);
}
int __wrap_pthread_create(pthread_t* t,
                          const pthread_attr_t* a,
                          void* (*fn)(void*),
                          void* arg) {
  return Fails("create") ? EAGAIN : __real_pthread_create(t, a, fn, arg);
}
int __wrap_pthread_join(pthread_t t, void** r) {
  return Fails("join") ? ESRCH : __real_pthread_join(t, r);
}
// Reads only PR_SET_NAME's argument: the one call the code under test makes.
int FakePrctl(int (*real)(int, ...), int option, va_list args) {
  unsigned long arg2 = va_arg(args, unsigned long);
  if (Fails("prctl-eperm")) {
    errno = EPERM;
    return -1;
  }
  if (Fails("prctl")) {
    errno = EINVAL;
    return -1;
  }
  return real(option, arg2, 0ul, 0ul, 0ul);
}
int __wrap_prctl(int option, ...) {
  va_list args;
  va_start(args, option);
  int result = FakePrctl(&__real_prctl, option, args);
  va_end(args);
  return result;
}
#ifdef __USE_TIME_BITS64
// With 64-bit time on a 32-bit target the header redirects prctl here.
int __real___prctl_time64(int, ...);
int __wrap___prctl_time64(int option, ...) {
  va_list args;
  va_start(args, option);
  int result = FakePrctl(&__real___prctl_time64, option, args);
  va_end(args);
  return result;
}
#endif
}  // extern "C"

namespace core {
namespace {

using CheckMessagesDeathTest = ::testing::Test;

TEST_F(CheckMessagesDeathTest, MutexAndCondVar) {
  EXPECT_DEATH(
      {
        Mutex mutex;
        g_fail = "lock";
        AutoLock lock(&mutex);  // Scoped: the analysis sees no lock leak.
      },
      "synchronization.cc\\([0-9]+\\)\\] Failed: 0 == "
      "pthread_mutex_lock\\(&handle_\\) \n");
  EXPECT_DEATH(
      {
        Mutex mutex;
        mutex.Acquire();
        g_fail = "unlock";
        mutex.Release();
      },
      "Failed: 0 == pthread_mutex_unlock\\(&handle_\\) \n");
  EXPECT_DEATH(
      {
        Mutex mutex;
        CondVar cond(&mutex);
        AutoLock lock(&mutex);
        g_fail = "wait";
        cond.Wait();
      },
      "Failed: 0 == pthread_cond_wait\\(&handle_, &mutex_->handle_\\) \n");
  EXPECT_DEATH(
      {
        Mutex mutex;
        CondVar cond(&mutex);
        g_fail = "signal";
        cond.Signal();
      },
      "Failed: 0 == pthread_cond_signal\\(&handle_\\) \n");
  EXPECT_DEATH(
      {
        Mutex mutex;
        CondVar cond(&mutex);
        g_fail = "broadcast";
        cond.Broadcast();
      },
      "Failed: 0 == pthread_cond_broadcast\\(&handle_\\) \n");
}

TEST_F(CheckMessagesDeathTest, Thread) {
  EXPECT_DEATH(
      {
        Thread thread("NoCreate");
        g_fail = "create";
        thread.Start([] { return false; });
      },
      "thread.cc\\([0-9]+\\)\\] Failed: 0 == pthread_create\\(&handle_, "
      "__null, &Thread::Entry, this\\) \n");
  EXPECT_DEATH(
      {
        Thread thread("NoJoin");
        thread.Start([] { return false; });
        g_fail = "join";
        thread.Join();
      },
      "Failed: 0 == pthread_join\\(handle_, __null\\) \n");
  EXPECT_DEATH(
      {
        g_fail = "prctl";
        Thread thread("NoName");
        thread.Start([] { return false; });
        thread.Join();
      },
      "Failed: err == 0 \\|\\| errno == EPERM prctl\\(PR_SET_NAME\\)\n");
}

TEST(CheckMessagesTest, RefusedThreadNameIsTolerated) {
  g_fail = "prctl-eperm";
  Thread thread("Refused");
  int runs = 0;
  thread.Start([&] {
    ++runs;
    return false;
  });
  thread.Join();
  g_fail = "";
  EXPECT_EQ(1, runs);
}

}  // namespace
}  // namespace core
