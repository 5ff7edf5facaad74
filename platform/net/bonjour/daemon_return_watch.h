// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Tells the responder when to try again to reach an mDNS daemon that went
// away, without polling for it.
//
//   DaemonReturnWatch watch(DaemonReturnWatch::Options{});
//   watch.Lost(now);                  // the daemon took our registrations
//   // In the event loop:
//   watch.PrepareWait(&fds, &until);  // its descriptor, the next try's time
//   poll(...);
//   watch.OnWaitDone(fds, now);
//   if (watch.Due(now)) { try; then watch.TryFailed(now) or watch.Back(); }
//
// The daemon, and the system bus through which Avahi's client library
// reaches it, each create their socket in a folder of their own when they
// start (/run/avahi-daemon, /run/dbus). An inotify watch on those folders
// (or on the folder above one that does not exist yet) is the sign of a
// start: tries follow 100 ms after it, the pause doubling up to the cap, for
// 30 s. A fresh loss gets tries of its own for 2 s, since the daemon may
// have dropped only us. Beyond that nothing is tried, so an absent daemon
// costs no wake-up. Where nothing can be watched (inotify refused, no
// folder) the tries go on for good, the pause doubling up to the cap.
//
// Not thread-safe: the responder thread owns it.
#ifndef PLATFORM_NET_BONJOUR_DAEMON_RETURN_WATCH_H_
#define PLATFORM_NET_BONJOUR_DAEMON_RETURN_WATCH_H_

#include <poll.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace assistant_reference {

class DaemonReturnWatch {
 public:
  using Clock = std::chrono::steady_clock;

  struct Options {
    // Where the daemon and its bus make their sockets.
    std::vector<std::string> folders = {"/run/avahi-daemon", "/run/dbus"};
    std::chrono::milliseconds first_interval{100};
    std::chrono::milliseconds max_interval{2000};
    // How long tries go on after a fresh loss, and after a sign of a start.
    std::chrono::milliseconds loss_window{2000};
    std::chrono::milliseconds sign_window{30000};
  };

  explicit DaemonReturnWatch(Options options);
  DaemonReturnWatch(const DaemonReturnWatch&) = delete;
  DaemonReturnWatch& operator=(const DaemonReturnWatch&) = delete;
  ~DaemonReturnWatch();

  // The daemon went away with registrations that are to come back.
  void Lost(Clock::time_point now);
  // The try that Due() allowed found the daemon still away.
  void TryFailed(Clock::time_point now);
  // Everything is registered again: nothing more to try.
  void Back();
  // The daemon answers something else: try at once.
  void TryNow(Clock::time_point now);

  // Whether the folders are watched; if not, tries never stop.
  bool watching() const { return !watches_.empty(); }

  // Appends the watch's descriptor to |fds| and brings |*until| forward to
  // the next try, if one is planned.
  void PrepareWait(std::vector<pollfd>* fds,
                   std::optional<Clock::time_point>* until);
  // |fds| as PrepareWait left them, with poll's answer; reads the watch.
  void OnWaitDone(const std::vector<pollfd>& fds, Clock::time_point now);
  // Whether a try is due; true hands the try to the caller, who reports
  // its outcome with TryFailed or Back.
  bool Due(Clock::time_point now);

 private:
  struct Watch {
    std::string folder;
    int wd = -1;
    bool on_parent = false;  // The folder does not exist; its parent is
                             // watched for it.
  };

  // Watches |watch|'s folder, else its parent; false when neither can be.
  bool Arm(Watch* watch);
  // Removes watch descriptor |wd| unless another folder still uses it.
  void Release(int wd);
  // Reads every pending event; true when one is a sign of a start.
  bool ReadEvents();
  // A start seen at |now|.
  void Sign(Clock::time_point now);
  void Plan(Clock::time_point at);

  const Options options_;
  int fd_ = -1;  // The inotify instance; -1 when inotify is refused.
  std::vector<Watch> watches_;
  size_t fd_index_ = 0;  // Where PrepareWait put |fd_| in the poll list.
  bool polled_ = false;
  bool awaiting_ = false;
  std::chrono::milliseconds interval_;
  // Tries planned until then; unbounded without a watch.
  Clock::time_point window_end_;
  std::optional<Clock::time_point> next_try_;
  // The last sign, kept while nothing is lost: a daemon that starts just
  // before its predecessor's loss is read counts.
  std::optional<Clock::time_point> last_sign_;
};

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_DAEMON_RETURN_WATCH_H_
