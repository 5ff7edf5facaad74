// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// ConfigAccessor below its fatal check, for the fuzzer and the tests. Not
// part of the exported interface.
#ifndef PLATFORM_UTILS_CONFIG_ACCESSOR_INTERNAL_H_
#define PLATFORM_UTILS_CONFIG_ACCESSOR_INTERNAL_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/utils/config_accessor.h"

namespace assistant_reference {

class ConfigAccessorInternal {
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

  // Parses |text| as the accessor does after sanitizing it (no comment or
  // comma removal here) and writes the whole document to |*dump| in a form
  // for comparing parsers; false with the reason in |*error| when it does
  // not parse. The form, with no separators:
  //   null "n", true "t", false "f";
  //   number "d" and the 16 lowercase hex digits of its IEEE-754 bits;
  //   string "s", its length in bytes in decimal, ":", its bytes;
  //   array "[", the elements, "]";
  //   object "{", then each key (as a string) and its value, keys in
  //   std::string order, then "}".
  static bool DumpDocument(const std::string& text,
                           std::string* dump,
                           std::string* error);
};

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_CONFIG_ACCESSOR_INTERNAL_H_
