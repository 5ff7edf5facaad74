// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A file watch whose callback uses a test's locals.
//
//   bool held = false;
//   testing_support::ScopedWatch gate(path, [&] { held = true; });
//
// Declared after what its callback uses, it is removed, and its running
// callback waited for, before those go: a spurious run (after a queue
// overflow every callback runs) may come at any time, also after a failed
// assertion has ended the test early.
#ifndef TESTING_SCOPED_WATCH_H_
#define TESTING_SCOPED_WATCH_H_

#include <functional>
#include <string>
#include <utility>

#include "platform/utils/file_watcher.h"

namespace testing_support {

class ScopedWatch {
 public:
  ScopedWatch(const std::string& path, std::function<void()> callback)
      : path_(path) {
    assistant_reference::FileWatcher::GetInstance()->AddWatch(
        path_, std::move(callback));
  }
  ScopedWatch(const ScopedWatch&) = delete;
  ScopedWatch& operator=(const ScopedWatch&) = delete;
  ~ScopedWatch() {
    assistant_reference::FileWatcher* watcher =
        assistant_reference::FileWatcher::GetInstance();
    watcher->RemoveWatch(path_);
    watcher->WaitForRunningCallback();
  }

 private:
  const std::string path_;
};

}  // namespace testing_support

#endif  // TESTING_SCOPED_WATCH_H_
