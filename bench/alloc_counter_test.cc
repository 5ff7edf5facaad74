// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/alloc_counter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {
namespace {

// Escaping through a volatile global keeps the compiler from eliding the
// allocations under test.
void* volatile g_sink;

TEST(AllocCounterTest, CountsThisThreadsAllocationsOnly) {
  const uint64_t before = AllocationsOnThisThread();
  std::vector<int> numbers(100);
  g_sink = numbers.data();
  std::string text(100, 'x');
  g_sink = &text[0];
  EXPECT_EQ(AllocationsOnThisThread() - before, 2u);

  std::thread other([] {
    for (int i = 0; i < 10; ++i) {
      std::vector<int> elsewhere(100);
      g_sink = elsewhere.data();
    }
  });
  const uint64_t started = AllocationsOnThisThread();
  other.join();
  EXPECT_EQ(AllocationsOnThisThread(), started);
}

TEST(AllocCounterTest, CountsAllocationsInsideTheStandardLibrary) {
  // str() is compiled into the shared standard library: only an operator new
  // that the executable exports sees its allocation.
  std::ostringstream stream;
  stream << std::string(100, 'y');
  const uint64_t before = AllocationsOnThisThread();
  std::string copy = stream.str();
  g_sink = &copy[0];
  EXPECT_GE(AllocationsOnThisThread() - before, 1u);
}

}  // namespace
}  // namespace bench
