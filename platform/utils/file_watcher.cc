// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/file_watcher.h"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "core/eintr_wrapper.h"
#include "core/logging.h"

namespace assistant_reference {
namespace {

// Every folder on a path is watched for the names that lead on, and for its
// own removal or renaming. The file's own folder also reports writes.
constexpr uint32_t kFolderMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                 IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                 IN_ONLYDIR | IN_DONT_FOLLOW | IN_MASK_ADD;
constexpr uint32_t kFileMask = kFolderMask | IN_CLOSE_WRITE | IN_MODIFY;
// Events that end a write or replace the file: reported at once.
constexpr uint32_t kCompleteEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
// Events of the watched folder itself.
constexpr uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;

// How long a file written (or created) but not closed must stay quiet before
// its callback runs. A writer that closes at once is reported on the close
// alone; one that keeps the file open is reported this much later.
constexpr auto kQuietTime = std::chrono::milliseconds(100);

// A folder that cannot be watched (the watch limit, kernel memory, its
// permissions) is tried again after this, then after twice as long each time,
// up to the cap: a raised limit is noticed within seconds, a lasting one costs
// a wake-up every few seconds.
constexpr auto kFirstRetry = std::chrono::milliseconds(1000);
constexpr auto kMaxRetry = std::chrono::milliseconds(4000);

// Room for a pass's events: about a hundred short names, and always one
// event with the longest name.
constexpr size_t kReadBufferSize = 4096;
static_assert(kReadBufferSize >= sizeof(inotify_event) + NAME_MAX + 1,
              "one event with the longest name must fit");

// Overflows within this time of a reported one are counted, not logged:
// events that keep coming faster than they are read overflow the queue
// over and over.
constexpr auto kOverflowReportInterval = std::chrono::minutes(1);

// As the kernel's own limit on links in one lookup.
constexpr int kMaxLinks = 40;

bool SplitPath(const std::string& path,
               std::string* directory,
               std::string* filename) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return false;
  *directory = path.substr(0, slash);
  *filename = path.substr(slash + 1);
  return true;
}

// The components of |path|, "." and ".." included; no empty ones.
std::deque<std::string> Components(const std::string& path) {
  std::deque<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos)
      slash = path.size();
    if (slash > start)
      parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

std::string Parent(const std::string& directory) {
  size_t slash = directory.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/"
                                                  : directory.substr(0, slash);
}

bool IsLink(const std::string& path) {
  FileStatus status;
  return StatusOf(path, /*follow=*/false, &status) && status.IsLink();
}

bool ReadLink(const std::string& path, std::string* target) {
  char buffer[PATH_MAX];
  ssize_t length = readlink(path.c_str(), buffer, sizeof(buffer));
  if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer))
    return false;
  target->assign(buffer, static_cast<size_t>(length));
  return true;
}

// The key of a watched path: its folder normalized, then the file name as
// given (a trailing '/' gives an empty name, which never fires).
std::string KeyOf(const std::string& path,
                  const std::string& directory,
                  const std::string& filename) {
  std::string folder = FileWatcher::NormalizePath(
      directory.empty() && !path.empty() && path[0] == '/' ? "/" : directory);
  return (folder == "/" ? "" : folder) + "/" + filename;
}

}  // namespace

// static
FileWatcher* FileWatcher::GetInstance() {
  static FileWatcher* instance = new FileWatcher();
  return instance;
}

// static
std::string FileWatcher::NormalizePath(const std::string& path) {
  std::string absolute = path;
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    absolute =
        getcwd(cwd, sizeof(cwd)) ? std::string(cwd) + "/" + path : "/" + path;
  }
  std::string normalized;
  for (const std::string& part : Components(absolute)) {
    if (part != ".")
      normalized += "/" + part;
  }
  return normalized.empty() ? "/" : normalized;
}

// static
FileWatcher::Stamp FileWatcher::Stamp::Of(const std::string& path) {
  Stamp stamp;
  stamp.exists = StatusOf(path, /*follow=*/true, &stamp.status);
  return stamp;
}

bool FileWatcher::Stamp::operator==(const Stamp& other) const {
  const FileStatus& a = status;
  const FileStatus& b = other.status;
  if (exists != other.exists)
    return false;
  return !exists || (a.SameFile(b) && a.size == b.size &&
                     a.modified_seconds == b.modified_seconds &&
                     a.modified_nanoseconds == b.modified_nanoseconds &&
                     a.changed_seconds == b.changed_seconds &&
                     a.changed_nanoseconds == b.changed_nanoseconds);
}

FileWatcher::FileWatcher()
    : inotify_fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      wake_fd_(inotify_fd_ < 0 ? -1 : eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      watch_thread_("FileWatcher"),
      callbacks_done_(&mutex_),
      retry_interval_(kFirstRetry) {
  if (inotify_fd_ < 0) {
    // The mute state is still read on request; only its changes go
    // unreported. Not worth taking the host's process down for.
    const int error = errno;
    LOG(ERROR) << "There was an error initializing inotify. " << strerror(error)
               << (error == EMFILE
                       ? " (the limit fs.inotify.max_user_instances, or the "
                         "process's descriptor limit, is reached)"
                       : "")
               << "; changes of watched files are not reported";
    return;
  }
  if (wake_fd_ < 0) {
    LOG(WARNING) << "Cannot make an eventfd: " << strerror(errno)
                 << "; a folder that cannot be watched is tried again only "
                    "after the next event";
  }
  watch_thread_.Start([this] { return WatchLoop(); });
}

void FileWatcher::AddWatch(const std::string& path,
                           std::function<void()> callback) {
  std::string directory;
  std::string filename;
  CHECK(SplitPath(path, &directory, &filename));
  const std::string key = KeyOf(path, directory, filename);
  core::AutoLock lock(&mutex_);
  CHECK(entries_.count(key) == 0) << "path: '" << path << "' previously added.";
  Entry& entry = entries_[key];
  entry.callback = std::move(callback);
  SplitPath(key, &entry.directory, &entry.filename);
  if (entry.directory.empty())
    entry.directory = "/";
  if (inotify_fd_ < 0 || entry.filename.empty())
    return;
  Resolve(key, &entry);
  // What the owner reads next; events older than the watches just added
  // must not pass for news.
  entry.reported = Stamp::Of(key);
  if (!entry.following && !entry.blind) {
    LOG(INFO) << "Waiting for folder '" << entry.directory
              << "' to be watchable: " << strerror(ENOENT);
  }
}

void FileWatcher::RemoveWatch(const std::string& path) {
  std::string directory;
  std::string filename;
  CHECK(SplitPath(path, &directory, &filename));
  const std::string key = KeyOf(path, directory, filename);
  core::AutoLock lock(&mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end())
    return;
  LOG(INFO) << "Removing callback for: " << filename;
  std::set<int> ids;
  for (const Dependency& dependency : it->second.dependencies)
    ids.insert(dependency.watch_id);
  for (int id : ids)
    Release(id);
  entries_.erase(it);
}

void FileWatcher::WaitForRunningCallback() {
  if (inotify_fd_ < 0 || watch_thread_.IsCurrentThread())
    return;  // Nothing runs, or the caller is the callback itself.
  core::AutoLock lock(&mutex_);
  // Batches run one after another, so this covers every batch picked up
  // so far, however many start meanwhile.
  const uint64_t target = started_;
  while (finished_ < target)
    callbacks_done_.Wait();
}

bool FileWatcher::WatchLoop() {
  int timeout;
  {
    core::AutoLock lock(&mutex_);
    timeout = NextTimeout();
  }
  struct pollfd fds[2] = {{inotify_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  const int ready = HANDLE_EINTR(poll(fds, wake_fd_ < 0 ? 1 : 2, timeout));
  if (ready < 0) {
    LOG(ERROR) << "poll() failed: " << strerror(errno);
    return false;
  }
  if (ready > 0 && (fds[1].revents & POLLIN)) {
    // Only a wake-up: the deadlines below are read afresh.
    uint64_t count;
    (void)HANDLE_EINTR(read(wake_fd_, &count, sizeof(count)));
  }

  std::vector<std::function<void()>> callbacks;
  {
    core::AutoLock lock(&mutex_);
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      // One read per pass: events that keep coming faster than they are
      // matched would otherwise keep this thread reading, with the lock
      // held, and no callback would ever run. The rest waits for the next
      // pass; a read returns whole events only.
      alignas(inotify_event) char buffer[kReadBufferSize];
      const ssize_t length =
          HANDLE_EINTR(read(inotify_fd_, buffer, sizeof(buffer)));
      ssize_t offset = 0;
      while (offset + static_cast<ssize_t>(sizeof(inotify_event)) <= length) {
        const auto* event =
            reinterpret_cast<const inotify_event*>(buffer + offset);
        HandleEvent(*event);
        offset += sizeof(inotify_event) + event->len;
      }
    }
    const auto now = std::chrono::steady_clock::now();
    for (auto& [path, entry] : entries_) {
      if (entry.settling && entry.settle_deadline <= now) {
        entry.settling = false;
        // Taken before the callback reads the file: a close that finds
        // the same has nothing newer to tell.
        entry.quiet_run = Stamp::Of(path);
        // A creation may have been a link.
        due_.emplace_back(path, Walk::kIfLink);
      }
    }
    if (retry_armed_ && retry_deadline_ <= now)
      RetryBlind(now);
    for (const auto& [path, walk] : due_) {
      auto it = entries_.find(path);
      if (it == entries_.end())
        continue;  // Removed meanwhile.
      Entry& entry = it->second;
      // The walk is done before the callback reads, so that a change
      // after the read is seen through the watches it adds.
      if (walk == Walk::kFull || walk == Walk::kRescan ||
          (walk == Walk::kIfLink && IsLink(path))) {
        Resolve(path, &entry);
      }
      const Stamp stamp = Stamp::Of(path);
      if (walk == Walk::kFull && !Found(stamp, &entry))
        continue;
      entry.reported = stamp;
      if (entry.callback)
        callbacks.push_back(entry.callback);
    }
    due_.clear();
    if (callbacks.empty())
      return true;
    ++started_;
  }
  RunCallbacks(callbacks);
  return true;
}

void FileWatcher::HandleEvent(const inotify_event& event) {
  if (event.mask & IN_Q_OVERFLOW) {
    // Events were lost, changes of watched files among them maybe.
    const auto now = std::chrono::steady_clock::now();
    if (overflow_reported_ &&
        now - last_overflow_report_ < kOverflowReportInterval) {
      ++overflows_unreported_;
    } else {
      LOG(WARNING) << "inotify event queue overflowed; reading every watched "
                      "file again"
                   << (overflows_unreported_ > 0
                           ? " (" + std::to_string(overflows_unreported_) +
                                 " more overflows since the last report)"
                           : "");
      overflow_reported_ = true;
      overflows_unreported_ = 0;
      last_overflow_report_ = now;
    }
    ScheduleAll();
    return;
  }
  auto watcher = watcher_map_.find(event.wd);
  if (watcher == watcher_map_.end()) {
    if (event.mask & IN_IGNORED) {
      removed_ids_.erase(event.wd);
    } else if (removed_ids_.count(event.wd) == 0) {
      LOG(WARNING) << "Event fired but no Watcher was found for: " << event.wd;
    }
    return;
  }
  const bool self = event.mask & kSelfEvents;
  if (event.mask & IN_IGNORED) {
    // The folder is gone and the kernel dropped its watch.
    watcher_map_.erase(watcher);
  }
  const std::string name(event.name,
                         event.len ? strnlen(event.name, event.len) : 0);
  for (auto& [path, entry] : entries_) {
    for (Dependency& dependency : entry.dependencies) {
      if (dependency.watch_id != event.wd)
        continue;
      if (event.mask & IN_IGNORED)
        dependency.watch_id = -1;
      if (self) {
        Schedule(path, Walk::kFull);
        break;
      }
      if (dependency.name != name)
        continue;
      if (dependency.is_file)
        HandleFileEvent(path, &entry, event.mask);
      else
        Schedule(path, Walk::kFull);  // The path may lead elsewhere now.
      break;
    }
  }
}

void FileWatcher::HandleFileEvent(const std::string& path,
                                  Entry* entry,
                                  uint32_t mask) {
  if (mask & IN_ISDIR)
    return;  // A folder at the file's name reads as no file, as before.
  if (!(mask & kCompleteEvents)) {
    // Written or created, maybe more to come: wait for the close or for
    // quiet, whichever is first.
    entry->settling = true;
    entry->settle_deadline = std::chrono::steady_clock::now() + kQuietTime;
    entry->quiet_run.reset();
    return;
  }
  if ((mask & IN_CLOSE_WRITE) && !entry->settling && entry->quiet_run) {
    // The quiet run reported these writes already, unless the file changed
    // in a way that raises no event.
    const bool same = *entry->quiet_run == Stamp::Of(path);
    entry->quiet_run.reset();
    if (same)
      return;
  }
  // A new file at the name may be a link, to be followed.
  Schedule(path, (mask & IN_MOVED_TO) ? Walk::kIfLink : Walk::kNone);
}

bool FileWatcher::Found(const Stamp& stamp, Entry* entry) {
  if (stamp == entry->reported)
    return false;  // The way changed, not where it leads.
  if (!stamp.exists)
    return true;  // Nothing can still be under way.
  // A file the walk came upon may be open for writing: its close, which
  // the new watches may or may not see, or quiet reports it, once.
  if (!entry->settling) {
    entry->settling = true;
    entry->settle_deadline = std::chrono::steady_clock::now() + kQuietTime;
    entry->quiet_run.reset();
  }
  return false;
}

void FileWatcher::Resolve(const std::string& path, Entry* entry) {
  entry->blind = false;
  PathWalk walk = WalkPath(path, entry);
  const bool reached_folder = walk.reached_folder;
  Reference(entry, std::move(walk));
  NoteFollowing(entry, reached_folder);
}

FileWatcher::PathWalk FileWatcher::WalkPath(const std::string& path,
                                            Entry* entry) {
  PathWalk walk;
  std::deque<std::string> pending = Components(path);
  std::string directory = "/";
  int links = 0;
  // Each folder is watched before the name in it is looked up: a name that
  // appears in between raises an event, one that appeared before is found.
  int watch_id = WatchFolder(directory, kFolderMask, entry);
  walk.touched.insert(watch_id);
  while (!pending.empty()) {
    const std::string name = pending.front();
    pending.pop_front();
    if (name == ".")
      continue;
    if (name == "..") {
      directory = Parent(directory);
      watch_id = WatchFolder(directory, kFolderMask, entry);
      walk.touched.insert(watch_id);
      continue;
    }
    const bool last = pending.empty();
    walk.dependencies.push_back({watch_id, name, last});
    if (last) {
      walk.reached_folder = true;
      walk.touched.insert(WatchFolder(directory, kFileMask, entry));
    }
    const std::string child = Join(directory, name);
    FileStatus status;
    if (!StatusOf(child, /*follow=*/false, &status))
      break;  // Not there (yet): its folder's watch reports it.
    if (status.IsLink()) {
      std::string target;
      if (++links > kMaxLinks || !ReadLink(child, &target))
        break;
      // The link is followed by its name; what it points to holds the rest.
      walk.dependencies.back().is_file = false;
      std::deque<std::string> parts = Components(target);
      pending.insert(pending.begin(), parts.begin(), parts.end());
      if (target[0] == '/') {
        directory = "/";
        watch_id = WatchFolder(directory, kFolderMask, entry);
        walk.touched.insert(watch_id);
      }
      continue;
    }
    if (last || !status.IsDirectory())
      break;
    directory = child;
    watch_id = WatchFolder(directory, kFolderMask, entry);
    walk.touched.insert(watch_id);
  }
  return walk;
}

void FileWatcher::Reference(Entry* entry, PathWalk walk) {
  std::set<int> before;
  std::set<int> after;
  for (const Dependency& dependency : entry->dependencies)
    before.insert(dependency.watch_id);
  for (const Dependency& dependency : walk.dependencies)
    after.insert(dependency.watch_id);
  for (int id : after) {
    if (before.count(id) == 0 && watcher_map_.count(id) != 0)
      ++watcher_map_[id].users;
  }
  for (int id : before) {
    if (after.count(id) == 0)
      Release(id);
  }
  for (int id : walk.touched) {
    auto it = watcher_map_.find(id);
    if (it != watcher_map_.end() && it->second.users == 0)
      Release(id);  // Visited on the way, needed by nobody.
  }
  entry->dependencies = std::move(walk.dependencies);
}

void FileWatcher::NoteFollowing(Entry* entry, bool reached_folder) {
  // A blind walk logged its failures already.
  const bool watched = reached_folder && !entry->blind;
  if (watched && !entry->following && entry->waited) {
    LOG(INFO) << "Watching folder '" << entry->directory << "'";
  } else if (!reached_folder && entry->following) {
    LOG(INFO) << "Folder '" << entry->directory
              << "' went away; waiting for it to come back";
  }
  entry->waited = entry->waited || !watched;
  entry->following = watched;
  if (entry->blind)
    ArmRetry();
  else
    entry->logged_failures.clear();  // A later failure is news again.
}

int FileWatcher::WatchFolder(const std::string& directory,
                             uint32_t mask,
                             Entry* entry) {
  const int watch_id = inotify_add_watch(inotify_fd_, directory.c_str(), mask);
  if (watch_id < 0) {
    const int error = errno;
    // A folder that went away meanwhile is followed through its parent.
    if (error == ENOENT || error == ENOTDIR)
      return -1;
    entry->blind = true;
    if (entry->logged_failures.insert(error).second) {
      LOG(WARNING) << "Cannot watch folder '" << directory
                   << "': " << strerror(error)
                   << (error == ENOSPC
                           ? " (the inotify watch limit is reached: raise "
                             "fs.inotify.max_user_watches)"
                           : "");
    }
    return -1;
  }
  removed_ids_.erase(watch_id);
  Watcher& watcher = watcher_map_[watch_id];
  watcher.watch_id = watch_id;
  watcher.directory = directory;
  return watch_id;
}

void FileWatcher::Release(int watch_id) {
  auto it = watcher_map_.find(watch_id);
  if (it == watcher_map_.end())
    return;
  if (--it->second.users > 0)
    return;
  if (inotify_rm_watch(inotify_fd_, watch_id) == 0)
    removed_ids_.insert(watch_id);
  watcher_map_.erase(it);
}

void FileWatcher::Schedule(const std::string& path, Walk walk) {
  // A complete write or a replacement reports what a pending quiet write
  // would have.
  Entry& entry = entries_[path];
  entry.settling = false;
  entry.quiet_run.reset();
  due_.emplace_back(path, walk);
}

void FileWatcher::ScheduleAll() {
  for (auto& [path, entry] : entries_) {
    (void)entry;
    Schedule(path, Walk::kRescan);
  }
}

void FileWatcher::ArmRetry() {
  if (retry_armed_)
    return;
  retry_armed_ = true;
  retry_deadline_ = std::chrono::steady_clock::now() + retry_interval_;
  // The watch thread may be in poll without a timeout.
  if (wake_fd_ >= 0 && !watch_thread_.IsCurrentThread()) {
    const uint64_t one = 1;
    (void)HANDLE_EINTR(write(wake_fd_, &one, sizeof(one)));
  }
}

void FileWatcher::RetryBlind(std::chrono::steady_clock::time_point now) {
  retry_armed_ = false;
  bool still_blind = false;
  for (auto& [path, entry] : entries_) {
    if (!entry.blind)
      continue;
    Resolve(path, &entry);
    if (entry.blind) {
      still_blind = true;
    } else {
      // What changed while nothing was watched raised no event.
      Schedule(path, Walk::kNone);
    }
  }
  if (!still_blind) {
    retry_interval_ = kFirstRetry;
    return;
  }
  // The walks above armed a retry at the old interval; back off.
  retry_interval_ = std::min(retry_interval_ * 2, kMaxRetry);
  retry_armed_ = true;
  retry_deadline_ = now + retry_interval_;
}

int FileWatcher::NextTimeout() const {
  bool any = retry_armed_;
  std::chrono::steady_clock::time_point first = retry_deadline_;
  for (const auto& [path, entry] : entries_) {
    (void)path;
    if (entry.settling && (!any || entry.settle_deadline < first)) {
      first = entry.settle_deadline;
      any = true;
    }
  }
  if (!any)
    return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(
      first - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

void FileWatcher::RunCallbacks(
    const std::vector<std::function<void()>>& callbacks) {
  for (const auto& callback : callbacks)
    callback();
  core::AutoLock lock(&mutex_);
  ++finished_;
  callbacks_done_.Broadcast();
}

}  // namespace assistant_reference
