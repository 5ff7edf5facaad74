// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/file_utils.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#include "core/logging.h"
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
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool MakeParentFolders(const std::string& path) {
  if (FileExists(path))
    return true;
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
      return false;
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
int OpenRegularFile(const std::string& path, struct stat* st) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
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
      ssize_t got = read(fd, buffer, want);
      if (got < 0 && errno == EINTR)
        continue;
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
  struct stat st;
  const int fd = OpenRegularFile(path, &st);
  if (fd < 0)
    return false;
  const bool read = ReadAll(fd, std::string().max_size() - 1,
                            static_cast<size_t>(st.st_size), contents);
  close(fd);
  if (!read)
    contents->clear();
  return read;
}

// A name for |path|'s temporary sibling that no other writer uses.
std::string TemporaryName(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  char suffix[64];
  snprintf(suffix, sizeof(suffix), ".tmp.%d.%u.%lx", static_cast<int>(getpid()),
           counter.fetch_add(1) + attempt,
           static_cast<unsigned long>(now.tv_nsec));
  return path + suffix;
}

// Creates |path|'s temporary sibling exclusively and never through a link
// planted under its name; the mode comes from the umask, as for any new
// file. -1 when none can be made.
int CreateTemporary(const std::string& path, std::string* temp) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    *temp = TemporaryName(path, attempt);
    int fd = open(temp->c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0)
      return fd;
    if (errno != EEXIST && errno != EINTR)
      return -1;
  }
  return -1;
}

bool WriteAll(int fd, const std::string& contents) {
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t wrote = write(fd, contents.data() + done, contents.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
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
  struct stat st;
  const int fd = OpenRegularFile(path, &st);
  if (fd < 0)
    return false;
  bool read = false;
  // The size is a hint only: the file may grow while it is read.
  if (static_cast<uintmax_t>(st.st_size) <= max_bytes)
    read = ReadAll(fd, max_bytes, static_cast<size_t>(st.st_size), contents);
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
    if (!FileExists(path) || remove(path.c_str()) == 0)
      return true;
  }
  if (!MakeParentFolders(path))
    return false;

  // Each writer has a temporary of its own, so that concurrent writers each
  // replace the file whole (the last one wins) and a temporary left by a
  // killed writer is in nobody's way.
  std::string temp;
  const int fd = CreateTemporary(path, &temp);
  if (fd < 0)
    return false;
  // A short write (full disk) or a failed flush must not replace good
  // contents; fsync keeps a power cut from leaving an empty file behind the
  // new name.
  bool written = WriteAll(fd, contents);
  written = fsync(fd) == 0 && written;
  written = close(fd) == 0 && written;
  if (written && ReplaceFile(temp, path))
    return true;
  unlink(temp.c_str());
  return false;
}

}  // namespace assistant_reference
