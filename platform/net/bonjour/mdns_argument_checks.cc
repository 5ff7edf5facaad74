// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/mdns_argument_checks.h"

#include <cstddef>

namespace assistant_reference {
namespace {

// DNS limits: a label, and the 16-bit length of a TXT record.
constexpr size_t kMaxLabelBytes = 63;
constexpr size_t kMaxTxtRecordBytes = 65535;

}  // namespace

bool IsValidUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char lead = *p++;
    if (lead < 0x80)
      continue;
    int more;
    unsigned char min = 0x80, max = 0xbf;  // Range of the first trail byte.
    if (lead >= 0xc2 && lead <= 0xdf) {
      more = 1;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      more = 2;
      if (lead == 0xe0)
        min = 0xa0;
      if (lead == 0xed)
        max = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      more = 3;
      if (lead == 0xf0)
        min = 0x90;
      if (lead == 0xf4)
        max = 0x8f;
    } else {
      return false;
    }
    if (end - p < more || *p < min || *p > max)
      return false;
    for (int i = 1; i < more; ++i) {
      if (p[i] < 0x80 || p[i] > 0xbf)
        return false;
    }
    p += more;
  }
  return true;
}

std::string CheckInstanceName(const std::string& name) {
  if (name.find('\0') != std::string::npos)
    return "Invalid instance name: contains a NUL byte";
  if (!IsValidUtf8(name))
    return "Invalid instance name: not valid UTF-8";
  if (name.size() > kMaxLabelBytes) {
    return "Invalid instance name: " + std::to_string(name.size()) +
           " bytes, more than " + std::to_string(kMaxLabelBytes);
  }
  return "";
}

std::string CheckServiceType(const std::string& type) {
  const std::string invalid =
      "Invalid service type: not of the form _name._tcp or _name._udp";
  const size_t dot = type.find('.');
  if (dot == std::string::npos || dot < 2 || dot > kMaxLabelBytes ||
      type[0] != '_') {
    return invalid;
  }
  for (size_t i = 1; i < dot; ++i) {
    const char c = type[i];
    if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') &&
        !(c >= '0' && c <= '9') && c != '-' && c != '_') {
      return invalid;
    }
  }
  std::string protocol = type.substr(dot + 1);
  for (char& c : protocol)
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return protocol == "_tcp" || protocol == "_udp" ? "" : invalid;
}

std::string CheckTxtRecord(const std::string& txt) {
  if (txt.size() > kMaxTxtRecordBytes) {
    return "Invalid TXT record: " + std::to_string(txt.size()) +
           " bytes, more than " + std::to_string(kMaxTxtRecordBytes);
  }
  size_t at = 0;
  while (at < txt.size()) {
    const size_t length = static_cast<unsigned char>(txt[at]);
    if (length > txt.size() - at - 1) {
      return "Invalid TXT record: the string at byte " + std::to_string(at) +
             " has length " + std::to_string(length) + ", past the end";
    }
    at += 1 + length;
  }
  return "";
}

}  // namespace assistant_reference
