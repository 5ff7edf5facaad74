// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Removes a test's folder tree in-process, as `rm -rf` would.
//
//   ASSERT_TRUE(testing_support::RemoveTree(dir_));
//
// Tests remove their folders while watch and responder threads still run.
// Forking a shell then is a hazard under user-mode emulation: a child can
// inherit the emulator's locks held by another thread and never exec, and
// system() waits for it for good.
#ifndef TESTING_FILE_TREE_H_
#define TESTING_FILE_TREE_H_

#include <errno.h>
#include <ftw.h>
#include <stdio.h>

#include <string>

namespace testing_support {

// True when |path| is gone afterwards, also when it never existed. Links are
// removed, never followed.
inline bool RemoveTree(const std::string& path) {
  const int result = nftw(
      path.c_str(),
      [](const char* entry, const struct stat*, int, struct FTW*) {
        return remove(entry) == 0 || errno == ENOENT ? 0 : -1;
      },
      16, FTW_DEPTH | FTW_PHYS);
  return result == 0 || (result == -1 && errno == ENOENT);
}

}  // namespace testing_support

#endif  // TESTING_FILE_TREE_H_
