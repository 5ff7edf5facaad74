// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// How death tests start their child process.
//
// The "threadsafe" style starts the child afresh by executing the test
// binary again, so it inherits no other thread's held lock. A user-mode
// emulator (the armhf tests under qemu) cannot execute the binary again by
// itself, so there the child is forked instead.
#ifndef TESTING_DEATH_TEST_STYLE_H_
#define TESTING_DEATH_TEST_STYLE_H_

#include "gtest/gtest.h"

namespace testing_support {

// Whether death-test children start as fresh processes.
#if defined(VANTOR_TEST_UNDER_EMULATOR)
constexpr bool kFreshDeathTestProcesses = false;
#else
constexpr bool kFreshDeathTestProcesses = true;
#endif

inline void UseFreshDeathTestProcesses() {
  GTEST_FLAG_SET(death_test_style,
                 kFreshDeathTestProcesses ? "threadsafe" : "fast");
}

}  // namespace testing_support

#endif  // TESTING_DEATH_TEST_STYLE_H_
