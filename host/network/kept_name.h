// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The name the network gave the device, kept across its restarts: a device
// that had to rename among namesakes asks for its new name next time, so
// that it does not move around (RFC 6762, 9) and a phone that knew it
// finds it again. A rename in the configuration wins over what was kept.
//
//   KeptName kept(root + "/host/mdns_name");
//   responder->AddService(type, kept.NameToAsk(configured), ...);
//   ... once the network shows it as |name|:
//   kept.Keep(configured, name);
//
// The file is JSON, {"mdns_name": {"asked": ..., "held": ...}}, replaced
// whole by each Keep. Not thread-safe; the file is its own.
#ifndef HOST_NETWORK_KEPT_NAME_H_
#define HOST_NETWORK_KEPT_NAME_H_

#include <string>
#include <utility>

namespace vantor_host {

class KeptName {
 public:
  explicit KeptName(std::string path) : path_(std::move(path)) {}

  // The held name when the file keeps one for |configured|, else
  // |configured|. A file that does not parse is said in the log.
  std::string NameToAsk(const std::string& configured) const;
  // Keeps |held| as the name the network gave for |configured|; false when
  // the file could not be written.
  bool Keep(const std::string& configured, const std::string& held) const;

  const std::string& path() const { return path_; }

 private:
  const std::string path_;
};

}  // namespace vantor_host

#endif  // HOST_NETWORK_KEPT_NAME_H_
