// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Feeds arbitrary bytes to the configuration parser below its fatal check,
// then every getter on every key of the section that comes out and on one
// key that is missing. Any crash, sanitizer report or trap is a real fault:
// unparsable text only returns an error here.
//
// The same bytes also go, unsanitized, to the parser itself and to
// nlohmann-json in strict mode: whatever nlohmann accepts, ours must accept
// with the same document (numbers bit for bit), except where json11's rules
// refuse it (a NUL byte, a byte-order mark, too deep). Where ours accepts more
// (invalid UTF-8, lone surrogates, numbers beyond a double), json11 did too.
#include <stddef.h>
#include <stdint.h>

#include <string.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/logging.h"
#include "fuzz/fuzz_support.h"
#include "platform/utils/config_accessor.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/config_parser.h"

namespace {

using fuzz_support::Expect;

using assistant_reference::ConfigAccessor;
using assistant_reference::ConfigInspector;
using assistant_reference::DumpConfigJson;

// Every mismatch logs a warning; drop those, but let a FATAL line reach
// stderr ahead of the abort.
bool DropNonFatal(int severity, const std::string&) {
  return severity != core::LOG_FATAL;
}

void ReadWithEveryGetter(const ConfigAccessor& config, const std::string& key) {
  config.GetBool(key, true);
  config.GetString(key, "default");
  config.GetStringArray(key, {"a", "b"});

  // An INT is a NUMBER of the same value, also inside arrays.
  const int as_int = config.GetInt(key, -1);
  const double as_double = config.GetDouble(key, 0.5);
  if (as_int != -1)
    Expect(as_double == as_int);
  const std::vector<int> kIntDefault = {-1, -2};
  const std::vector<int> ints = config.GetIntArray(key, kIntDefault);
  const std::vector<double> doubles = config.GetDoubleArray(key, {0.5});
  if (ints != kIntDefault) {
    Expect(ints.size() == doubles.size());
    for (size_t i = 0; i < ints.size() && i < doubles.size(); ++i)
      Expect(ints[i] == doubles[i]);
  }
}

// DumpConfigJson's form of |value|.
void Dump(const nlohmann::json& value, std::string* out) {
  const auto dump_string = [out](const std::string& text) {
    *out += 's' + std::to_string(text.size()) + ':';
    *out += text;
  };
  switch (value.type()) {
    case nlohmann::json::value_t::null:
      *out += 'n';
      return;
    case nlohmann::json::value_t::boolean:
      *out += value.get<bool>() ? 't' : 'f';
      return;
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float: {
      const double number = value.get<double>();
      uint64_t bits;
      memcpy(&bits, &number, sizeof(bits));
      char hex[sizeof("d") + 16];
      snprintf(hex, sizeof(hex), "d%016llx",
               static_cast<unsigned long long>(bits));
      *out += hex;
      return;
    }
    case nlohmann::json::value_t::string:
      dump_string(value.get_ref<const std::string&>());
      return;
    case nlohmann::json::value_t::array:
      *out += '[';
      for (const nlohmann::json& item : value)
        Dump(item, out);
      *out += ']';
      return;
    case nlohmann::json::value_t::object: {
      std::vector<std::string> keys;
      for (auto it = value.begin(); it != value.end(); ++it)
        keys.push_back(it.key());
      std::sort(keys.begin(), keys.end());
      *out += '{';
      for (const std::string& key : keys) {
        dump_string(key);
        Dump(value.at(key), out);
      }
      *out += '}';
      return;
    }
    case nlohmann::json::value_t::binary:
    case nlohmann::json::value_t::discarded:
      break;
  }
  Expect(false);
}

// The most containers around one value (json11 allowed 200).
size_t Depth(const nlohmann::json& value) {
  if (!value.is_structured() || value.empty())
    return 0;
  size_t deepest = 0;
  for (const nlohmann::json& item : value)
    deepest = std::max(deepest, Depth(item));
  return deepest + 1;
}

void CompareWithNlohmann(const std::string& text) {
  const nlohmann::json reference =
      nlohmann::json::parse(text, /*cb=*/nullptr, /*allow_exceptions=*/false,
                            /*ignore_comments=*/false);
  // nlohmann stops at a NUL byte and skips a byte-order mark.
  if (reference.is_discarded() || text.find('\0') != std::string::npos ||
      text.compare(0, 3, "\xEF\xBB\xBF") == 0 || Depth(reference) > 200) {
    return;
  }
  std::string dump, error;
  Expect(DumpConfigJson(text, &dump, &error));
  std::string expected;
  Dump(reference, &expected);
  Expect(dump == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kInitialized = [] {
    core::SetLogMessageHandler(&DropNonFatal);
    return true;
  }();
  (void)kInitialized;

  const std::string text(reinterpret_cast<const char*>(data), size);
  CompareWithNlohmann(text);

  std::string error;
  const std::unique_ptr<ConfigAccessor> config =
      ConfigInspector::TryParse(text, "platform_config", &error);
  if (!config) {
    Expect(!error.empty());
    return 0;
  }
  const std::vector<std::string> keys = ConfigInspector::SectionKeys(*config);
  Expect(keys.empty() || config->IsSectionPresent());
  for (const std::string& key : keys)
    ReadWithEveryGetter(*config, key);
  ReadWithEveryGetter(*config, "no such key");
  return 0;
}
