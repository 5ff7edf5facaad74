// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What stat() tells of a file, read with statx(): its times are 64-bit
// whatever the build's time_t, so a file dated past January 2038 (a wrong
// clock, or 2038 itself) on a 32-bit device is still a file, where stat()
// built with a 32-bit time_t fails with EOVERFLOW.
//
//   FileStatus status;
//   if (StatusOf(path, /*follow=*/true, &status) && status.IsRegular()) ...
#ifndef PLATFORM_UTILS_FILE_STATUS_H_
#define PLATFORM_UTILS_FILE_STATUS_H_

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace assistant_reference {

struct FileStatus {
  bool IsRegular() const { return S_ISREG(mode); }
  bool IsDirectory() const { return S_ISDIR(mode); }
  bool IsLink() const { return S_ISLNK(mode); }
  // The same file: device and inode.
  bool SameFile(const FileStatus& other) const {
    return device == other.device && inode == other.inode;
  }

  uint32_t mode = 0;  // As st_mode.
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint64_t size = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t links = 0;
  int64_t modified_seconds = 0;
  uint32_t modified_nanoseconds = 0;
  int64_t changed_seconds = 0;
  uint32_t changed_nanoseconds = 0;
};

// stat() (|follow|) or lstat() of |path|; false, with errno set, when it
// fails.
bool StatusOf(const std::string& path, bool follow, FileStatus* status);
// fstat() of |fd|.
bool StatusOfDescriptor(int fd, FileStatus* status);
// fstatat() of |name| in the folder |dir_fd|.
bool StatusAt(int dir_fd, const char* name, bool follow, FileStatus* status);

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_FILE_STATUS_H_
