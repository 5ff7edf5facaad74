// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/daemon_return_watch.h"

#include <errno.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>

#include "core/eintr_wrapper.h"
#include "core/logging.h"

namespace assistant_reference {
namespace {

// In a watched folder: a socket or pid file made or moved into place, or the
// folder itself going.
constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// In the folder above one that does not exist: the folder made.
constexpr uint32_t kParentEvents = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

std::string Parent(const std::string& folder) {
  const size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : folder.substr(0, slash);
}

std::string BaseName(const std::string& folder) {
  const size_t slash = folder.find_last_of('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace

DaemonReturnWatch::DaemonReturnWatch(Options options)
    : options_(std::move(options)), interval_(options_.first_interval) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    LOG(WARNING) << "Cannot watch for the mDNS daemon's return (inotify: "
                 << strerror(errno) << "); trying every "
                 << options_.max_interval.count() << " ms while it is away";
    return;
  }
  for (const std::string& folder : options_.folders) {
    Watch watch;
    watch.folder = folder;
    if (Arm(&watch))
      watches_.push_back(watch);
  }
  if (watches_.empty()) {
    LOG(WARNING) << "Cannot watch for the mDNS daemon's return (no folder to "
                    "watch); trying every "
                 << options_.max_interval.count() << " ms while it is away";
    close(fd_);
    fd_ = -1;
  }
}

DaemonReturnWatch::~DaemonReturnWatch() {
  if (fd_ >= 0)
    close(fd_);
}

bool DaemonReturnWatch::Arm(Watch* watch) {
  watch->wd = inotify_add_watch(fd_, watch->folder.c_str(), kFolderEvents);
  watch->on_parent = false;
  if (watch->wd >= 0)
    return true;
  watch->wd =
      inotify_add_watch(fd_, Parent(watch->folder).c_str(), kParentEvents);
  watch->on_parent = true;
  return watch->wd >= 0;
}

void DaemonReturnWatch::Release(int wd) {
  // Folders with one parent share its watch.
  for (const Watch& watch : watches_) {
    if (watch.wd == wd)
      return;
  }
  inotify_rm_watch(fd_, wd);
}

bool DaemonReturnWatch::ReadEvents() {
  bool sign = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = HANDLE_EINTR(read(fd_, buffer, sizeof(buffer)));
    if (got <= 0)
      return sign;  // EAGAIN: drained.
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += sizeof(inotify_event) + event->len;
      if (event->mask & IN_Q_OVERFLOW) {
        sign = true;  // Whatever was lost may have been a start.
        continue;
      }
      const std::string name = event->len ? event->name : "";
      for (Watch& watch : watches_) {
        if (watch.wd != event->wd)
          continue;
        if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
          // The folder went (or was replaced): watch whatever is there now.
          if (!watch.on_parent) {
            const int gone = watch.wd;
            watch.wd = -1;
            Release(gone);
            Arm(&watch);
          }
        } else if (!watch.on_parent) {
          sign = true;
        } else if (name == BaseName(watch.folder)) {
          // The folder is new: its socket follows before the watch could
          // see it made.
          const int parent = watch.wd;
          watch.wd = -1;
          Release(parent);
          Arm(&watch);
          sign = true;
        }
      }
    }
  }
}

void DaemonReturnWatch::Lost(Clock::time_point now) {
  awaiting_ = true;
  interval_ = options_.first_interval;
  window_end_ = now + options_.loss_window;
  // A start read while the old daemon's loss was still on its way.
  if (last_sign_ && now - *last_sign_ < options_.sign_window)
    window_end_ = std::max(window_end_, *last_sign_ + options_.sign_window);
  next_try_.reset();
  Plan(now + interval_);
}

void DaemonReturnWatch::TryFailed(Clock::time_point now) {
  if (!awaiting_) {
    Lost(now);
    return;
  }
  if (next_try_)
    return;  // Planned already, by a sign or another failure.
  interval_ = std::min(interval_ * 2, options_.max_interval);
  Plan(now + interval_);
}

void DaemonReturnWatch::Back() {
  awaiting_ = false;
  next_try_.reset();
}

void DaemonReturnWatch::TryNow(Clock::time_point now) {
  if (awaiting_)
    next_try_ = now;
}

void DaemonReturnWatch::Sign(Clock::time_point now) {
  last_sign_ = now;
  if (!awaiting_)
    return;
  interval_ = options_.first_interval;
  window_end_ = std::max(window_end_, now + options_.sign_window);
  const Clock::time_point at = now + interval_;
  if (!next_try_ || at < *next_try_)
    next_try_ = at;
}

void DaemonReturnWatch::Plan(Clock::time_point at) {
  if (!watching() || at <= window_end_)
    next_try_ = at;
  else
    next_try_.reset();
}

void DaemonReturnWatch::PrepareWait(std::vector<pollfd>* fds,
                                    std::optional<Clock::time_point>* until) {
  polled_ = fd_ >= 0;
  if (polled_) {
    fd_index_ = fds->size();
    fds->push_back(pollfd{fd_, POLLIN, 0});
  }
  if (awaiting_ && next_try_ && (!*until || *next_try_ < **until))
    *until = next_try_;
}

void DaemonReturnWatch::OnWaitDone(const std::vector<pollfd>& fds,
                                   Clock::time_point now) {
  if (!polled_ || fd_index_ >= fds.size() || !fds[fd_index_].revents)
    return;
  polled_ = false;
  if (ReadEvents())
    Sign(now);
}

bool DaemonReturnWatch::Due(Clock::time_point now) {
  if (!awaiting_ || !next_try_ || *next_try_ > now)
    return false;
  next_try_.reset();
  return true;
}

}  // namespace assistant_reference
