// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the network shows of the device's own advertisement, as any browser
// on the link sees it: the host browses its service type through the mDNS
// daemon and logs, for this process's own instance, its first appearance,
// a rename, its disappearance and its return (with the time since it was
// lost).
//
//   NetworkView view("_vantor._tcp", "id=...", "run=...",
//                    {[] { /* the daemon serves (again) */ },
//                     [](const std::string& name) { /* shown as |name| */ }});
//
// Its own instance is one the local daemon announces (Avahi's LOCAL flag)
// whose TXT record carries both the device's id and this process's run
// token: a record left by an earlier process of the device is not taken
// for it. Only local instances are resolved (on a device, just its own);
// other devices' instances are only browsed, so the view's traffic does not
// grow with the number of devices on the link.
//
// Avahi's client library does the browsing: started with
// AVAHI_CLIENT_NO_FAIL it waits for a daemon that is not there yet and
// follows one that restarts, through the daemon's D-Bus name, so the view
// needs no timer of its own for either; only a lost system bus is waited
// for by trying again every few seconds. It runs on a thread of its own
// ("VantorMdnsView"); every callback, the ones given here included, runs
// there.
//
// Each call of that library waits for the daemon's answer as long as the
// system bus lets it (25 s), so none is made on the caller's thread: the
// view connects on its own thread, and the destructor waits for its
// teardown only up to a bound, past which it leaves the teardown to finish
// by itself and logs that it did.
#ifndef HOST_NETWORK_NETWORK_VIEW_H_
#define HOST_NETWORK_NETWORK_VIEW_H_

#include <chrono>
#include <functional>
#include <set>
#include <string>

namespace vantor_host {

class NetworkView {
 public:
  using Clock = std::chrono::steady_clock;

  // How long the destructor waits for the daemon to take the view's
  // goodbyes.
  static constexpr std::chrono::milliseconds kDefaultStopWait{1500};

  struct Listener {
    // Whenever the daemon starts to serve: at once if it does, else when it
    // comes, and after each return.
    std::function<void()> daemon_serves;
    // When this process's instance is shown, first or under a new name.
    std::function<void(const std::string& name)> shown;
  };

  // |id_text| and |run_text| are TXT strings of this process's
  // registration. |listener|'s calls run on the view's thread.
  NetworkView(const std::string& service_type,
              const std::string& id_text,
              const std::string& run_text,
              Listener listener,
              std::chrono::milliseconds stop_wait = kDefaultStopWait);
  NetworkView(const NetworkView&) = delete;
  NetworkView& operator=(const NetworkView&) = delete;
  // |listener| is called no more once this has begun; the thread is
  // stopped, or left to stop by itself after the bound.
  ~NetworkView();

  // The instance names of the type that the network shows now. Any thread.
  std::set<std::string> Names() const;
  // Our registration succeeded: until it is shown, every instance of the
  // type is resolved once. A name that passes from another device to ours
  // without a gap (namesakes renaming at once) is no new appearance, so
  // the local instances' resolvers alone may not see it. Any thread but
  // the view's.
  void LookForOwn();

 private:
  // Everything the view's thread uses: outlives this object when the
  // teardown is left behind.
  struct Core;
  // The Avahi callbacks, typed as the library declares them.
  struct Callbacks;

  const std::chrono::milliseconds stop_wait_;
  Core* core_;  // Owned; handed to the teardown thread by the destructor.
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_NETWORK_VIEW_H_
