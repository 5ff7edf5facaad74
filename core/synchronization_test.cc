// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/synchronization.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "gtest/gtest.h"

namespace core {
namespace {

TEST(SynchronizationTest, AutoLockScopesNeverOverlap) {
  Mutex mutex;
  int inside = 0;
  int max_inside = 0;
  long long total = 0;
  auto worker = [&] {
    for (int i = 0; i < 20000; ++i) {
      AutoLock lock(&mutex);
      max_inside = std::max(max_inside, ++inside);
      ++total;
      --inside;
    }
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  EXPECT_EQ(1, max_inside);
  EXPECT_EQ(40000, total);
}

TEST(SynchronizationTest, WaitReleasesTheMutexUntilSignalled) {
  Mutex mutex;
  CondVar cond(&mutex);
  bool ready = false;
  bool seen = false;
  std::thread waiter([&] {
    AutoLock lock(&mutex);
    while (!ready)
      cond.Wait();
    seen = true;
  });
  {
    // Entering here proves the waiter released the mutex inside Wait().
    AutoLock lock(&mutex);
    ready = true;
    cond.Signal();
  }
  waiter.join();
  EXPECT_TRUE(seen);
}

TEST(SynchronizationTest, BroadcastWakesEveryWaiter) {
  Mutex mutex;
  CondVar cond(&mutex);
  bool go = false;
  int waiting = 0;
  std::atomic<int> woken{0};
  std::thread threads[3];
  for (auto& t : threads) {
    t = std::thread([&] {
      AutoLock lock(&mutex);
      ++waiting;
      while (!go)
        cond.Wait();
      ++woken;
    });
  }
  for (;;) {
    AutoLock lock(&mutex);
    if (waiting == 3) {
      go = true;
      cond.Broadcast();
      break;
    }
  }
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(3, woken.load());
}

TEST(SynchronizationTest, WaitUntilPassesItsDeadlineUnsignalled) {
  using Clock = std::chrono::steady_clock;
  Mutex mutex;
  CondVar cond(&mutex);
  AutoLock lock(&mutex);
  EXPECT_FALSE(cond.WaitUntil(Clock::now() - std::chrono::seconds(1)));
  EXPECT_FALSE(cond.WaitUntil(Clock::time_point()));  // The clock's epoch.
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(30);
  while (cond.WaitUntil(deadline)) {
    // Spurious wake-ups read as true; only the deadline ends the loop.
  }
  EXPECT_GE(Clock::now(), deadline);
}

// A signal ends the wait long before the deadline, also one too far ahead
// for time_t: a deadline read as past would answer false at once.
TEST(SynchronizationTest, WaitUntilWakesOnSignalBeforeDistantDeadlines) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadlines[] = {Clock::now() + std::chrono::hours(1),
                                         Clock::time_point::max()};
  for (const Clock::time_point deadline : deadlines) {
    Mutex mutex;
    CondVar cond(&mutex);
    bool waiting = false;
    bool ready = false;
    int timeouts = 0;
    std::thread waiter([&] {
      AutoLock lock(&mutex);
      waiting = true;
      cond.Signal();
      while (!ready)
        timeouts += !cond.WaitUntil(deadline);
    });
    {
      AutoLock lock(&mutex);
      while (!waiting)
        cond.Wait();
      ready = true;
      cond.Signal();
    }
    waiter.join();
    EXPECT_EQ(0, timeouts) << deadline.time_since_epoch().count();
  }
}

}  // namespace
}  // namespace core
