// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Which instance of the service type is this process's own, from what the
// resolvers of local instances answer, and the log lines that tell its
// first appearance, a rename, its loss and its return.
//
//   OwnInstance own;
//   if (auto name = own.Answered(resolved_name, txt_has_our_tokens))
//     ...  // shown as *name, first or anew
//
// A process holds one registration. When the network renames it, the
// instance it left keeps its resolver open, and that resolver may still
// answer with our data while the records change owner (the namesake's SRV
// before its TXT): such a name is not taken back until it has answered with
// other data or gone. Not thread-safe; the view's thread only.
#ifndef HOST_NETWORK_OWN_INSTANCE_H_
#define HOST_NETWORK_OWN_INSTANCE_H_

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace vantor_host {

class OwnInstance {
 public:
  using Clock = std::chrono::steady_clock;

  explicit OwnInstance(std::string service_type)
      : service_type_(std::move(service_type)) {}

  // A resolver found |name|'s data; |ours| when they carry this process's
  // tokens. The name when it is shown anew (first, renamed or back).
  std::optional<std::string> Answered(const std::string& name, bool ours);
  // |name| is no longer on the network.
  void Withdrawn(const std::string& name);
  // The daemon went away: what it said no longer holds.
  void DaemonGone();

  bool shown() const { return shown_; }

 private:
  void Gone(const std::string& why);

  const std::string service_type_;
  // The name last shown; empty before the first time.
  std::string shown_as_;
  bool shown_ = false;
  // Since when it is not shown, after it was.
  std::optional<Clock::time_point> lost_at_;
  // Names the network renamed us away from whose data still answer as ours.
  std::set<std::string> left_;
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_OWN_INSTANCE_H_
