// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/kept_name.h"

#include <stdio.h>

#include "core/logging.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/file_utils.h"

namespace vantor_host {
namespace {

using assistant_reference::ConfigInspector;

constexpr char kSection[] = "mdns_name";

// |text| as a JSON string: names may hold quotes and control characters.
std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      char escape[8];
      snprintf(escape, sizeof(escape), "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

std::string KeptName::NameToAsk(const std::string& configured) const {
  const std::string text = assistant_reference::ReadFile(path_, false);
  if (text.empty())
    return configured;
  std::string error;
  const auto kept = ConfigInspector::TryParse(text, kSection, &error);
  if (!kept || !ConfigInspector::HasKey(*kept, "asked") ||
      !ConfigInspector::HasKey(*kept, "held")) {
    LOG(WARNING) << "mDNS: " << path_ << " keeps no name; asking for '"
                 << configured << "'";
    return configured;
  }
  const std::string held = kept->GetString("held", "");
  if (kept->GetString("asked", "") != configured || held.empty())
    return configured;
  if (held != configured) {
    LOG(INFO) << "mDNS: asking for '" << held
              << "', the name the network gave this device for '" << configured
              << "'";
  }
  return held;
}

bool KeptName::Keep(const std::string& configured,
                    const std::string& held) const {
  return assistant_reference::WriteFile(
      path_, std::string("{\"") + kSection +
                 "\": {\"asked\": " + JsonString(configured) +
                 ", \"held\": " + JsonString(held) + "}}\n");
}

}  // namespace vantor_host
