// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/config_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/utils/config_accessor.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/file_utils.h"

namespace bench {
namespace {

using assistant_reference::ConfigAccessor;
using assistant_reference::ConfigInspector;
using Json = nlohmann::json;

Json ParseStrict(const std::string& text) {
  return Json::parse(text, nullptr, /*allow_exceptions=*/false);
}

// The benchmark compares two parses of one document: both texts must hold
// the same section, read the accessor's way and the strict way.
TEST(ConfigTextTest, LargeConfigHoldsOneDocumentInBothForms) {
  const ConfigText text = MakeLargeConfig(64 * 1024);
  EXPECT_GE(text.relaxed.size(), 64u * 1024);
  EXPECT_NE(text.relaxed, text.strict);

  const Json strict = ParseStrict(text.strict);
  ASSERT_FALSE(strict.is_discarded());
  const Json& section = strict["platform_config"];
  ASSERT_TRUE(section.is_object());

  std::string error;
  std::unique_ptr<ConfigAccessor> accessor =
      ConfigInspector::TryParse(text.relaxed, "platform_config", &error);
  ASSERT_TRUE(accessor) << error;
  std::vector<std::string> keys;
  for (const auto& item : section.items())
    keys.push_back(item.key());
  std::vector<std::string> accessor_keys =
      ConfigInspector::SectionKeys(*accessor);
  std::sort(keys.begin(), keys.end());
  std::sort(accessor_keys.begin(), accessor_keys.end());
  EXPECT_EQ(accessor_keys, keys);
  EXPECT_GT(keys.size(), 1000u);

  EXPECT_EQ(accessor->GetString("string_7", ""),
            section["string_7"].get<std::string>());
  EXPECT_EQ(accessor->GetString("string_7", ""), "value // not a comment 7");
  EXPECT_EQ(accessor->GetDouble("number_7", 0), 7.5);
  EXPECT_EQ(accessor->GetIntArray("list_7", {}),
            (std::vector<int>{1, 2, 3, 7}));
}

TEST(ConfigTextTest, StrictFromRelaxedLeavesStringsAlone) {
  const std::string relaxed =
      "{\n"
      "  // A comment with \"quotes\", and a comma,\n"
      "  \"a\": \"x // y \\\" // z, }\",  // After a value.\n"
      "  \"b\": [1, 2],\n"
      "  \"c\": {\"d\": 1,},\n"
      "}\n";
  const Json strict = ParseStrict(StrictFromRelaxed(relaxed));
  ASSERT_FALSE(strict.is_discarded()) << StrictFromRelaxed(relaxed);
  EXPECT_EQ(strict["a"], "x // y \" // z, }");
  EXPECT_EQ(strict["b"], Json::array({1, 2}));
  EXPECT_EQ(strict["c"]["d"], 1);
}

TEST(ConfigTextTest, BundledConfigHasAStrictForm) {
  const std::string relaxed = assistant_reference::ReadFile(
      VANTOR_SOURCE_DIR "/config/default_config.json", /*trim=*/false);
  ASSERT_FALSE(relaxed.empty());
  const Json strict = ParseStrict(StrictFromRelaxed(relaxed));
  ASSERT_FALSE(strict.is_discarded());
  EXPECT_TRUE(strict["platform_config"].is_object());
  EXPECT_TRUE(
      ConfigAccessor::Parse(relaxed, "platform_config")->IsSectionPresent());
}

}  // namespace
}  // namespace bench
