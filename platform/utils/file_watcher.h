// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Runs callbacks when watched files change: rewritten, renamed into place or
// away, deleted, created (also as a link), or replaced through any folder on
// their path.
//
//   FileWatcher* watcher = FileWatcher::GetInstance();
//   watcher->AddWatch("/run/state/mic_state", [] { ReadStateAgain(); });
//   ...
//   watcher->RemoveWatch("/run/state/mic_state");
//   watcher->WaitForRunningCallback();  // Before freeing what it uses.
//
// One process-wide instance with one inotify descriptor and one thread named
// "FileWatcher", which runs every callback, one at a time, without a lock
// held. A path is followed by name: every folder on it is watched for the
// next name on the path, symbolic links included, so a folder that does not
// exist yet, is renamed away and made again, or is a link pointed elsewhere
// is followed at once and without polling. Callbacks report possible
// changes: a reader compares states.
//
// A callback runs once per change: at once for a close after writing, a
// rename onto or away from the file's name and a deletion; for a write that
// is not followed by a close (a writer keeping the file open) once the file
// has been quiet for a moment. A close ends the writes before it: it takes
// the place of their pending quiet run, and after one that already ran it
// runs nothing unless the file changed since. A folder made, removed or
// renamed at the file's name runs nothing: it reads as no file, as before.
// A change on the way to the file runs the callback only when the path then
// leads to another file, or to none; a file found that way may still be
// being written, so it is reported as a creation is, on its close or once
// quiet: a file made in a folder that is itself new runs it once.
//
// A folder that exists but cannot be watched (the inotify watch limit is
// reached, or it may not be read) is logged once and tried again after 1 s,
// 2 s, then every 4 s; once it is watched the callback runs, since the file
// may have changed meanwhile. Apart from quiet runs, only that state wakes
// the thread without an event. After an inotify queue overflow every
// callback runs once; overflows are logged at most once a minute.
//
// Paths must contain a '/'; adding one path twice is fatal ("a//b" and
// "a/./b" are one path). Two spellings of one file through links share the
// kernel's watches, and each gets its own callback.
#ifndef PLATFORM_UTILS_FILE_WATCHER_H_
#define PLATFORM_UTILS_FILE_WATCHER_H_

#include <stdint.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "core/thread.h"
#include "platform/utils/file_status.h"

namespace assistant_reference {

class FileWatcher {
 public:
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

  // The absolute form of |path| without empty and "." components; a
  // relative path is taken from the working folder. ".." is kept: only the
  // file system knows where it leads.
  static std::string NormalizePath(const std::string& path);

 private:
  // One step of a watched path: a watched folder and the name in it that the
  // path goes through.
  struct Dependency {
    int watch_id;
    std::string name;
    bool is_file;  // The name of the file itself, not of a folder or link.
  };

  // What a file was when its quiet run was picked up: a close with the same
  // has nothing new to report. Also catches writes through a shared mapping,
  // which raise no event of their own.
  struct Stamp {
    bool exists = false;
    FileStatus status;  // What the file was, while it exists.

    static Stamp Of(const std::string& path);
    bool operator==(const Stamp& other) const;
  };

  // One watched path.
  struct Entry {
    std::function<void()> callback;
    std::string directory;  // The file's folder as named, for the log.
    std::string filename;
    std::vector<Dependency> dependencies;  // From the root down.
    bool following = false;  // Every folder on the path is watched.
    bool waited = false;     // They were not, once: say when they are.
    // A folder on the path exists but could not be watched: tried again.
    bool blind = false;
    // A write or creation not yet followed by a close: reported when the
    // file has been quiet until then, unless a close comes first.
    bool settling = false;
    std::chrono::steady_clock::time_point settle_deadline;
    // Set when a quiet run was picked up and nothing was written since.
    std::optional<Stamp> quiet_run;
    // The file when its callback was last picked up, or when the path was
    // added: a walk that finds the same has nothing to report.
    Stamp reported;
    // Errors of failed watches already logged, once each per path: a
    // limit reached fails every folder on it.
    std::set<int> logged_failures;
  };

  // A folder watched for one or more paths.
  struct Watcher {
    int watch_id = -1;
    std::string directory;
    int users = 0;  // Entries whose dependencies name it.
  };

  // How much of a path to walk again before its callback runs.
  enum class Walk {
    kNone,    // Only the file's contents changed, or it went away.
    kIfLink,  // A new file came to its name: walk on only if it is a link.
    kFull,    // A folder or link on the way changed.
    kRescan,  // Events were lost: walked, and reported whatever it finds.
  };

  FileWatcher();
  ~FileWatcher() = delete;

  bool WatchLoop();
  void HandleEvent(const inotify_event& event) CORE_REQUIRES(mutex_);
  // An event of the file's own name.
  void HandleFileEvent(const std::string& path, Entry* entry, uint32_t mask)
      CORE_REQUIRES(mutex_);
  // Whether a walk that left |entry|'s file as |stamp| reports it now; one
  // that came upon a file has it reported on its close or quiet instead.
  bool Found(const Stamp& stamp, Entry* entry) CORE_REQUIRES(mutex_);
  // What one walk of a watched path went through.
  struct PathWalk {
    std::vector<Dependency> dependencies;
    std::set<int> touched;        // Every watch it added, needed or not.
    bool reached_folder = false;  // It came to the file's own folder.
  };

  // Walks |path| anew, watching every folder it goes through and releasing
  // the watches it no longer needs.
  void Resolve(const std::string& path, Entry* entry) CORE_REQUIRES(mutex_);
  // Watches each folder on the way to |path|, then looks up the next name
  // in it, following links.
  PathWalk WalkPath(const std::string& path, Entry* entry)
      CORE_REQUIRES(mutex_);
  // Makes |walk|'s watches |entry|'s: counts the new ones in, releases the
  // old ones and those visited on the way that nobody needs.
  void Reference(Entry* entry, PathWalk walk) CORE_REQUIRES(mutex_);
  // Logs a folder found or lost, and plans a retry of a blind walk.
  void NoteFollowing(Entry* entry, bool reached_folder) CORE_REQUIRES(mutex_);
  // The watch of |directory| with |mask| added; -1 when it cannot be had.
  int WatchFolder(const std::string& directory, uint32_t mask, Entry* entry)
      CORE_REQUIRES(mutex_);
  void Release(int watch_id) CORE_REQUIRES(mutex_);
  // Queues a run of the callback of |path|; a pending quiet run is replaced.
  void Schedule(const std::string& path, Walk walk) CORE_REQUIRES(mutex_);
  void ScheduleAll() CORE_REQUIRES(mutex_);
  // Schedules the next attempt at the watches of blind entries, unless one
  // is due already.
  void ArmRetry() CORE_REQUIRES(mutex_);
  // Walks every blind entry again; those now watched are reported.
  void RetryBlind(std::chrono::steady_clock::time_point now)
      CORE_REQUIRES(mutex_);
  // Runs a batch that was picked up, and counted in |started_|, under the
  // same hold of |mutex_|. Call without |mutex_|.
  void RunCallbacks(const std::vector<std::function<void()>>& callbacks);
  // Milliseconds until the next quiet write or retry is due, or -1.
  int NextTimeout() const CORE_REQUIRES(mutex_);

  const int inotify_fd_;  // Negative when inotify is unavailable.
  // Wakes the watch thread for a retry that another thread scheduled;
  // negative when unavailable (the retry then waits for the next event).
  const int wake_fd_;
  core::Thread watch_thread_;

  core::Mutex mutex_;             // Guards the members below.
  core::CondVar callbacks_done_;  // Signalled when |finished_| grows.
  // Watched paths, normalized.
  std::map<std::string, Entry> entries_ CORE_GUARDED_BY(mutex_);
  // Keyed by inotify watch descriptor.
  std::map<int, Watcher> watcher_map_ CORE_GUARDED_BY(mutex_);
  // Watches removed here whose IN_IGNORED has not been read yet: their late
  // events are expected, not worth a warning.
  std::set<int> removed_ids_ CORE_GUARDED_BY(mutex_);
  // Runs due, in event order: the path and how much of it to walk anew.
  std::vector<std::pair<std::string, Walk>> due_ CORE_GUARDED_BY(mutex_);
  // Queue overflows: when the last was logged, and how many came since.
  bool overflow_reported_ CORE_GUARDED_BY(mutex_) = false;
  std::chrono::steady_clock::time_point last_overflow_report_
      CORE_GUARDED_BY(mutex_);
  int overflows_unreported_ CORE_GUARDED_BY(mutex_) = 0;
  // The next attempt at the watches of blind entries, while there are any.
  bool retry_armed_ CORE_GUARDED_BY(mutex_) = false;
  std::chrono::steady_clock::time_point retry_deadline_ CORE_GUARDED_BY(mutex_);
  std::chrono::milliseconds retry_interval_ CORE_GUARDED_BY(mutex_);
  // Callback batches the watch thread has picked up and finished.
  uint64_t started_ CORE_GUARDED_BY(mutex_) = 0;
  uint64_t finished_ CORE_GUARDED_BY(mutex_) = 0;
};

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_FILE_WATCHER_H_
