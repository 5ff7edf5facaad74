// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/config_accessor.h"

#include <math.h>

#include <climits>
#include <ostream>
#include <utility>

#include "core/logging.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/config_parser.h"

namespace assistant_reference {

// Behind the accessor's pointer, so that its header needs no parser types.
class ConfigSection {
 public:
  explicit ConfigSection(ConfigValue value) : value(std::move(value)) {}

  const ConfigValue value;
};

namespace {

ConfigValue TakeSection(ConfigValue root, const std::string& section_name) {
  ConfigValue section;
  if (ConfigValue* found = root.Find(section_name))
    section = std::move(*found);
  if (section.type != ConfigValue::Type::kObject)
    LOG(WARNING) << "Can not find section_name: " << section_name;
  return section;
}

ConfigValue ParseConfig(const std::string& config,
                        const std::string& section_name) {
  ConfigValue root;
  if (!config.empty()) {
    std::string error;
    ParseConfigText(config, &root, &error);
    CHECK(!root.is_null()) << "Platform config failed to parse with error: "
                           << error;
  }
  return TakeSection(std::move(root), section_name);
}

const ConfigValue& Lookup(const ConfigValue& section, const std::string& key) {
  static const ConfigValue* const kNull =
      new ConfigValue();  // Never destroyed.
  const ConfigValue* value = section.Find(key);
  return value ? *value : *kNull;
}

bool ToInt(const ConfigValue& value, int* result) {
  if (value.type != ConfigValue::Type::kNumber)
    return false;
  const double number = value.number;
  // Converting a double outside the int range is undefined.
  if (!(number >= INT_MIN && number <= INT_MAX) || trunc(number) != number)
    return false;
  *result = static_cast<int>(number);
  return true;
}

bool ToDouble(const ConfigValue& value, double* result) {
  if (value.type != ConfigValue::Type::kNumber)
    return false;
  *result = value.number;
  return true;
}

bool ToString(const ConfigValue& value, std::string* result) {
  if (value.type != ConfigValue::Type::kString)
    return false;
  *result = value.string;
  return true;
}

template <typename T>
struct PrintedList {
  const std::vector<T>& items;
};

template <typename T>
std::ostream& operator<<(std::ostream& out, const PrintedList<T>& list) {
  out << '[';
  for (size_t i = 0; i < list.items.size(); ++i)
    out << (i ? ", " : "") << list.items[i];
  return out << ']';
}

template <typename T>
void WarnMismatch(const std::string& section_name,
                  const std::string& key,
                  const ConfigValue& found,
                  const char* instead_of,
                  const T& returning) {
  LOG(WARNING) << "For key |" << section_name << "." << key << "| found type "
               << ConfigTypeName(found) << instead_of << returning;
}

template <typename T>
std::vector<T> GetArray(const std::string& section_name,
                        const ConfigValue& section,
                        const std::string& key,
                        std::vector<T> default_value,
                        bool (*convert)(const ConfigValue&, T*),
                        const char* in_array_instead_of) {
  const ConfigValue& value = Lookup(section, key);
  if (value.type != ConfigValue::Type::kArray) {
    WarnMismatch(section_name, key, value, " instead of ARRAY; returning: ",
                 PrintedList<T>{default_value});
    return default_value;
  }
  std::vector<T> result;
  result.reserve(value.items.size());
  for (const ConfigValue& item : value.items) {
    T converted{};
    if (!convert(item, &converted)) {
      WarnMismatch(section_name, key, item, in_array_instead_of,
                   PrintedList<T>{default_value});
      return default_value;
    }
    result.push_back(std::move(converted));
  }
  return result;
}

}  // namespace

// static
std::unique_ptr<ConfigAccessor> ConfigAccessor::Parse(
    const std::string& config,
    const std::string& section_name) {
  return std::unique_ptr<ConfigAccessor>(
      new ConfigAccessor(config, section_name));
}

ConfigAccessor::ConfigAccessor(const std::string& config,
                               const std::string& section_name)
    : ConfigAccessor(section_name,
                     std::make_unique<const ConfigSection>(
                         ParseConfig(config, section_name))) {}

ConfigAccessor::ConfigAccessor(const std::string& section_name,
                               std::unique_ptr<const ConfigSection> section)
    : section_name_(section_name), section_(std::move(section)) {}

ConfigAccessor::~ConfigAccessor() = default;

bool ConfigAccessor::IsSectionPresent() const {
  return section_->value.type == ConfigValue::Type::kObject;
}

bool ConfigAccessor::GetBool(const std::string& key, bool default_value) const {
  const ConfigValue& value = Lookup(section_->value, key);
  if (value.type == ConfigValue::Type::kBool)
    return value.boolean;
  WarnMismatch(section_name_, key, value, " instead of BOOL; returning: ",
               default_value ? "true" : "false");
  return default_value;
}

int ConfigAccessor::GetInt(const std::string& key, int default_value) const {
  const ConfigValue& value = Lookup(section_->value, key);
  int result;
  if (ToInt(value, &result))
    return result;
  WarnMismatch(section_name_, key, value,
               " instead of INT; returning: ", default_value);
  return default_value;
}

double ConfigAccessor::GetDouble(const std::string& key,
                                 double default_value) const {
  const ConfigValue& value = Lookup(section_->value, key);
  double result;
  if (ToDouble(value, &result))
    return result;
  WarnMismatch(section_name_, key, value,
               " instead of NUMBER; returning: ", default_value);
  return default_value;
}

std::string ConfigAccessor::GetString(const std::string& key,
                                      const std::string& default_value) const {
  const ConfigValue& value = Lookup(section_->value, key);
  std::string result;
  if (ToString(value, &result))
    return result;
  WarnMismatch(section_name_, key, value, " instead of STRING; returning: \"",
               default_value + "\"");
  return default_value;
}

std::vector<int> ConfigAccessor::GetIntArray(
    const std::string& key,
    std::vector<int> default_value) const {
  return GetArray<int>(section_name_, section_->value, key,
                       std::move(default_value), &ToInt,
                       " in array instead of INT; returning: ");
}

std::vector<double> ConfigAccessor::GetDoubleArray(
    const std::string& key,
    std::vector<double> default_value) const {
  return GetArray<double>(section_name_, section_->value, key,
                          std::move(default_value), &ToDouble,
                          " in array instead of NUMBER; returning: ");
}

std::vector<std::string> ConfigAccessor::GetStringArray(
    const std::string& key,
    std::vector<std::string> default_value) const {
  return GetArray<std::string>(section_name_, section_->value, key,
                               std::move(default_value), &ToString,
                               " in array instead of STRING; returning: ");
}

// static
std::unique_ptr<ConfigAccessor> ConfigInspector::TryParse(
    const std::string& config,
    const std::string& section_name,
    std::string* error) {
  ConfigValue root;
  if (!config.empty() && !ParseConfigText(config, &root, error))
    return nullptr;
  return std::unique_ptr<ConfigAccessor>(new ConfigAccessor(
      section_name, std::make_unique<const ConfigSection>(
                        TakeSection(std::move(root), section_name))));
}

// static
bool ConfigInspector::HasKey(const ConfigAccessor& accessor,
                             const std::string& key) {
  for (const std::string& present : SectionKeys(accessor)) {
    if (present == key)
      return true;
  }
  return false;
}

// static
std::vector<std::string> ConfigInspector::SectionKeys(
    const ConfigAccessor& accessor) {
  std::vector<std::string> keys;
  for (const ConfigMember& member : accessor.section_->value.members)
    keys.push_back(member.key);
  return keys;
}

// static
std::string ConfigInspector::TypeOf(const ConfigAccessor& accessor,
                                    const std::string& key) {
  const ConfigValue* value = accessor.section_->value.Find(key);
  return value ? ConfigTypeName(*value) : "NUL";
}

// static
std::vector<std::unique_ptr<ConfigAccessor>> ConfigInspector::ListElements(
    const ConfigAccessor& accessor,
    const std::string& key) {
  std::vector<std::unique_ptr<ConfigAccessor>> elements;
  const ConfigValue* list = accessor.section_->value.Find(key);
  if (!list || list->type != ConfigValue::Type::kArray)
    return elements;
  for (size_t i = 0; i < list->items.size(); ++i) {
    elements.emplace_back(new ConfigAccessor(
        accessor.section_name_ + "." + key + "[" + std::to_string(i) + "]",
        std::make_unique<const ConfigSection>(list->items[i])));
  }
  return elements;
}

}  // namespace assistant_reference
