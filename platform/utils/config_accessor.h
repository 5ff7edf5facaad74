// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Typed, defaulted access to one top-level section of the JSON configuration.
//
//   auto config = ConfigAccessor::Parse(text, "platform_config");
//   std::string path = config->GetString("mic_state_path", kDefaultPath);
//
// The text may carry "//" line comments and trailing commas before '}'.
// Text that does not parse is fatal (CHECK). A lookup that cannot return the
// stored value (missing key, other type, number outside the int range) logs
// one WARNING naming section, key, type found and default, and returns the
// default. Immutable after construction: the getters may run on any thread.
#ifndef PLATFORM_UTILS_CONFIG_ACCESSOR_H_
#define PLATFORM_UTILS_CONFIG_ACCESSOR_H_

#include <memory>
#include <string>
#include <vector>

#include "core/export.h"

namespace assistant_reference {

// The parsed section; defined in config_accessor.cc so that callers see
// neither the parser's types nor the JSON library.
class ConfigSection;

class VANTOR_EXPORT ConfigAccessor {
 public:
  // Never returns null.
  static std::unique_ptr<ConfigAccessor> Parse(const std::string& config,
                                               const std::string& section_name);

  ConfigAccessor(const std::string& config, const std::string& section_name);
  ConfigAccessor(const ConfigAccessor&) = delete;
  ConfigAccessor& operator=(const ConfigAccessor&) = delete;
  ~ConfigAccessor();

  // True when the section is a JSON object.
  bool IsSectionPresent() const;

  bool GetBool(const std::string& key, bool default_value) const;
  // Only integral numbers within the int range count as INT.
  int GetInt(const std::string& key, int default_value) const;
  double GetDouble(const std::string& key, double default_value) const;
  std::string GetString(const std::string& key,
                        const std::string& default_value) const;

  // All elements must qualify, or the whole default is returned.
  std::vector<int> GetIntArray(const std::string& key,
                               std::vector<int> default_value) const;
  std::vector<double> GetDoubleArray(const std::string& key,
                                     std::vector<double> default_value) const;
  std::vector<std::string> GetStringArray(
      const std::string& key,
      std::vector<std::string> default_value) const;

 private:
  friend class ConfigInspector;  // Builds accessors without the CHECK.

  VANTOR_HIDDEN ConfigAccessor(const std::string& section_name,
                               std::unique_ptr<const ConfigSection> section);

  const std::string section_name_;
  const std::unique_ptr<const ConfigSection> section_;  // Never null.
};

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_CONFIG_ACCESSOR_H_
