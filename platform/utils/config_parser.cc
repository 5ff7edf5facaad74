// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/config_parser.h"

#include <inttypes.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

// Boost.JSON's push parser, compiled into this file: the parser template and
// the four sources it calls, so that no Boost library is linked or shipped.
#include <boost/version.hpp>
#if BOOST_VERSION / 100 != 1081 && BOOST_VERSION / 100 != 1083
#error "The Boost.JSON sources included below are those 1.81 and 1.83 need."
#endif
#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/detail/impl/default_resource.ipp>
#include <boost/json/detail/impl/shared_resource.ipp>
#include <boost/json/detail/impl/stack.ipp>
#include <boost/json/impl/error.ipp>
// 1.83 parses numbers with a from_chars of its own and throws through one
// more function.
#if BOOST_VERSION / 100 == 1083
#include <boost/json/detail/charconv/impl/from_chars.ipp>
#include <boost/json/detail/impl/except.ipp>
#endif

#include "core/logging.h"

// Configurations were written for a json11 parser in standard mode; this file
// accepts the same texts, with the same values:
// - String bytes pass through unchanged, invalid UTF-8 included. A \u escape
//   of a UTF-16 surrogate that is not half of a pair becomes its three-byte
//   encoding, as json11 wrote it; a pair becomes one 4-byte character.
// - Every number is the double strtod() reads from its text in the "C"
//   locale (1e999 is infinity, 1e-400 zero), except that "-0" is 0: json11
//   read integers of up to nine characters with atoi().
// - At most 200 containers enclose any value (json11's depth limit; an empty
//   container may be the 201st). Of repeated keys the last one counts.
// - A NUL byte or a leading byte-order mark is refused with its own message
//   (json11 refused both too).
// Boost refuses lone surrogate escapes and exponents beyond the int range;
// PrepareForParser() rewrites both into text of the same meaning first.
//
// Deliberate difference from json11: the error texts (Boost's or ours, with
// the line and column in the text the parser was given, so after the
// sanitizing and the rewrites).

namespace assistant_reference {
namespace {

constexpr size_t kMaxDepth = 200;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
// An exponent with more significant digits than this is beyond Boost's int.
constexpr size_t kMaxExponentDigits = 9;

// isspace() of the "C" locale, whatever locale the host process set.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
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

}  // namespace

std::string SanitizeConfigText(const std::string& text) {
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

namespace {

int HexDigit(char c) {
  if (IsDigit(c))
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// The code unit of a \u escape starting at |text[i]|, or -1 when there is
// none.
long EscapedUnit(const std::string& text, size_t i) {
  if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u')
    return -1;
  long unit = 0;
  for (size_t j = i + 2; j < i + 6; ++j) {
    const int digit = HexDigit(text[j]);
    if (digit < 0)
      return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

bool IsHighSurrogate(long unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(long unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Rewrites what json11 accepted and Boost refuses into text of the same
// meaning:
// - A \u escape of a surrogate that is not half of a pair becomes the three
//   bytes json11 wrote for it. (A pair stays: both combine it.)
// - An exponent of more significant digits than Boost takes becomes nine
//   nines; for any mantissa a text can hold, both mean infinity or zero.
// Only escapes inside strings and exponents after a digit outside them are
// touched, so text that does not parse still does not.
std::string PrepareForParser(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string && c == '\\' && i + 1 < text.size()) {
      const long unit = EscapedUnit(text, i);
      if (IsHighSurrogate(unit) && IsLowSurrogate(EscapedUnit(text, i + 6))) {
        result.append(text, i, 12);
        i += 11;
      } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
        result.push_back(static_cast<char>(0xE0 | (unit >> 12)));
        result.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        result.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        i += 5;
      } else {
        // Whatever is escaped, it does not end the string.
        result.append(text, i, 2);
        ++i;
      }
      continue;
    }
    if (c == '"') {
      in_string = !in_string;
    } else if (!in_string && (c == 'e' || c == 'E') && i > 0 &&
               IsDigit(text[i - 1])) {
      size_t digits = i + 1;
      if (digits < text.size() && (text[digits] == '+' || text[digits] == '-'))
        ++digits;
      while (digits < text.size() && text[digits] == '0')
        ++digits;
      size_t end = digits;
      while (end < text.size() && IsDigit(text[end]))
        ++end;
      if (end - digits > kMaxExponentDigits) {
        result.append(text, i, digits - i);
        result.append(kMaxExponentDigits, '9');
        i = end - 1;
        continue;
      }
    }
    result.push_back(c);
  }
  return result;
}

// strtod() of the "C" locale, whatever locale the host process set.
double ReadDouble(const std::string& text) {
  static const locale_t kC = [] {
    const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    CHECK(c);
    return c;
  }();
  return strtod_l(text.c_str(), nullptr, kC);
}

// Orders |members| by key, keeping the last of repeated keys as json11's map
// assignment did.
void SortMembers(std::vector<ConfigMember>* members) {
  std::stable_sort(members->begin(), members->end(),
                   [](const ConfigMember& a, const ConfigMember& b) {
                     return a.key < b.key;
                   });
  auto kept = members->begin();
  for (auto it = members->begin(); it != members->end();) {
    auto last = it;
    while (last + 1 != members->end() && (last + 1)->key == it->key)
      ++last;
    if (kept != last)
      *kept = std::move(*last);
    ++kept;
    it = last + 1;
  }
  members->erase(kept, members->end());
}

using ErrorCode = boost::json::error_code;
using StringView = boost::json::string_view;

void Append(std::string* text, StringView part) {
  text->append(part.data(), part.size());
}

// The handler of boost::json::basic_parser: builds the document from its
// events. Returning false stops the parse; nothing here throws.
class DocumentBuilder {
 public:
  static constexpr size_t max_object_size = SIZE_MAX;
  static constexpr size_t max_array_size = SIZE_MAX;
  static constexpr size_t max_key_size = SIZE_MAX;
  static constexpr size_t max_string_size = SIZE_MAX;

  bool on_document_begin(ErrorCode&) { return true; }
  bool on_document_end(ErrorCode&) { return true; }
  bool on_object_begin(ErrorCode&) { return Open(ConfigValue::Type::kObject); }
  bool on_object_end(size_t, ErrorCode&) {
    SortMembers(&open_.back()->members);
    open_.pop_back();
    return true;
  }
  bool on_array_begin(ErrorCode&) { return Open(ConfigValue::Type::kArray); }
  bool on_array_end(size_t, ErrorCode&) {
    open_.pop_back();
    return true;
  }
  bool on_key_part(StringView part, size_t, ErrorCode&) {
    Append(&key_, part);
    return true;
  }
  bool on_key(StringView part, size_t, ErrorCode&) {
    Append(&key_, part);
    return true;
  }
  bool on_string_part(StringView part, size_t, ErrorCode&) {
    Append(&text_, part);
    return true;
  }
  bool on_string(StringView part, size_t, ErrorCode&) {
    Append(&text_, part);
    ConfigValue value(ConfigValue::Type::kString);
    value.string = std::move(text_);
    text_.clear();
    return Place(std::move(value));
  }
  bool on_number_part(StringView part, ErrorCode&) {
    Append(&text_, part);
    return true;
  }
  // Boost 1.81 rounds some doubles otherwise than strtod() does ("9e91", for
  // one): every number is read again from its text.
  bool on_int64(int64_t, StringView part, ErrorCode&) {
    return AddNumber(part);
  }
  bool on_uint64(uint64_t, StringView part, ErrorCode&) {
    return AddNumber(part);
  }
  bool on_double(double, StringView part, ErrorCode&) {
    return AddNumber(part);
  }
  bool on_bool(bool boolean, ErrorCode&) {
    ConfigValue value(ConfigValue::Type::kBool);
    value.boolean = boolean;
    return Place(std::move(value));
  }
  bool on_null(ErrorCode&) { return Place(ConfigValue()); }
  // Comments are refused by the parse options; these are never called.
  bool on_comment_part(StringView, ErrorCode&) { return false; }
  bool on_comment(StringView, ErrorCode&) { return false; }

  bool too_deep() const { return too_deep_; }
  ConfigValue& document() { return document_; }

 private:
  bool AddNumber(StringView last_part) {
    Append(&text_, last_part);
    ConfigValue value(ConfigValue::Type::kNumber);
    value.number = text_ == "-0" ? 0.0 : ReadDouble(text_);
    text_.clear();
    return Place(std::move(value));
  }

  bool Open(ConfigValue::Type type) {
    ConfigValue* container = Place(ConfigValue(type));
    if (container)
      open_.push_back(container);
    return container != nullptr;
  }

  // Stores |value| in the open container, or as the document, and returns
  // where it now lives: stable while it is the open container, since nothing
  // is added to its parent until it closes. Null past the depth limit.
  ConfigValue* Place(ConfigValue value) {
    if (open_.size() > kMaxDepth) {
      too_deep_ = true;
      return nullptr;
    }
    if (open_.empty()) {
      document_ = std::move(value);
      return &document_;
    }
    ConfigValue* parent = open_.back();
    if (parent->type == ConfigValue::Type::kArray) {
      parent->items.push_back(std::move(value));
      return &parent->items.back();
    }
    parent->members.push_back(ConfigMember{std::move(key_), std::move(value)});
    key_.clear();
    return &parent->members.back().value;
  }

  ConfigValue document_;
  std::vector<ConfigValue*> open_;  // Containers being filled, innermost last.
  std::string key_;                 // The key of the next member.
  std::string text_;                // The string or number being read.
  bool too_deep_ = false;
};

// "line L, column C" of |offset| in |text|, both counted from 1.
std::string Position(const std::string& text, size_t offset) {
  const auto at = text.begin() + std::min(offset, text.size());
  const auto line_start =
      std::find(std::make_reverse_iterator(at), text.rend(), '\n').base();
  return "line " + std::to_string(1 + std::count(text.begin(), at, '\n')) +
         ", column " + std::to_string(1 + (at - line_start));
}

}  // namespace

bool ParseConfigJson(const std::string& text,
                     ConfigValue* document,
                     std::string* error) {
  if (text.find('\0') != std::string::npos) {
    *error = "unexpected NUL byte";
    return false;
  }
  if (text.compare(0, sizeof(kUtf8Bom) - 1, kUtf8Bom) == 0) {
    *error = "unexpected UTF-8 byte order mark";
    return false;
  }
  const std::string prepared = PrepareForParser(text);
  boost::json::parse_options options;
  options.allow_invalid_utf8 = true;
  // Room for one more container than the builder takes, so that its own
  // check, which also counts scalars, decides.
  options.max_depth = kMaxDepth + 2;
  boost::json::basic_parser<DocumentBuilder> parser(options);
  ErrorCode code;
  const size_t used =
      parser.write_some(/*more=*/false, prepared.data(), prepared.size(), code);
  if (parser.handler().too_deep()) {
    *error = "exceeded maximum nesting depth at " + Position(prepared, used);
    return false;
  }
  if (code) {
    *error = code.message() + " at " + Position(prepared, used);
    return false;
  }
  // The parser stops after the first value and the space behind it.
  if (used != prepared.size()) {
    *error = "extra data at " + Position(prepared, used);
    return false;
  }
  *document = std::move(parser.handler().document());
  return true;
}

namespace {

void DumpString(const std::string& text, std::string* out) {
  *out += 's' + std::to_string(text.size()) + ':';
  *out += text;
}

void Dump(const ConfigValue& value, std::string* out) {
  switch (value.type) {
    case ConfigValue::Type::kNull:
      *out += 'n';
      return;
    case ConfigValue::Type::kBool:
      *out += value.boolean ? 't' : 'f';
      return;
    case ConfigValue::Type::kNumber: {
      uint64_t bits;
      memcpy(&bits, &value.number, sizeof(bits));
      char hex[sizeof("d") + 16];
      snprintf(hex, sizeof(hex), "d%016" PRIx64, bits);
      *out += hex;
      return;
    }
    case ConfigValue::Type::kString:
      DumpString(value.string, out);
      return;
    case ConfigValue::Type::kArray:
      *out += '[';
      for (const ConfigValue& item : value.items)
        Dump(item, out);
      *out += ']';
      return;
    case ConfigValue::Type::kObject:
      *out += '{';
      for (const ConfigMember& member : value.members) {
        DumpString(member.key, out);
        Dump(member.value, out);
      }
      *out += '}';
      return;
  }
}

}  // namespace

const ConfigValue* ConfigValue::Find(const std::string& key) const {
  if (type != Type::kObject)
    return nullptr;
  auto it =
      std::lower_bound(members.begin(), members.end(), key,
                       [](const ConfigMember& member, const std::string& k) {
                         return member.key < k;
                       });
  return it != members.end() && it->key == key ? &it->value : nullptr;
}

const char* ConfigTypeName(const ConfigValue& value) {
  switch (value.type) {
    case ConfigValue::Type::kNull:
      return "NUL";
    case ConfigValue::Type::kNumber:
      return "NUMBER";
    case ConfigValue::Type::kBool:
      return "BOOL";
    case ConfigValue::Type::kString:
      return "STRING";
    case ConfigValue::Type::kArray:
      return "ARRAY";
    case ConfigValue::Type::kObject:
      return "OBJECT";
  }
  CHECK(false);
  return "";
}

bool ParseConfigText(const std::string& config,
                     ConfigValue* document,
                     std::string* error) {
  ConfigValue root;
  if (!ParseConfigJson(SanitizeConfigText(config), &root, error))
    return false;
  if (root.is_null()) {
    *error = "document is null";
    return false;
  }
  *document = std::move(root);
  return true;
}

bool DumpConfigJson(const std::string& text,
                    std::string* dump,
                    std::string* error) {
  ConfigValue document;
  if (!ParseConfigJson(text, &document, error))
    return false;
  dump->clear();
  Dump(document, dump);
  return true;
}

}  // namespace assistant_reference
