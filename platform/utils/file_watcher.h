// Runs callbacks when watched files are rewritten, renamed into place or
// deleted.
//
//   FileWatcher* watcher = FileWatcher::GetInstance();
//   watcher->AddWatch("/run/state/mic_state", [] { ReadStateAgain(); });
//   ...
//   watcher->RemoveWatch("/run/state/mic_state");
//   watcher->WaitForRunningCallback();  // Before freeing what it uses.
//
// One process-wide instance with one inotify descriptor and one thread named
// "FileWatcher", which runs every callback, one at a time, without a lock
// held. Folders are watched rather than files, so a file that is replaced
// through a rename, or that does not exist yet, is still followed by name.
// A folder that does not exist yet (or is deleted later) is retried about
// once a second until it can be watched; its files' callbacks then run once
// for every file already in it.
//
// Paths must contain a '/'; adding one path twice is fatal.
#ifndef PLATFORM_UTILS_FILE_WATCHER_H_
#define PLATFORM_UTILS_FILE_WATCHER_H_

#include <stdint.h>
#include <sys/inotify.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "core/thread.h"

namespace assistant_reference {

class FileWatcher {
 public:
  // A watched folder and the callbacks of the file names in it.
  struct Watcher {
    int watch_id = -1;  // Negative while the folder cannot be watched.
    std::string directory;
    std::map<std::string, std::function<void()>> callback_map;
  };

  // Never destroyed. Thread-safe.
  static FileWatcher* GetInstance();

  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;

  // Any thread, including the watch thread from inside a callback.
  void AddWatch(const std::string& path, std::function<void()> callback);
  // Stops calling the callback of |path| from the next event on; a callback
  // that already runs is not waited for. Unknown paths are ignored.
  void RemoveWatch(const std::string& path);
  // Returns once every callback that the watch thread had picked up before
  // this call has returned. Returns at once on the watch thread itself.
  void WaitForRunningCallback();

 private:
  FileWatcher();
  ~FileWatcher() = delete;

  bool WatchLoop();
  void HandleEvent(const inotify_event& event);
  // The kernel dropped the watch of |watch_id| (its folder went away).
  void HandleWatchGone(int watch_id);
  // Tries again to watch the folders that could not be watched.
  void RetryUnwatchedFolders();
  // Runs a batch that was picked up, and counted in |started_|, under the
  // same hold of |mutex_|. Call without |mutex_|.
  void RunCallbacks(const std::vector<std::function<void()>>& callbacks);
  // Gives the entry under |from| the new key |to| (merging into an entry
  // already there) and returns the callbacks of files that exist in it.
  std::vector<std::function<void()>> MoveEntry(int from, int to)
      CORE_REQUIRES(mutex_);
  // Wakes the watch thread so that it starts retrying.
  void WakeWatchThread();
  bool HasUnwatchedFolders() const CORE_REQUIRES(mutex_);

  const int inotify_fd_;
  const int wake_fd_;  // An eventfd; written by AddWatch, read by the thread.
  core::Thread watch_thread_;

  core::Mutex mutex_;             // Guards the members below.
  core::CondVar callbacks_done_;  // Signalled when |finished_| grows.
  // Keyed by inotify watch descriptor; unwatchable folders get keys of
  // their own below zero, so that they never collide.
  std::map<int, Watcher> watcher_map_ CORE_GUARDED_BY(mutex_);
  int next_unwatched_id_ CORE_GUARDED_BY(mutex_) = -1;
  // Each added path to its key in |watcher_map_|, so that every RemoveWatch
  // finds the entry holding its callback, however the folder was spelled.
  std::map<std::string, int> key_of_path_ CORE_GUARDED_BY(mutex_);
  // Watches removed here whose IN_IGNORED has not been read yet: their late
  // events are expected, not worth a warning.
  std::set<int> removed_ids_ CORE_GUARDED_BY(mutex_);
  // Callback batches the watch thread has picked up and finished.
  uint64_t started_ CORE_GUARDED_BY(mutex_) = 0;
  uint64_t finished_ CORE_GUARDED_BY(mutex_) = 0;
};

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_FILE_WATCHER_H_
