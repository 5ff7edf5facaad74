// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Changes a state file the way vantor-state does (the new word into a
// ".tmp" sibling, then one rename) and prints the CLOCK_REALTIME time taken
// right before each rename, so that a change can be matched with the journal
// entry it causes. Runs on the board, where no scripting language has a
// clock finer than a second without starting a process.
//
//   timed_renames PATH COUNT INTERVAL_MS WORD...
//
// Change i writes WORD[i % number of words]; one line per change:
// "<microseconds since the epoch> <word>". Exit status 0, or 1 (with a
// line on stderr) when a write or rename fails, 2 on a usage error.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "core/eintr_wrapper.h"

namespace {

bool WriteAll(const std::string& path, const std::string& contents) {
  int fd = HANDLE_EINTR(
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd < 0)
    return false;
  const char* data = contents.data();
  size_t left = contents.size();
  while (left > 0) {
    ssize_t n = HANDLE_EINTR(write(fd, data, left));
    if (n <= 0) {
      close(fd);
      return false;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  return close(fd) == 0;
}

long long RealtimeMicros() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: %s PATH COUNT INTERVAL_MS WORD...\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const std::string temp = path + ".tmp";
  const long count = strtol(argv[2], nullptr, 10);
  const long interval_ms = strtol(argv[3], nullptr, 10);
  if (count < 1 || interval_ms < 0) {
    fprintf(stderr, "%s: COUNT must be at least 1, INTERVAL_MS not negative\n",
            argv[0]);
    return 2;
  }
  const int words = argc - 4;
  for (long i = 0; i < count; ++i) {
    const char* word = argv[4 + i % words];
    if (!WriteAll(temp, std::string(word) + "\n")) {
      fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], temp.c_str(),
              strerror(errno));
      return 1;
    }
    const long long before = RealtimeMicros();
    if (rename(temp.c_str(), path.c_str()) != 0) {
      fprintf(stderr, "%s: cannot rename %s: %s\n", argv[0], temp.c_str(),
              strerror(errno));
      unlink(temp.c_str());
      return 1;
    }
    printf("%lld %s\n", before, word);
    fflush(stdout);
    timespec pause = {static_cast<time_t>(interval_ms / 1000),
                      (interval_ms % 1000) * 1000000};
    HANDLE_EINTR(nanosleep(&pause, &pause));  // |pause| keeps what is left.
  }
  return 0;
}
