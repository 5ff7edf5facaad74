// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/thread.h"

#include <sys/prctl.h>

#include <atomic>
#include <string>

#include "gtest/gtest.h"

namespace core {
namespace {

std::string CurrentThreadName() {
  char name[16] = {};
  prctl(PR_GET_NAME, name);
  return name;
}

TEST(ThreadTest, LoopReturningFalseRunsOnceAndJoins) {
  Thread thread("Once");
  int runs = 0;
  EXPECT_EQ(Thread::State::NEW, thread.state());
  thread.Start([&] {
    ++runs;
    return false;
  });
  thread.Join();
  EXPECT_EQ(1, runs);
  EXPECT_EQ(Thread::State::JOINED, thread.state());
  thread.Join();  // A second join does nothing.
  EXPECT_EQ(Thread::State::JOINED, thread.state());
}

TEST(ThreadTest, JoinOnNewThreadDoesNothing) {
  Thread thread("Never");
  thread.Join();
  EXPECT_EQ(Thread::State::NEW, thread.state());
}

TEST(ThreadTest, LoopRunsUntilFalse) {
  Thread thread("Counter");
  int runs = 0;
  thread.Start([&] { return ++runs < 5; });
  thread.Join();
  EXPECT_EQ(5, runs);
}

TEST(ThreadTest, NamesItselfBeforeTheLoopAndKeeps15Bytes) {
  Thread thread("TwentyCharacterName!");
  std::string seen;
  thread.Start([&] {
    seen = CurrentThreadName();
    return false;
  });
  thread.Join();
  EXPECT_EQ("TwentyCharacter", seen);
}

TEST(ThreadTest, IsCurrentThreadInsideLoopOnly) {
  Thread thread("Current");
  bool inside = false;
  thread.Start([&] {
    inside = thread.IsCurrentThread();
    return false;
  });
  thread.Join();
  EXPECT_TRUE(inside);
  EXPECT_FALSE(thread.IsCurrentThread());
}

using ThreadDeathTest = ::testing::Test;

TEST_F(ThreadDeathTest, StartTwiceIsFatal) {
  EXPECT_DEATH(
      {
        Thread thread("Twice");
        thread.Start([] { return false; });
        thread.Start([] { return false; });
      },
      "thread.cc\\([0-9]+\\)\\] Failed: State::NEW == state_ ");
  EXPECT_DEATH(
      {
        Thread thread("AfterJoin");
        thread.Start([] { return false; });
        thread.Join();
        thread.Start([] { return false; });
      },
      "Failed: State::NEW == state_ ");
}

TEST_F(ThreadDeathTest, DestroyingARunningThreadIsFatal) {
  EXPECT_DEATH(
      {
        Thread thread("Running");
        std::atomic<bool> stop{false};
        thread.Start([&] { return !stop.load(); });
      },
      "Failed: State::RUNNING != state_ ");
}

TEST_F(ThreadDeathTest, DestroyingNewOrJoinedThreadIsSilent) {
  { Thread never("Never"); }
  {
    Thread joined("Joined");
    joined.Start([] { return false; });
    joined.Join();
  }
  SUCCEED();
}

}  // namespace
}  // namespace core
