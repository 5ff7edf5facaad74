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
#ifndef HOST_NETWORK_VIEW_H_
#define HOST_NETWORK_VIEW_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

struct AvahiClient;
struct AvahiServiceBrowser;
struct AvahiServiceResolver;
struct AvahiThreadedPoll;
struct AvahiTimeout;

namespace vantor_host {

class NetworkView {
 public:
  using Clock = std::chrono::steady_clock;

  // |daemon_serves| runs on the view's thread whenever the daemon starts to
  // serve: at once if it does, else when it comes, and after each return.
  NetworkView(const std::string& service_type,
              const std::string& device_id,
              std::function<void()> daemon_serves);
  NetworkView(const NetworkView&) = delete;
  NetworkView& operator=(const NetworkView&) = delete;
  // Stops the thread: nothing runs after this returns.
  ~NetworkView();

 private:
  // The Avahi callbacks, typed as the library declares them.
  struct Callbacks;

  // All below: the view's thread only (or while it is not running).
  void Connect();
  void ClientState(AvahiClient* client, int state);
  void Browsed(int interface, int protocol, int event, const std::string& name);
  void Resolved(const std::string& name, bool found, bool has_our_id);
  // Frees the browser and the resolvers; the daemon took them along.
  void DropLookups();
  // The instance that carries our id is shown under |name|.
  void Shown(const std::string& name);
  // It is no longer shown: |why| says how it went.
  void Gone(const std::string& why);
  void Reconnect();

  const std::string service_type_;
  const std::string id_text_;  // "id=" and the device id.
  const std::function<void()> daemon_serves_;
  AvahiThreadedPoll* poll_ = nullptr;  // Owns the thread.
  AvahiClient* client_ = nullptr;
  AvahiTimeout* reconnect_ = nullptr;
  AvahiServiceBrowser* browser_ = nullptr;
  // Names of the type on the network -> the (interface, protocol) pairs
  // they are shown on, and the resolver that follows each one's data.
  std::map<std::string, std::set<std::pair<int, int>>> present_;
  std::map<std::string, AvahiServiceResolver*> resolvers_;
  // Our instance's name as last shown; empty before the first time.
  std::string shown_as_;
  bool shown_ = false;
  // Since when it is not shown, after it was.
  std::optional<Clock::time_point> lost_at_;
  bool daemon_serving_ = false;
  // The current client was in a state other than failure.
  bool client_worked_ = false;
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_VIEW_H_
