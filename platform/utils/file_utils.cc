// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/file_utils.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#include "core/eintr_wrapper.h"
#include "core/logging.h"
#include "platform/utils/file_status.h"
#include "platform/utils/file_utils_internal.h"

namespace assistant_reference {
namespace {

constexpr char kWhitespace[] = "\n\t\r\f ";

std::string GetRootPath() {
  if (const char* xdg = getenv("XDG_CONFIG_HOME"))
    return xdg;
  if (const char* home = getenv("HOME"))
    return std::string(home) + "/.config";
  return "/tmp";
}

bool FileExists(const std::string& path) {
  FileStatus status;
  return StatusOf(path, /*follow=*/true, &status);
}

// The folder that holds |path|'s name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the names created, renamed or removed in |folder| durable: until the
// folder itself is synced, a power cut may bring back its old entries even
// though the file data behind a new name is on disk. File systems that cannot
// sync a folder (EINVAL) keep no such state to lose.
bool SyncFolder(const std::string& folder) {
  const int fd =
      HANDLE_EINTR(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd < 0)
    return false;
  const bool synced = HANDLE_EINTR(fsync(fd)) == 0 || errno == EINVAL;
  const int sync_errno = errno;
  close(fd);
  errno = sync_errno;
  return synced;
}

bool MakeParentFolders(const std::string& path) {
  if (FileExists(path))
    return true;
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) == 0) {
      // A folder lost to a power cut would take the file with it.
      if (!SyncFolder(FolderOf(folder)))
        return false;
    } else if (errno != EEXIST) {
      return false;
    }
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) == 0)
    return true;
  LOG(WARNING) << "Failed to rename '" << from << "' to '" << to << "'";
  return false;
}

std::string Trim(std::string text) {
  text.erase(0, text.find_first_not_of(kWhitespace));
  size_t last = text.find_last_not_of(kWhitespace);
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

// Opens |path| for reading when it is a regular file, checked on the same
// descriptor that is read: a FIFO or device swapped in under the name must
// neither block the open nor be read. -1 otherwise.
int OpenRegularFile(const std::string& path, FileStatus* status) {
  const int fd =
      HANDLE_EINTR(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd < 0)
    return -1;
  if (!StatusOfDescriptor(fd, status) || !status->IsRegular()) {
    close(fd);
    return -1;
  }
  return fd;
}

// Appends up to |limit| bytes of |fd| to |*out|, and one more if there is
// one, so that the caller can tell a file larger than |limit|. False on a
// read error or when memory runs out.
bool ReadAll(int fd, size_t limit, size_t size_hint, std::string* out) {
  try {
    out->reserve(std::min(limit, size_hint) + 1);
    char buffer[16384];
    while (out->size() <= limit) {
      const size_t want = std::min(sizeof(buffer), limit + 1 - out->size());
      const ssize_t got = HANDLE_EINTR(read(fd, buffer, want));
      if (got < 0)
        return false;
      if (got == 0)
        break;
      out->append(buffer, static_cast<size_t>(got));
    }
    return true;
  } catch (const std::bad_alloc&) {
    // A file larger than the memory left reads as unreadable: nothing here
    // may throw into a caller on the other side of the C boundary.
    out->clear();
    out->shrink_to_fit();
    return false;
  }
}

// Reads the whole regular file, or nothing.
bool ReadWhole(const std::string& path, std::string* contents) {
  contents->clear();
  FileStatus status;
  const int fd = OpenRegularFile(path, &status);
  if (fd < 0)
    return false;
  const bool read = ReadAll(fd, std::string().max_size() - 1,
                            static_cast<size_t>(status.size), contents);
  close(fd);
  if (!read)
    contents->clear();
  return read;
}

constexpr char kTemporaryInfix[] = ".tmp.";

// A name for |path|'s temporary sibling that no other writer uses:
// <path>.tmp.<pid>.<counter>.<nanoseconds, hex>.
std::string TemporaryName(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  char suffix[64];
  snprintf(suffix, sizeof(suffix), "%s%d.%u.%lx", kTemporaryInfix,
           static_cast<int>(getpid()), counter.fetch_add(1) + attempt,
           static_cast<unsigned long>(now.tv_nsec));
  return path + suffix;
}

// Whether |name| is one of TemporaryName()'s names for the file |base|.
bool IsTemporaryOf(const std::string& base, const char* name) {
  const size_t prefix = base.size() + sizeof(kTemporaryInfix) - 1;
  if (strncmp(name, base.c_str(), base.size()) != 0 ||
      strncmp(name + base.size(), kTemporaryInfix,
              sizeof(kTemporaryInfix) - 1) != 0) {
    return false;
  }
  // Two decimal fields and a hexadecimal one, each non-empty.
  const char* at = name + prefix;
  for (int field = 0; field < 3; ++field) {
    const char* start = at;
    while (field < 2 ? isdigit(static_cast<unsigned char>(*at))
                     : isxdigit(static_cast<unsigned char>(*at))) {
      ++at;
    }
    if (at == start || *at != (field < 2 ? '.' : '\0'))
      return false;
    if (field < 2)
      ++at;
  }
  return true;
}

// Removes the temporaries of |path| that writers killed mid-write (or by a
// power cut) left behind. A live writer holds an exclusive flock() on its
// temporary from before anyone could open it by name until after its rename;
// the kernel drops the lock when the writer dies, so a temporary whose lock
// can be taken has no writer left.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const size_t slash = path.rfind('/');
  const std::string base =
      slash == std::string::npos ? path : path.substr(slash + 1);
  DIR* dir = opendir(folder.c_str());
  if (!dir)
    return;
  const int dir_fd = dirfd(dir);
  while (struct dirent* entry = readdir(dir)) {
    if (!IsTemporaryOf(base, entry->d_name))
      continue;
    const int fd = HANDLE_EINTR(openat(
        dir_fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
      continue;
    FileStatus held, named;
    if (HANDLE_EINTR(flock(fd, LOCK_EX | LOCK_NB)) == 0 &&
        StatusOfDescriptor(fd, &held) && held.IsRegular() &&
        StatusAt(dir_fd, entry->d_name, /*follow=*/false, &named) &&
        held.SameFile(named)) {
      unlinkat(dir_fd, entry->d_name, 0);
    }
    close(fd);
  }
  closedir(dir);
}

// A temporary being written: |fd| writes it; |lock_fd|, opened read-only,
// holds the flock() that RemoveStaleTemporaries() respects. Read-only so that
// closing it after the rename, when the temporary has the file's name,
// raises no close-after-write event on that name for watchers.
struct Temporary {
  std::string name;
  int fd = -1;
  int lock_fd = -1;
};

// Creates |path|'s temporary sibling exclusively and never through a link
// planted under its name, and locks it; the mode comes from the umask, as
// for any new file. False when none can be made.
bool CreateTemporary(const std::string& path, Temporary* temp) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    temp->name = TemporaryName(path, attempt);
    temp->fd = HANDLE_EINTR(
        open(temp->name.c_str(),
             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (temp->fd < 0) {
      if (errno != EEXIST)
        return false;
      continue;
    }
    temp->lock_fd = HANDLE_EINTR(
        open(temp->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    // Another writer's cleanup may have opened the new name first: then it
    // holds the lock, or has already unlinked the file (no links left).
    FileStatus written, locked;
    if (temp->lock_fd >= 0 &&
        HANDLE_EINTR(flock(temp->lock_fd, LOCK_EX | LOCK_NB)) == 0 &&
        StatusOfDescriptor(temp->fd, &written) &&
        StatusOfDescriptor(temp->lock_fd, &locked) &&
        written.SameFile(locked) && locked.links > 0) {
      return true;
    }
    if (temp->lock_fd >= 0)
      close(temp->lock_fd);
    close(temp->fd);
    temp->lock_fd = temp->fd = -1;
  }
  return false;
}

bool WriteAll(int fd, const std::string& contents) {
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t wrote =
        HANDLE_EINTR(write(fd, contents.data() + done, contents.size() - done));
    if (wrote <= 0)
      return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

}  // namespace

std::string GetAssistantRootPath() {
  return GetRootPath() + "/vantor-data";
}

std::string ReadFile(const std::string& path, bool trim) {
  std::string contents;
  if (!ReadWhole(path, &contents))
    return std::string();
  return trim ? Trim(std::move(contents)) : contents;
}

std::string ktl_ReadFile(const std::string& path, bool trim) {
  std::string contents;
  if (!ReadWhole(path, &contents))
    return std::string();
  std::string result;
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string::npos)
      end = contents.size();
    if (end == start || contents[start] != '#')
      result.append(contents, start, end - start);
    start = end + 1;
  }
  return trim ? Trim(std::move(result)) : result;
}

bool ReadFileBounded(const std::string& path,
                     size_t max_bytes,
                     std::string* contents) {
  contents->clear();
  FileStatus status;
  const int fd = OpenRegularFile(path, &status);
  if (fd < 0)
    return false;
  bool read = false;
  // The size is a hint only: the file may grow while it is read.
  if (status.size <= max_bytes)
    read = ReadAll(fd, max_bytes, static_cast<size_t>(status.size), contents);
  close(fd);
  if (!read || contents->size() > max_bytes) {
    contents->clear();
    return false;
  }
  return true;
}

std::string ReadStateWord(const std::string& path) {
  std::string contents;
  if (!ReadFileBounded(path, kMaxStateFileBytes, &contents))
    return std::string();
  return Trim(std::move(contents));
}

bool WriteFile(const std::string& path, const std::string& contents) {
  if (contents.empty()) {
    if (!FileExists(path))
      return true;
    if (remove(path.c_str()) == 0)
      return SyncFolder(FolderOf(path));
  }
  if (!MakeParentFolders(path))
    return false;
  RemoveStaleTemporaries(path);

  // Each writer has a temporary of its own, so that concurrent writers each
  // replace the file whole (the last one wins) and a temporary left by a
  // killed writer is in nobody's way until the next write removes it.
  Temporary temp;
  if (!CreateTemporary(path, &temp))
    return false;
  // A short write (full disk) or a failed flush must not replace good
  // contents. The data is synced before the rename and the folder after it,
  // so that once this returns true a power cut brings back the new contents,
  // never an empty file or the old ones. The lock is held until the
  // temporary's name is gone.
  bool written = WriteAll(temp.fd, contents);
  written = HANDLE_EINTR(fsync(temp.fd)) == 0 && written;
  written = close(temp.fd) == 0 && written;
  bool durable = false;
  if (written && ReplaceFile(temp.name, path)) {
    durable = SyncFolder(FolderOf(path));
  } else {
    unlink(temp.name.c_str());
  }
  const int saved_errno = errno;
  close(temp.lock_fd);
  errno = saved_errno;
  return durable;
}

}  // namespace assistant_reference
