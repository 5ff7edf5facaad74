// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the network shows of the device's own advertisement, as any browser
// on the link sees it: the host browses its service type through the mDNS
// daemon and logs, for the instance whose TXT record carries the device's
// id, its first appearance, a rename, its disappearance and its return
// (with the time since it was lost).
//
//   NetworkView view("_vantor._tcp", device_id,
//                    [] { /* the daemon serves (again) */ });
//
// Avahi's client library does the browsing: started with
// AVAHI_CLIENT_NO_FAIL it waits for a daemon that is not there yet and
// follows one that restarts, through the daemon's D-Bus name, so the view
// needs no timer of its own for either; only a lost system bus is waited
// for by trying again every few seconds. It runs on a thread of its own
// ("VantorMdnsView"); every callback, the one given here included, runs
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
#include <string>

namespace vantor_host {

class NetworkView {
 public:
  using Clock = std::chrono::steady_clock;

  // How long the destructor waits for the daemon to take the view's
  // goodbyes.
  static constexpr std::chrono::milliseconds kDefaultStopWait{1500};

  // |daemon_serves| runs on the view's thread whenever the daemon starts to
  // serve: at once if it does, else when it comes, and after each return.
  NetworkView(const std::string& service_type,
              const std::string& device_id,
              std::function<void()> daemon_serves,
              std::chrono::milliseconds stop_wait = kDefaultStopWait);
  NetworkView(const NetworkView&) = delete;
  NetworkView& operator=(const NetworkView&) = delete;
  // |daemon_serves| does not run once this has begun; the thread is
  // stopped, or left to stop by itself after the bound.
  ~NetworkView();

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
