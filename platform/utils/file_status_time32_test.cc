// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Built with a 32-bit time_t on purpose: code built so cannot stat() a file
// dated past January 2038 (EOVERFLOW), yet reads it all the same.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "gtest/gtest.h"
#include "platform/utils/file_status.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_utils_internal.h"
#include "testing/file_tree.h"

namespace assistant_reference {
namespace {

static_assert(sizeof(time_t) == 4, "this test is of a 32-bit time_t");

// 2040-03-01 00:00:00 UTC.
constexpr int64_t kIn2040 = 2214259200;

// utimensat_time64, which a 32-bit time_t cannot reach through libc.
bool DateFile(const std::string& path, int64_t seconds) {
  struct {
    int64_t seconds;
    int64_t nanoseconds;
  } times[2] = {{seconds, 0}, {seconds, 0}};
  return syscall(SYS_utimensat_time64, AT_FDCWD, path.c_str(), times, 0) == 0;
}

TEST(FileStatusTime32Test, AFileDatedPast2038IsStillRead) {
  char pattern[] = "/tmp/file_status_time32_test.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  const std::string path = dir + "/mic_state";
  ASSERT_TRUE(WriteFile(path, "off\n"));
  ASSERT_TRUE(DateFile(path, kIn2040));

  // What the code would see without statx(): the fault this guards against.
  struct stat st;
  EXPECT_NE(0, stat(path.c_str(), &st));
  EXPECT_EQ(EOVERFLOW, errno);

  FileStatus status;
  ASSERT_TRUE(StatusOf(path, /*follow=*/true, &status));
  EXPECT_EQ(kIn2040, status.modified_seconds);
  EXPECT_TRUE(status.IsRegular());
  EXPECT_EQ("off", ReadFile(path, true));
  // As the system plug-in reads the mute: "off" is muted.
  EXPECT_EQ("off", ReadStateWord(path));
  std::string bounded;
  EXPECT_TRUE(ReadFileBounded(path, 64, &bounded));
  EXPECT_EQ("off\n", bounded);
  // Written over, as a writer does every change.
  ASSERT_TRUE(WriteFile(path, "on\n"));
  EXPECT_EQ("on", ReadFile(path, true));
  EXPECT_TRUE(testing_support::RemoveTree(dir));
}

}  // namespace
}  // namespace assistant_reference
