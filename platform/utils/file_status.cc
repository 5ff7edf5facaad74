// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/file_status.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace assistant_reference {
namespace {

bool Statx(int dir_fd, const char* name, int flags, FileStatus* status) {
  struct statx stx;
  // glibc falls back to fstatat() where the kernel lacks statx(); only
  // then can a far time still overflow.
  if (statx(dir_fd, name, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS,
            &stx) != 0) {
    return false;
  }
  status->mode = stx.stx_mode;
  status->uid = stx.stx_uid;
  status->gid = stx.stx_gid;
  status->size = stx.stx_size;
  status->device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  status->inode = stx.stx_ino;
  status->links = stx.stx_nlink;
  status->modified_seconds = stx.stx_mtime.tv_sec;
  status->modified_nanoseconds = stx.stx_mtime.tv_nsec;
  status->changed_seconds = stx.stx_ctime.tv_sec;
  status->changed_nanoseconds = stx.stx_ctime.tv_nsec;
  return true;
}

}  // namespace

bool StatusOf(const std::string& path, bool follow, FileStatus* status) {
  return Statx(AT_FDCWD, path.c_str(), follow ? 0 : AT_SYMLINK_NOFOLLOW,
               status);
}

bool StatusOfDescriptor(int fd, FileStatus* status) {
  return Statx(fd, "", AT_EMPTY_PATH, status);
}

bool StatusAt(int dir_fd, const char* name, bool follow, FileStatus* status) {
  return Statx(dir_fd, name, follow ? 0 : AT_SYMLINK_NOFOLLOW, status);
}

}  // namespace assistant_reference
