// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the stand-in host and the tools read of a configuration beyond the
// accessor's typed getters: text that may not parse without aborting, the
// keys a section holds, the type of a value, and lists of objects.
//
//   std::string error;
//   auto config = ConfigInspector::TryParse(text, "vantor_host", &error);
//   for (const std::string& key : ConfigInspector::SectionKeys(*config))
//     ...
#ifndef PLATFORM_UTILS_CONFIG_INSPECTOR_H_
#define PLATFORM_UTILS_CONFIG_INSPECTOR_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/utils/config_accessor.h"

namespace assistant_reference {

class ConfigInspector {
 public:
  // Does what the ConfigAccessor constructor does (sanitize, parse, take the
  // section, warn when it is missing), except that text which does not parse
  // returns null and stores the parser's error in |*error| where the
  // constructor would abort.
  static std::unique_ptr<ConfigAccessor> TryParse(
      const std::string& config,
      const std::string& section_name,
      std::string* error);

  // The section's keys in order; empty when the section is not an object.
  static std::vector<std::string> SectionKeys(const ConfigAccessor& accessor);
  // Whether the section has |key|, whatever its value (null included): for
  // optional keys, whose absence is not worth a warning.
  static bool HasKey(const ConfigAccessor& accessor, const std::string& key);
  // The type of the value under |key| as the warnings name it: "NUL" (also
  // for a missing key), "NUMBER", "BOOL", "STRING", "ARRAY" or "OBJECT".
  static std::string TypeOf(const ConfigAccessor& accessor,
                            const std::string& key);
  // Each element of the list under |key| as an accessor of its own, named
  // "<section>.<key>[<index>]" in warnings (not an object: its section is
  // missing); empty when |key| holds no list. For lists of objects, which
  // the typed getters do not cover.
  static std::vector<std::unique_ptr<ConfigAccessor>> ListElements(
      const ConfigAccessor& accessor,
      const std::string& key);
};

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_CONFIG_INSPECTOR_H_
