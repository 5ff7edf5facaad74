// Feeds arbitrary bytes to the configuration parser below its fatal check,
// then every getter on every key of the section that comes out and on one
// key that is missing. Any crash, sanitizer report or trap is a real fault:
// unparsable text only returns an error here.
#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "core/logging.h"
#include "platform/utils/config_accessor.h"
#include "platform/utils/config_accessor_internal.h"

namespace {

using assistant_reference::ConfigAccessor;
using assistant_reference::ConfigAccessorInternal;

// Every mismatch logs a warning; drop those, but let a FATAL line reach
// stderr ahead of the abort.
bool DropNonFatal(int severity, const std::string&) {
  return severity != core::LOG_FATAL;
}

void Expect(bool condition) {
  if (!condition)
    __builtin_trap();
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kInitialized = [] {
    core::SetLogMessageHandler(&DropNonFatal);
    return true;
  }();
  (void)kInitialized;

  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::unique_ptr<ConfigAccessor> config =
      ConfigAccessorInternal::TryParse(text, "platform_config", &error);
  if (!config) {
    Expect(!error.empty());
    return 0;
  }
  const std::vector<std::string> keys =
      ConfigAccessorInternal::SectionKeys(*config);
  Expect(keys.empty() || config->IsSectionPresent());
  for (const std::string& key : keys)
    ReadWithEveryGetter(*config, key);
  ReadWithEveryGetter(*config, "no such key");
  return 0;
}
