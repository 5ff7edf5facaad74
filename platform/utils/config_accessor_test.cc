#include "platform/utils/config_accessor.h"

#include <string>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/config_accessor_internal.h"

namespace assistant_reference {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::StartsWith;

constexpr char kSection[] = "platform_config";
constexpr char kFatal[] =
    "Failed: !root\\.is_null\\(\\) "
    "Platform config failed to parse with error: ";

std::vector<std::string>* g_warnings = nullptr;

// Keeps the text of WARNING lines (after the "[WARNING:file(line)] " prefix,
// without the newline); other lines go to stderr as usual.
bool CaptureWarning(int severity, const std::string& line) {
  if (severity != core::LOG_WARNING || !g_warnings)
    return false;
  const size_t start = line.find("] ") + 2;
  g_warnings->push_back(line.substr(start, line.size() - start - 1));
  return true;
}

// {"platform_config": {"deep": [[...]]}} with |depth| containers in all.
std::string Nested(int depth) {
  return std::string("{\"platform_config\": {\"deep\": ") +
         std::string(depth - 2, '[') + std::string(depth - 2, ']') + "}}";
}

class ConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    g_warnings = &warnings_;
    core::SetLogMessageHandler(&CaptureWarning);
  }
  void TearDown() override {
    core::SetLogMessageHandler(nullptr);
    g_warnings = nullptr;
  }

  std::vector<std::string> TakeWarnings() {
    return std::exchange(warnings_, {});
  }

  // The parser's error for |text|, or "" when it parses.
  static std::string ParseError(const std::string& text) {
    std::string error;
    if (ConfigAccessorInternal::TryParse(text, kSection, &error))
      return "";
    EXPECT_FALSE(error.empty()) << text;
    return error;
  }

 private:
  std::vector<std::string> warnings_;
};

using ConfigSanitizeTest = ConfigTest;

TEST_F(ConfigSanitizeTest, CommentsAndTrailingCommasAreRemoved) {
  auto config = ConfigAccessor::Parse(R"(// "leading" comment
{
  // on its own line
  "platform_config": {
    "path": "/tmp/state",  // behind a value, with a "quote"
    "url": "http://host//x",
    "n": 3,
  },
}
// last line, no newline)",
                                      kSection);
  EXPECT_TRUE(config->IsSectionPresent());
  EXPECT_EQ("/tmp/state", config->GetString("path", ""));
  EXPECT_EQ("http://host//x", config->GetString("url", ""));
  EXPECT_EQ(3, config->GetInt("n", 0));
  EXPECT_THAT(TakeWarnings(), IsEmpty());
}

TEST_F(ConfigSanitizeTest, StringContentsAreKept) {
  const struct {
    const char* literal;
    const char* value;
  } kCases[] = {
      // Quotes after an even run of backslashes end the string.
      {R"("C:\\")", "C:\\"},
      {R"("C:\\\\")", "C:\\\\"},
      // Quotes after an odd run do not.
      {R"("a\"//b")", "a\"//b"},
      {R"("x\\\"//y")", "x\\\"//y"},
      // Commas inside strings are not trailing commas.
      {R"("a, }")", "a, }"},
      {R"("\\, }")", "\\, }"},
  };
  for (const auto& c : kCases) {
    const std::string text = std::string("{\"platform_config\": {\"k\": ") +
                             c.literal + ", // comment \"\n}}";
    std::string error;
    auto config = ConfigAccessorInternal::TryParse(text, kSection, &error);
    ASSERT_TRUE(config) << text << ": " << error;
    EXPECT_EQ(c.value, config->GetString("k", "")) << text;
  }
}

TEST_F(ConfigSanitizeTest, MissingSectionWarnsOnceAndGettersDefault) {
  for (const char* text :
       {"", "{}", R"({"other": {}})", R"({"platform_config": 3})", "[1]"}) {
    auto config = ConfigAccessor::Parse(text, kSection);
    EXPECT_FALSE(config->IsSectionPresent()) << text;
    EXPECT_THAT(TakeWarnings(),
                ElementsAre("Can not find section_name: platform_config"))
        << text;
    EXPECT_EQ(4, config->GetInt("k", 4));
    EXPECT_THAT(TakeWarnings(),
                ElementsAre("For key |platform_config.k| found type NUL "
                            "instead of INT; returning: 4"));
  }
}

TEST_F(ConfigSanitizeTest, DepthIsLimitedTo200) {
  auto config = ConfigAccessor::Parse(Nested(200), kSection);
  EXPECT_TRUE(config->IsSectionPresent());
  EXPECT_EQ("exceeded maximum nesting depth", ParseError(Nested(201)));
  EXPECT_EQ("exceeded maximum nesting depth", ParseError(Nested(100000)));
}

TEST_F(ConfigSanitizeTest, ErrorTexts) {
  const std::string kNul("{}\0x", 4);
  EXPECT_EQ("unexpected NUL byte", ParseError(kNul));
  EXPECT_EQ("unexpected UTF-8 byte order mark", ParseError("\xEF\xBB\xBF{}"));
  EXPECT_EQ("document is null", ParseError(" null "));
  EXPECT_THAT(ParseError("not json"),
              StartsWith("parse error at line 1, column 2: syntax error"));
  EXPECT_THAT(ParseError(R"({"platform_config": {"n": 1e400}})"),
              StartsWith("number overflow parsing '1e400'"));
  // Refused where json11 accepted them.
  for (const char* text : {"{\"k\": \"\xff\"}", R"({"k": "\ud800"})",
                           R"({"k": 1e999999999999})"}) {
    EXPECT_THAT(ParseError(text), Not(HasSubstr("[json.exception"))) << text;
  }
  // What json11 in standard mode refuses, too.
  for (const char* text :
       {"// nothing but a comment", "{} x", "{\"k\": 1,,}", "{'k': 1}",
        "/* block */ {}", "{\"k\": \"raw\ttab\"}", "[1, ]"}) {
    EXPECT_NE("", ParseError(text)) << text;
  }
}

using ConfigParseDeathTest = ConfigTest;

TEST_F(ConfigParseDeathTest, UnparsableTextIsFatal) {
  const struct {
    std::string text;
    const char* error;
  } kCases[] = {
      {R"({"platform_config": {"list": [1, 2,]}})", "parse error at line 1"},
      {"null", "document is null"},
      {std::string("{\"platform_config\": {}}\0x", 25), "unexpected NUL byte"},
      {"\xEF\xBB\xBF{\"platform_config\": {}}", "unexpected UTF-8 byte order"},
      {Nested(201), "exceeded maximum nesting depth"},
  };
  for (const auto& c : kCases) {
    EXPECT_DEATH(ConfigAccessor::Parse(c.text, kSection),
                 std::string(kFatal) + c.error)
        << c.text;
  }
}

class ConfigGetterTest : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    config_ = ConfigAccessor::Parse(R"({"platform_config": {
      "flag": true, "int": 3.0, "half": 2.5, "max": 2147483647,
      "min": -2147483648, "over": 2147483648, "big": 3e9, "neg_big": -3e9,
      "text": "hi", "null": null, "object": {},
      "ints": [1, 2, 3], "empty": [], "mixed": [1, 2.5], "bigs": [1, -3e9],
      "strings": ["a", "b"], "strings_and_number": ["a", 1]}})",
                                    kSection);
    ASSERT_THAT(TakeWarnings(), IsEmpty());
  }

  // Expects exactly one warning, "For key |platform_config.<key>| <rest>".
  void ExpectWarning(const std::string& key, const std::string& rest) {
    EXPECT_THAT(TakeWarnings(),
                ElementsAre("For key |platform_config." + key + "| " + rest));
  }

  std::unique_ptr<ConfigAccessor> config_;
};

TEST_F(ConfigGetterTest, ValuesOfTheWantedType) {
  EXPECT_TRUE(config_->GetBool("flag", false));
  EXPECT_EQ(3, config_->GetInt("int", 0));
  EXPECT_EQ(2147483647, config_->GetInt("max", 0));
  EXPECT_EQ(-2147483647 - 1, config_->GetInt("min", 0));
  EXPECT_EQ(2.5, config_->GetDouble("half", 0));
  EXPECT_EQ(3e9, config_->GetDouble("big", 0));
  EXPECT_EQ("hi", config_->GetString("text", ""));
  EXPECT_THAT(config_->GetIntArray("ints", {}), ElementsAre(1, 2, 3));
  EXPECT_THAT(config_->GetIntArray("empty", {9}), IsEmpty());
  EXPECT_THAT(config_->GetDoubleArray("mixed", {}), ElementsAre(1, 2.5));
  EXPECT_THAT(config_->GetStringArray("strings", {}), ElementsAre("a", "b"));
  EXPECT_THAT(TakeWarnings(), IsEmpty());
}

TEST_F(ConfigGetterTest, ScalarMismatchesWarnAndDefault) {
  EXPECT_TRUE(config_->GetBool("foo", true));
  ExpectWarning("foo", "found type NUL instead of BOOL; returning: true");
  EXPECT_FALSE(config_->GetBool("int", false));
  ExpectWarning("int", "found type NUMBER instead of BOOL; returning: false");

  for (const char* key : {"half", "over", "big", "neg_big"}) {
    EXPECT_EQ(-7, config_->GetInt(key, -7));
    ExpectWarning(key, "found type NUMBER instead of INT; returning: -7");
  }
  EXPECT_EQ(7, config_->GetInt("text", 7));
  ExpectWarning("text", "found type STRING instead of INT; returning: 7");

  EXPECT_EQ(1234567.0, config_->GetDouble("flag", 1234567.0));
  ExpectWarning("flag",
                "found type BOOL instead of NUMBER; returning: 1.23457e+06");

  EXPECT_EQ("dflt", config_->GetString("object", "dflt"));
  ExpectWarning("object",
                "found type OBJECT instead of STRING; returning: \"dflt\"");
  EXPECT_EQ("", config_->GetString("null", ""));
  ExpectWarning("null", "found type NUL instead of STRING; returning: \"\"");
  config_->GetString("ints", "x");
  ExpectWarning("ints", "found type ARRAY instead of STRING; returning: \"x\"");
}

TEST_F(ConfigGetterTest, ArrayMismatchesWarnAndReturnTheWholeDefault) {
  EXPECT_THAT(config_->GetIntArray("mixed", {7, 8}), ElementsAre(7, 8));
  ExpectWarning("mixed",
                "found type NUMBER in array instead of INT; returning: [7, 8]");
  EXPECT_THAT(config_->GetIntArray("bigs", {}), IsEmpty());
  ExpectWarning("bigs",
                "found type NUMBER in array instead of INT; returning: []");
  EXPECT_THAT(config_->GetDoubleArray("strings", {1.5, 2}),
              ElementsAre(1.5, 2));
  ExpectWarning("strings",
                "found type STRING in array instead of NUMBER; returning: "
                "[1.5, 2]");
  EXPECT_THAT(config_->GetStringArray("strings_and_number", {"x", "y"}),
              ElementsAre("x", "y"));
  ExpectWarning("strings_and_number",
                "found type NUMBER in array instead of STRING; returning: "
                "[x, y]");
  EXPECT_THAT(config_->GetIntArray("text", {}), IsEmpty());
  ExpectWarning("text", "found type STRING instead of ARRAY; returning: []");
  EXPECT_THAT(config_->GetStringArray("missing", {"x"}), ElementsAre("x"));
  ExpectWarning("missing", "found type NUL instead of ARRAY; returning: [x]");
}

}  // namespace
}  // namespace assistant_reference
