// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/config_parser.h"

#include <string>

#include "gtest/gtest.h"

namespace assistant_reference {
namespace {

// The dialect (comments, commas before '}') is ParseConfigText's alone; the
// strict entry refuses it. A bare null is no configuration for either caller
// of ParseConfigText, though it is valid JSON.
TEST(ConfigParserTest, DialectOnlyThroughParseConfigText) {
  const struct {
    const char* text;
    bool dialect_parses;
    bool strict_parses;
    const char* dialect_error;  // Prefix; "" when it parses.
  } kCases[] = {
      {"{\"a\": [1, 2], \"b\": {\"c\": true}}", true, true, ""},
      {"{\"a\": 1, // one\n}", true, false, ""},
      {"{\"a\": [1,]}", false, false, "syntax error"},
      {"null", false, true, "document is null"},
      {"", false, false, "incomplete JSON"},
  };
  for (const auto& c : kCases) {
    ConfigValue document;
    std::string error;
    EXPECT_EQ(c.dialect_parses, ParseConfigText(c.text, &document, &error))
        << c.text;
    EXPECT_EQ(0u, error.rfind(c.dialect_error, 0)) << c.text << ": " << error;
    if (c.dialect_parses) {
      ASSERT_EQ(ConfigValue::Type::kObject, document.type) << c.text;
      const ConfigValue* a = document.Find("a");
      ASSERT_NE(nullptr, a) << c.text;
      EXPECT_STRNE("NUL", ConfigTypeName(*a));
      EXPECT_EQ(nullptr, a->Find("a")) << "not an object";
    }
    error.clear();
    EXPECT_EQ(c.strict_parses, ParseConfigJson(c.text, &document, &error))
        << c.text << ": " << error;
  }
}

}  // namespace
}  // namespace assistant_reference
