#include "platform/utils/config_accessor.h"

#include <math.h>

#include <climits>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

#include "core/logging.h"
#include "platform/utils/config_accessor_internal.h"

// Configurations were written for a json11 parser in standard mode; this file
// reproduces what such a parser accepts on top of nlohmann::json. The SAX
// interface lets us build the value without exceptions, cap the depth at
// json11's 200 (nlohmann has no cap; we count objects and arrays open at
// once), and read every number as one double. nlohmann stops at a NUL byte and
// skips a byte-order mark, so both are refused before parsing.
//
// Deliberate differences from json11:
// - Error texts are nlohmann's (without the "[json.exception.*.N] " prefix),
//   or our own for a NUL byte, a byte-order mark, the depth and a document
//   that is the literal null.
// - Invalid UTF-8, lone UTF-16 surrogates in \u escapes and numbers beyond the
//   range of a double are refused; json11 accepted them.
// - "-0" reads as 0 (integers reach us as integers, not as text).

namespace assistant_reference {

using Json = nlohmann::json;

class ConfigSection {
 public:
  explicit ConfigSection(Json value) : value(std::move(value)) {}

  const Json value;
};

namespace {

constexpr size_t kMaxDepth = 200;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr char kJsonExceptionPrefix[] = "[json.exception.";

// isspace() of the "C" locale, whatever locale the host process set.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Follows a left-to-right walk: inside a string literal or not. A quote
// toggles the state unless an odd run of backslashes escapes it.
class StringTracker {
 public:
  void Feed(char c) {
    if (c == '"' && backslashes_ % 2 == 0)
      in_string_ = !in_string_;
    backslashes_ = c == '\\' ? backslashes_ + 1 : 0;
  }
  bool in_string() const { return in_string_; }

 private:
  bool in_string_ = false;
  size_t backslashes_ = 0;
};

// Removes "//" comments (up to the newline, which stays) and commas whose
// next non-space character is '}', both outside string literals. Commas
// before ']' stay, so such text still fails to parse.
std::string SanitizeInput(const std::string& text) {
  std::string uncommented;
  uncommented.reserve(text.size());
  StringTracker tracker;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '/' &&
        !tracker.in_string()) {
      i = text.find('\n', i);
      if (i == std::string::npos)
        break;
    }
    tracker.Feed(text[i]);
    uncommented.push_back(text[i]);
  }

  std::string result;
  result.reserve(uncommented.size());
  tracker = StringTracker();
  for (size_t i = 0; i < uncommented.size(); ++i) {
    const char c = uncommented[i];
    const bool in_string = tracker.in_string();
    tracker.Feed(c);
    if (c == ',' && !in_string) {
      size_t next = i + 1;
      while (next < uncommented.size() && IsSpace(uncommented[next]))
        ++next;
      if (next < uncommented.size() && uncommented[next] == '}')
        continue;
    }
    result.push_back(c);
  }
  return result;
}

std::string StripExceptionId(const std::string& what) {
  if (what.compare(0, sizeof(kJsonExceptionPrefix) - 1, kJsonExceptionPrefix) !=
      0) {
    return what;
  }
  const size_t end = what.find("] ");
  return end == std::string::npos ? what : what.substr(end + 2);
}

// Builds the document from nlohmann's SAX events. Returning false stops the
// parse; nothing here throws.
class DocumentBuilder {
 public:
  bool null() { return Add(nullptr); }
  bool boolean(bool value) { return Add(value); }
  bool number_integer(Json::number_integer_t value) {
    return Add(static_cast<double>(value));
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    return Add(static_cast<double>(value));
  }
  bool number_float(Json::number_float_t value, const Json::string_t&) {
    return Add(value);
  }
  bool string(Json::string_t& value) { return Add(std::move(value)); }
  bool binary(Json::binary_t&) { return Fail("unexpected binary value"); }
  bool start_object(std::size_t) { return Open(Json::object()); }
  bool key(Json::string_t& name) {
    key_slot_ = &(*open_.back())[name];  // Repeated keys: the last one wins.
    return true;
  }
  bool end_object() { return Close(); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool end_array() { return Close(); }
  bool parse_error(std::size_t,
                   const std::string&,
                   const Json::exception& exception) {
    return Fail(StripExceptionId(exception.what()));
  }

  Json& document() { return document_; }
  const std::string& error() const { return error_; }

 private:
  bool Add(Json value) {
    Place(std::move(value));
    return true;
  }

  // Returns where |value| now lives; stable while it is the open container,
  // since nothing is added to its parent until it closes.
  Json* Place(Json value) {
    if (open_.empty()) {
      document_ = std::move(value);
      return &document_;
    }
    Json* parent = open_.back();
    if (parent->is_array()) {
      parent->push_back(std::move(value));
      return &parent->back();
    }
    *key_slot_ = std::move(value);
    return key_slot_;
  }

  bool Open(Json container) {
    if (open_.size() == kMaxDepth)
      return Fail("exceeded maximum nesting depth");
    open_.push_back(Place(std::move(container)));
    return true;
  }

  bool Close() {
    open_.pop_back();
    return true;
  }

  bool Fail(std::string error) {
    error_ = std::move(error);
    return false;
  }

  Json document_;
  std::vector<Json*> open_;   // Containers being filled, innermost last.
  Json* key_slot_ = nullptr;  // Where the next value of an object goes.
  std::string error_;
};

// Sanitizes and parses |config| into a document that is not null; otherwise
// returns false with the reason in |*error|.
bool ParseDocument(const std::string& config,
                   Json* document,
                   std::string* error) {
  const std::string text = SanitizeInput(config);
  if (text.find('\0') != std::string::npos) {
    *error = "unexpected NUL byte";
    return false;
  }
  if (text.compare(0, sizeof(kUtf8Bom) - 1, kUtf8Bom) == 0) {
    *error = "unexpected UTF-8 byte order mark";
    return false;
  }
  DocumentBuilder builder;
  if (!Json::sax_parse(text, &builder, Json::input_format_t::json,
                       /*strict=*/true, /*ignore_comments=*/false)) {
    *error = builder.error();
    return false;
  }
  if (builder.document().is_null()) {
    *error = "document is null";
    return false;
  }
  *document = std::move(builder.document());
  return true;
}

Json TakeSection(Json root, const std::string& section_name) {
  Json section;
  if (root.is_object()) {
    auto it = root.find(section_name);
    if (it != root.end())
      section = std::move(*it);
  }
  if (!section.is_object())
    LOG(WARNING) << "Can not find section_name: " << section_name;
  return section;
}

Json ParseConfig(const std::string& config, const std::string& section_name) {
  Json root;
  if (!config.empty()) {
    std::string error;
    ParseDocument(config, &root, &error);
    CHECK(!root.is_null()) << "Platform config failed to parse with error: "
                           << error;
  }
  return TakeSection(std::move(root), section_name);
}

const Json& Lookup(const Json& section, const std::string& key) {
  static const Json* const kNull = new Json();  // Never destroyed.
  if (section.is_object()) {
    auto it = section.find(key);
    if (it != section.end())
      return *it;
  }
  return *kNull;
}

const char* TypeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "NUL";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "NUMBER";
    case Json::value_t::boolean:
      return "BOOL";
    case Json::value_t::string:
      return "STRING";
    case Json::value_t::array:
      return "ARRAY";
    case Json::value_t::object:
      return "OBJECT";
    case Json::value_t::binary:
    case Json::value_t::discarded:
      break;
  }
  CHECK(false);
  return "";
}

bool ToInt(const Json& value, int* result) {
  if (!value.is_number())
    return false;
  const double number = value.get<double>();
  // Converting a double outside the int range is undefined.
  if (!(number >= INT_MIN && number <= INT_MAX) || trunc(number) != number)
    return false;
  *result = static_cast<int>(number);
  return true;
}

bool ToDouble(const Json& value, double* result) {
  if (!value.is_number())
    return false;
  *result = value.get<double>();
  return true;
}

bool ToString(const Json& value, std::string* result) {
  if (!value.is_string())
    return false;
  *result = value.get_ref<const std::string&>();
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
                  const Json& found,
                  const char* instead_of,
                  const T& returning) {
  LOG(WARNING) << "For key |" << section_name << "." << key << "| found type "
               << TypeName(found) << instead_of << returning;
}

template <typename T>
std::vector<T> GetArray(const std::string& section_name,
                        const Json& section,
                        const std::string& key,
                        std::vector<T> default_value,
                        bool (*convert)(const Json&, T*),
                        const char* in_array_instead_of) {
  const Json& value = Lookup(section, key);
  if (!value.is_array()) {
    WarnMismatch(section_name, key, value, " instead of ARRAY; returning: ",
                 PrintedList<T>{default_value});
    return default_value;
  }
  std::vector<T> result;
  result.reserve(value.size());
  for (const Json& item : value) {
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
  return section_->value.is_object();
}

bool ConfigAccessor::GetBool(const std::string& key, bool default_value) const {
  const Json& value = Lookup(section_->value, key);
  if (value.is_boolean())
    return value.get<bool>();
  WarnMismatch(section_name_, key, value, " instead of BOOL; returning: ",
               default_value ? "true" : "false");
  return default_value;
}

int ConfigAccessor::GetInt(const std::string& key, int default_value) const {
  const Json& value = Lookup(section_->value, key);
  int result;
  if (ToInt(value, &result))
    return result;
  WarnMismatch(section_name_, key, value,
               " instead of INT; returning: ", default_value);
  return default_value;
}

double ConfigAccessor::GetDouble(const std::string& key,
                                 double default_value) const {
  const Json& value = Lookup(section_->value, key);
  double result;
  if (ToDouble(value, &result))
    return result;
  WarnMismatch(section_name_, key, value,
               " instead of NUMBER; returning: ", default_value);
  return default_value;
}

std::string ConfigAccessor::GetString(const std::string& key,
                                      const std::string& default_value) const {
  const Json& value = Lookup(section_->value, key);
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
std::unique_ptr<ConfigAccessor> ConfigAccessorInternal::TryParse(
    const std::string& config,
    const std::string& section_name,
    std::string* error) {
  Json root;
  if (!config.empty() && !ParseDocument(config, &root, error))
    return nullptr;
  return std::unique_ptr<ConfigAccessor>(new ConfigAccessor(
      section_name, std::make_unique<const ConfigSection>(
                        TakeSection(std::move(root), section_name))));
}

// static
std::vector<std::string> ConfigAccessorInternal::SectionKeys(
    const ConfigAccessor& accessor) {
  std::vector<std::string> keys;
  const Json& section = accessor.section_->value;
  if (section.is_object()) {
    for (auto it = section.begin(); it != section.end(); ++it)
      keys.push_back(it.key());
  }
  return keys;
}

}  // namespace assistant_reference
