// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The configuration dialect: JSON as a json11 parser read it in standard
// mode, after "//" line comments and commas before '}' are removed.
//
//   ConfigValue document;
//   std::string error;
//   if (!ParseConfigText(text, &document, &error))
//     LOG(ERROR) << error;
//   const ConfigValue* section = document.Find("platform_config");
//
// The values keep json11's six types; ConfigAccessor answers typed lookups
// on them. Nothing here aborts or logs: the caller decides what a text that
// does not parse means.
#ifndef PLATFORM_UTILS_CONFIG_PARSER_H_
#define PLATFORM_UTILS_CONFIG_PARSER_H_

#include <string>
#include <utility>
#include <vector>

namespace assistant_reference {

struct ConfigMember;

// A parsed JSON value.
struct ConfigValue {
  enum class Type { kNull, kNumber, kBool, kString, kArray, kObject };

  explicit ConfigValue(Type type = Type::kNull) : type(type) {}

  bool is_null() const { return type == Type::kNull; }

  // The member named |key|; null when there is none or this is no object.
  const ConfigValue* Find(const std::string& key) const;
  ConfigValue* Find(const std::string& key) {
    return const_cast<ConfigValue*>(std::as_const(*this).Find(key));
  }

  Type type;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<ConfigValue> items;     // kArray.
  std::vector<ConfigMember> members;  // kObject: ordered by key, keys unique.
};

struct ConfigMember {
  std::string key;
  ConfigValue value;
};

// The type as warnings name it: "NUL", "NUMBER", "BOOL", "STRING", "ARRAY"
// or "OBJECT".
const char* ConfigTypeName(const ConfigValue& value);

// Removes "//" comments (up to the newline, which stays) and commas whose
// next non-space character is '}', both outside string literals. Commas
// before ']' stay, so such text still fails to parse.
std::string SanitizeConfigText(const std::string& text);

// Parses |text| as it stands (comments and trailing commas are errors here);
// otherwise returns false with the reason, and where, in |*error|.
bool ParseConfigJson(const std::string& text,
                     ConfigValue* document,
                     std::string* error);

// Sanitizes and parses |config| into a document that is not null; otherwise
// returns false with the reason in |*error| ("document is null" for a bare
// null).
bool ParseConfigText(const std::string& config,
                     ConfigValue* document,
                     std::string* error);

// Parses |text| as ParseConfigJson() does and writes the whole document to
// |*dump| in a form for comparing parsers; false with the reason in |*error|
// when it does not parse. The form, with no separators:
//   null "n", true "t", false "f";
//   number "d" and the 16 lowercase hex digits of its IEEE-754 bits;
//   string "s", its length in bytes in decimal, ":", its bytes;
//   array "[", the elements, "]";
//   object "{", then each key (as a string) and its value, keys in
//   std::string order, then "}".
bool DumpConfigJson(const std::string& text,
                    std::string* dump,
                    std::string* error);

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_CONFIG_PARSER_H_
