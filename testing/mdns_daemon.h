// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The mDNS daemon of scripts/mdns-sandbox as tests and benchmarks drive it:
// start, stop, kill, and what it advertises, read back with avahi-browse.
//
//   ASSERT_TRUE(testing_support::InMdnsSandbox());
//   ASSERT_TRUE(testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT));
//   testing_support::Browser browser("_xyz._tcp");
//   browser.WaitUntil([](const Browser::Seen& seen) { ... }, timeout);
//
// Stopping and killing the daemon is only ever done inside the sandbox,
// where the pair is the caller's own.
#ifndef TESTING_MDNS_DAEMON_H_
#define TESTING_MDNS_DAEMON_H_

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// VANTOR_MDNS_SANDBOX=1, as scripts/mdns-sandbox sets it.
bool InMdnsSandbox();

// scripts/mdns-daemon start|stop with this process as the holder; start
// returns once the daemon serves requests.
bool StartMdnsDaemon(const std::string& script);
bool StopMdnsDaemon(const std::string& script);

// The daemon's process id from its pid file, or 0.
pid_t MdnsDaemonPid();
// avahi-daemon -c.
bool MdnsDaemonRuns();
// Ends the daemon with avahi-daemon -k (|kill| false) or SIGKILL, and waits
// until it is gone.
bool StopMdnsDaemonNow(bool kill);

// One resolved instance as avahi-browse reports it.
struct Advertised {
  std::string name;
  int port = 0;
  std::set<std::string> txt;
};

// What the daemon advertises for |type| right now (avahi-browse -rpt; takes
// about a second).
std::vector<Advertised> BrowseOnce(const std::string& type);

// A running avahi-browse -rp for one type: every instance it saw appear,
// resolved, in order. Ends with the object (or when its daemon goes).
class Browser {
 public:
  struct Seen {
    std::vector<std::string> added;         // One entry per "+" line.
    std::vector<Advertised> resolved;       // One entry per "=" line.
    std::map<std::string, Advertised> now;  // Latest per name, less removals.
  };

  explicit Browser(const std::string& type);
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;
  ~Browser();

  bool started() const { return pid_ > 0; }
  // Reads the browser's lines until |done| holds for what was seen, the
  // time is up (false) or the browser ended (false).
  bool WaitUntil(const std::function<bool(const Seen&)>& done,
                 std::chrono::milliseconds timeout);
  const Seen& seen() const { return seen_; }

 private:
  void Parse(const std::string& line);

  pid_t pid_ = 0;
  int out_ = -1;  // The browser's standard output.
  std::string partial_;
  Seen seen_;
};

}  // namespace testing_support

#endif  // TESTING_MDNS_DAEMON_H_
