#include "platform/utils/file_watcher.h"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "core/logging.h"

namespace assistant_reference {
namespace {

constexpr uint32_t kWatchMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE;
// How often folders that cannot be watched are tried again.
constexpr int kRetryIntervalMs = 1000;

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

// "/mic_state" splits into an empty folder name, which inotify refuses.
const char* FolderToWatch(const std::string& directory) {
  return directory.empty() ? "/" : directory.c_str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

// static
FileWatcher* FileWatcher::GetInstance() {
  static FileWatcher* instance = new FileWatcher();
  return instance;
}

FileWatcher::FileWatcher()
    : inotify_fd_(inotify_init1(IN_NONBLOCK)),
      wake_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      watch_thread_("FileWatcher"),
      callbacks_done_(&mutex_) {
  CHECK(inotify_fd_ >= 0) << "There was an error intializing inotify.";
  CHECK(wake_fd_ >= 0) << "eventfd: " << strerror(errno);
  watch_thread_.Start([this] { return WatchLoop(); });
}

void FileWatcher::AddWatch(const std::string& path,
                           std::function<void()> callback) {
  std::string directory;
  std::string filename;
  CHECK(SplitPath(path, &directory, &filename));
  core::AutoLock lock(&mutex_);
  int key =
      inotify_add_watch(inotify_fd_, FolderToWatch(directory), kWatchMask);
  if (key < 0) {
    const int error = errno;
    bool waiting = false;
    for (const auto& [id, watcher] : watcher_map_) {
      if (id >= 0)
        break;
      if (watcher.directory == directory) {
        key = id;
        waiting = true;
      }
    }
    if (!waiting) {
      // A key of its own: two missing folders must not share an entry.
      key = next_unwatched_id_--;
      LOG(INFO) << "Waiting for folder '" << directory
                << "' to be watchable: " << strerror(error);
      WakeWatchThread();
    }
  }
  auto [it, inserted] = watcher_map_.try_emplace(key);
  Watcher& watcher = it->second;
  if (inserted) {
    watcher.watch_id = key;
    watcher.directory = directory;
  }
  CHECK(key_of_path_.count(path) == 0 &&
        watcher.callback_map.count(filename) == 0)
      << "path: '" << path << "' previously added.";
  watcher.callback_map[filename] = std::move(callback);
  key_of_path_[path] = key;
}

void FileWatcher::RemoveWatch(const std::string& path) {
  std::string directory;
  std::string filename;
  CHECK(SplitPath(path, &directory, &filename));
  core::AutoLock lock(&mutex_);
  auto key = key_of_path_.find(path);
  if (key == key_of_path_.end())
    return;
  auto it = watcher_map_.find(key->second);
  key_of_path_.erase(key);
  if (it == watcher_map_.end())
    return;
  Watcher& watcher = it->second;
  if (watcher.callback_map.erase(filename) != 0)
    LOG(INFO) << "Removing callback for: " << filename;
  if (!watcher.callback_map.empty())
    return;
  // An emptied entry goes at once: a later AddWatch in the folder gets a new
  // watch descriptor, and a stale entry would shadow it.
  if (watcher.watch_id >= 0 &&
      inotify_rm_watch(inotify_fd_, watcher.watch_id) == 0) {
    removed_ids_.insert(watcher.watch_id);
  }
  watcher_map_.erase(it);
}

void FileWatcher::WaitForRunningCallback() {
  if (watch_thread_.IsCurrentThread())
    return;  // The caller is the callback; waiting would never end.
  core::AutoLock lock(&mutex_);
  // Batches run one after another, so this covers every batch picked up
  // so far, however many start meanwhile.
  const uint64_t target = started_;
  while (finished_ < target)
    callbacks_done_.Wait();
}

bool FileWatcher::WatchLoop() {
  int timeout = -1;
  {
    core::AutoLock lock(&mutex_);
    if (HasUnwatchedFolders())
      timeout = kRetryIntervalMs;
  }
  struct pollfd fds[2] = {{inotify_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  int ready = poll(fds, 2, timeout);
  if (ready < 0) {
    if (errno == EINTR)
      return true;  // A signal handled elsewhere is no reason to stop.
    LOG(ERROR) << "poll() failed: " << strerror(errno);
    return false;
  }
  if (fds[1].revents & POLLIN) {
    uint64_t count;
    while (read(wake_fd_, &count, sizeof(count)) < 0 && errno == EINTR) {
    }
  }
  // On every pass, not only on time-outs: a busy folder nearby must not
  // keep a missing one from being retried.
  RetryUnwatchedFolders();
  if (ready == 0 || !(fds[0].revents & POLLIN))
    return true;

  // One event with the longest name fits; a read returns whole events only.
  alignas(inotify_event) char buffer[sizeof(inotify_event) + NAME_MAX + 1];
  for (;;) {
    ssize_t length = read(inotify_fd_, buffer, sizeof(buffer));
    if (length < 0 && errno == EINTR)
      continue;
    if (length <= 0)
      break;
    ssize_t offset = 0;
    while (offset + static_cast<ssize_t>(sizeof(inotify_event)) <= length) {
      const auto* event =
          reinterpret_cast<const inotify_event*>(buffer + offset);
      if (event->mask & IN_IGNORED) {
        HandleWatchGone(event->wd);
      } else if ((event->mask & kWatchMask) && event->len != 0 &&
                 !(event->mask & IN_ISDIR)) {
        HandleEvent(*event);
      }
      offset += sizeof(inotify_event) + event->len;
    }
  }
  return true;
}

void FileWatcher::HandleEvent(const inotify_event& event) {
  std::function<void()> callback;
  {
    core::AutoLock lock(&mutex_);
    auto it = watcher_map_.find(event.wd);
    if (it == watcher_map_.end()) {
      if (removed_ids_.count(event.wd) == 0) {
        LOG(WARNING) << "Event fired but no Watcher was found for: "
                     << event.wd;
      }
      return;
    }
    const std::string name(event.name, strnlen(event.name, event.len));
    auto found = it->second.callback_map.find(name);
    if (found == it->second.callback_map.end() || !found->second)
      return;  // Such as the ".tmp" sibling of an atomic write.
    callback = found->second;
    ++started_;
  }
  RunCallbacks({callback});
}

void FileWatcher::HandleWatchGone(int watch_id) {
  core::AutoLock lock(&mutex_);
  if (removed_ids_.erase(watch_id) != 0)
    return;
  auto it = watcher_map_.find(watch_id);
  if (it == watcher_map_.end())
    return;
  LOG(INFO) << "Folder '" << it->second.directory
            << "' went away; waiting for it to come back";
  MoveEntry(watch_id, next_unwatched_id_--);
}

void FileWatcher::RetryUnwatchedFolders() {
  std::vector<std::function<void()>> callbacks;
  {
    core::AutoLock lock(&mutex_);
    std::vector<std::pair<int, int>> moves;
    for (const auto& [id, watcher] : watcher_map_) {
      if (id >= 0)
        break;
      int watch_id = inotify_add_watch(
          inotify_fd_, FolderToWatch(watcher.directory), kWatchMask);
      if (watch_id >= 0)
        moves.emplace_back(id, watch_id);
    }
    for (const auto& [from, to] : moves) {
      LOG(INFO) << "Watching folder '" << watcher_map_[from].directory << "'";
      std::vector<std::function<void()>> more = MoveEntry(from, to);
      callbacks.insert(callbacks.end(), more.begin(), more.end());
    }
    if (callbacks.empty())
      return;
    ++started_;
  }
  // Files written before the watch was in place would go unnoticed.
  RunCallbacks(callbacks);
}

std::vector<std::function<void()>> FileWatcher::MoveEntry(int from, int to) {
  std::vector<std::function<void()>> existing;
  Watcher moved = std::move(watcher_map_[from]);
  watcher_map_.erase(from);
  auto [it, inserted] = watcher_map_.try_emplace(to);
  Watcher& target = it->second;
  if (inserted) {
    target.watch_id = to;
    target.directory = moved.directory;
  }
  for (auto& [name, callback] : moved.callback_map) {
    const std::string path = moved.directory + "/" + name;
    if (!target.callback_map.emplace(name, callback).second) {
      // The same file through two spellings of its folder; the first stays.
      LOG(ERROR) << "path: '" << path << "' previously added.";
      key_of_path_.erase(path);
      continue;
    }
    if (callback && Exists(path))
      existing.push_back(callback);
  }
  for (auto& [path, key] : key_of_path_) {
    if (key == from)
      key = to;
  }
  return existing;
}

void FileWatcher::RunCallbacks(
    const std::vector<std::function<void()>>& callbacks) {
  for (const auto& callback : callbacks)
    callback();
  core::AutoLock lock(&mutex_);
  ++finished_;
  callbacks_done_.Broadcast();
}

void FileWatcher::WakeWatchThread() {
  const uint64_t one = 1;
  while (write(wake_fd_, &one, sizeof(one)) < 0 && errno == EINTR) {
  }
}

bool FileWatcher::HasUnwatchedFolders() const {
  return !watcher_map_.empty() && watcher_map_.begin()->first < 0;
}

}  // namespace assistant_reference
