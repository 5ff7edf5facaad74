// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/config_accessor.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/config_parser.h"
#include "testing/log_capture.h"

namespace assistant_reference {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing::StartsWith;

constexpr char kSection[] = "platform_config";
constexpr char kFatal[] =
    "Failed: !root\\.is_null\\(\\) "
    "Platform config failed to parse with error: ";

// {"platform_config": {"deep": [[...<value>...]]}} with |containers|
// containers around |value|.
std::string Enclosed(int containers, const std::string& value) {
  return std::string("{\"platform_config\": {\"deep\": ") +
         std::string(containers - 2, '[') + value +
         std::string(containers - 2, ']') + "}}";
}

// The same with |depth| containers in all, the innermost one empty.
std::string Nested(int depth) {
  return Enclosed(depth - 1, "[]");
}

uint64_t Bits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

class ConfigTest : public testing::Test {
 protected:
  // The text of the WARNING lines since the last call.
  std::vector<std::string> TakeWarnings() {
    std::vector<std::string> texts;
    for (const auto& line : warnings_.Lines())
      texts.push_back(line.text);
    warnings_.Clear();
    return texts;
  }

  // The parser's error for |text|, or "" when it parses.
  static std::string ParseError(const std::string& text) {
    std::string error;
    if (ConfigInspector::TryParse(text, kSection, &error))
      return "";
    EXPECT_FALSE(error.empty()) << text;
    return error;
  }

 private:
  testing_support::LogCapture warnings_{
      testing_support::LogCapture::Keep::kWarnings,
      testing_support::LogCapture::Echo::kNone};
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
    auto config = ConfigInspector::TryParse(text, kSection, &error);
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

// At most 200 containers around any value, so the 201st may be there when
// it is empty.
TEST_F(ConfigSanitizeTest, DepthIsLimitedTo200) {
  for (const std::string& text :
       {Enclosed(200, "1"), Enclosed(200, "\"x\""), Nested(201)}) {
    std::string error;
    EXPECT_TRUE(ConfigInspector::TryParse(text, kSection, &error)) << error;
  }
  EXPECT_TRUE(ConfigAccessor::Parse(Nested(201), kSection)->IsSectionPresent());
  for (const std::string& text :
       {Enclosed(201, "1"), Enclosed(201, "null"), Enclosed(201, "\"x\""),
        Enclosed(201, "{}"), Nested(202), Nested(100000)}) {
    EXPECT_THAT(ParseError(text), StartsWith("exceeded maximum nesting depth"));
  }
}

TEST_F(ConfigSanitizeTest, ErrorTexts) {
  const std::string kNul("{}\0x", 4);
  EXPECT_EQ("unexpected NUL byte", ParseError(kNul));
  EXPECT_EQ("unexpected NUL byte", ParseError(std::string("\"a\0\"", 4)));
  EXPECT_EQ("unexpected UTF-8 byte order mark", ParseError("\xEF\xBB\xBF{}"));
  EXPECT_EQ("document is null", ParseError(" null "));
  EXPECT_EQ("syntax error at line 1, column 1", ParseError("not json"));
  EXPECT_EQ("syntax error at line 3, column 8",
            ParseError("{ // comment\n  \"a\": 1,\n  \"b\": x}"));
  EXPECT_EQ("extra data at line 1, column 4", ParseError("{} x"));
  EXPECT_EQ("incomplete JSON at line 1, column 3", ParseError("  "));
  // What json11 in standard mode refuses.
  const char* const kRefused[] = {"// nothing but a comment",
                                  "{\"k\": 1,,}",
                                  "{'k': 1}",
                                  "/* block */ {}",
                                  "# hash\n{}",
                                  "{\"k\": \"raw\ttab\"}",
                                  "\"raw\nnewline\"",
                                  "\"\x01\"",
                                  "[1, ]",
                                  "[1 2]",
                                  "{\"a\" 1}",
                                  "{1: 2}",
                                  "{\"a\": 1 \"b\": 2}",
                                  "01",
                                  "-01",
                                  "1.",
                                  ".5",
                                  "+1",
                                  "-",
                                  "1e",
                                  "1e+",
                                  "1.5e",
                                  "0x10",
                                  "NaN",
                                  "Infinity",
                                  "-Infinity",
                                  "tru",
                                  "True",
                                  "nul",
                                  "falsey",
                                  "\"\\x\"",
                                  "\"\\u12\"",
                                  "\"\\u12g4\"",
                                  "\"\\U0041\"",
                                  "\"unterminated",
                                  "\"\\ud800",
                                  "\"\\",
                                  "[",
                                  "{",
                                  "]",
                                  "\x7f",
                                  "\xc3\xa9",
                                  "\f{}",
                                  "\v{}"};
  for (const char* text : kRefused) {
    EXPECT_NE("", ParseError(text)) << text;
  }
}

TEST_F(ConfigSanitizeTest, DumpFormat) {
  std::string dump, error;
  ASSERT_TRUE(DumpConfigJson(
      R"({"b": [1, "x\u0000"], "a": null, "c": true, "d": false})", &dump,
      &error))
      << error;
  EXPECT_EQ(std::string("{s1:ans1:b[d3ff0000000000000s2:x\0]s1:cts1:df}", 45),
            dump);
  EXPECT_FALSE(DumpConfigJson("{} // c", &dump, &error));
}

// What json11 accepted beyond strict JSON, and the values it gave.
using ConfigJson11Test = ConfigTest;

TEST_F(ConfigJson11Test, StringBytesPassThrough) {
  // Invalid UTF-8 anywhere, in another section too: Latin-1, a stray
  // continuation byte, a truncated and an overlong sequence, an encoded
  // surrogate.
  const char kText[] =
      "{\"other\": {\"name\": \"K\xfc"
      "che\"},\n"
      " \"platform_config\": {\"latin1\": \"Gr\xfc\xdf"
      "e\",\n"
      "  \"bytes\": [\"\x80\", \"\xe2\x82\", \"\xc0\xaf\", \"\xed\xa0\x80\",\n"
      "            \"\xff\xfe\", \"\x7f\"],\n"
      "  \"\xe9t\xe9\": \"key\"}}";
  auto config = ConfigAccessor::Parse(kText, kSection);
  EXPECT_EQ(
      "Gr\xfc\xdf"
      "e",
      config->GetString("latin1", ""));
  EXPECT_THAT(config->GetStringArray("bytes", {}),
              ElementsAre("\x80", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80",
                          "\xff\xfe", "\x7f"));
  EXPECT_EQ("key", config->GetString("\xe9t\xe9", ""));
  EXPECT_THAT(TakeWarnings(), IsEmpty());
}

TEST_F(ConfigJson11Test, EscapesAndSurrogates) {
  const struct {
    const char* literal;
    std::string value;
  } kCases[] = {
      {R"("\b\f\n\r\t\"\\\/")", "\b\f\n\r\t\"\\/"},
      {R"("a\u0000b")", std::string("a\0b", 3)},
      {R"("\u00e9\u00C9\u20ac")", "\xc3\xa9\xc3\x89\xe2\x82\xac"},
      // A pair is one character.
      {R"("\ud83d\ude00")", "\xf0\x9f\x98\x80"},
      {R"("\uDBFF\uDFFF")", "\xf4\x8f\xbf\xbf"},
      // Any other surrogate is encoded on its own, in three bytes.
      {R"("\ud800")", "\xed\xa0\x80"},
      {R"("\udc00")", "\xed\xb0\x80"},
      {R"("\uDBFF")", "\xed\xaf\xbf"},
      {R"("\ude00\ud83d")", "\xed\xb8\x80\xed\xa0\xbd"},
      {R"("\ud800\ud800\udc00")", "\xed\xa0\x80\xf0\x90\x80\x80"},
      {R"("\ud800\udc00\udc00")", "\xf0\x90\x80\x80\xed\xb0\x80"},
      {R"("\ud800\u0041")",
       "\xed\xa0\x80"
       "A"},
      {R"("\ud800x\udc00")", "\xed\xa0\x80x\xed\xb0\x80"},
      {R"("\ud800\n")", "\xed\xa0\x80\n"},
      {R"("x\ud800")", "x\xed\xa0\x80"},
      // An escaped backslash is no escape of what follows.
      {R"("\\ud800")", "\\ud800"},
      {R"("\\\ud800")", "\\\xed\xa0\x80"},
      {R"("\ud800\\udc00")", "\xed\xa0\x80\\udc00"},
  };
  for (const auto& c : kCases) {
    const std::string text =
        std::string("{\"platform_config\": {\"k\": ") + c.literal + "}}";
    auto config = ConfigAccessor::Parse(text, kSection);
    EXPECT_EQ(c.value, config->GetString("k", "")) << text;
  }
  auto keys = ConfigAccessor::Parse(
      R"({"platform_config": {"\ud800": 1, "\u00e9": 2}})", kSection);
  EXPECT_EQ(1, keys->GetInt("\xed\xa0\x80", 0));
  EXPECT_EQ(2, keys->GetInt("\xc3\xa9", 0));
  EXPECT_THAT(TakeWarnings(), IsEmpty());
}

TEST_F(ConfigJson11Test, NumbersAreTheDoublesOfTheirText) {
  const struct {
    const char* text;
    double value;
  } kCases[] = {
      {"0.1", 0.1},
      {"1e999", HUGE_VAL},
      {"-1e999", -HUGE_VAL},
      {"1e400", HUGE_VAL},
      {"1.7976931348623159e308", HUGE_VAL},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"1e99999999999", HUGE_VAL},
      {"-1E+99999999999999999999", -HUGE_VAL},
      {"0e99999999999", 0.0},
      {"1e-400", 0.0},
      {"-1e-400", -0.0},
      {"1e-99999999999", 0.0},
      {"4.9e-324", 4.9406564584124654e-324},
      {"2.2250738585072011e-308", 2.2250738585072011e-308},
      {"1e0000000000000000000002", 100.0},
      // json11 read short integers with atoi(): no negative zero there.
      {"-0", 0.0},
      {"-0.0", -0.0},
      {"-0e0", -0.0},
      {"9007199254740993", 9007199254740992.0},
      {"-9007199254740993", -9007199254740992.0},
      {"18446744073709551615", 18446744073709551616.0},
      {"-9223372036854775809", -9223372036854775808.0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"0.30000000000000000000000000000000000000001", 0.3},
      {"1.00000000000000011102230246251565404236316680908203125", 1.0},
      {"1.00000000000000011102230246251565404236316680908203126",
       1.0000000000000002},
  };
  std::string text = "{\"platform_config\": {";
  for (size_t i = 0; i < std::size(kCases); ++i)
    text += (i ? ", \"" : "\"") + std::to_string(i) + "\": " + kCases[i].text;
  auto config = ConfigAccessor::Parse(text + "}}", kSection);
  for (size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_EQ(Bits(kCases[i].value),
              Bits(config->GetDouble(std::to_string(i), -1)))
        << kCases[i].text << " read as "
        << config->GetDouble(std::to_string(i), -1);
  }
  EXPECT_THAT(TakeWarnings(), IsEmpty());
  // Infinity is a number, but no INT.
  EXPECT_EQ(5, config->GetInt("1", 5));
  EXPECT_THAT(TakeWarnings(),
              ElementsAre("For key |platform_config.1| found type NUMBER "
                          "instead of INT; returning: 5"));
  EXPECT_THAT(config->GetDoubleArray("x", {}), IsEmpty());
  TakeWarnings();
  auto array = ConfigAccessor::Parse(
      R"({"platform_config": {"a": [1e999, -0, 2.5e-400]}})", kSection);
  const std::vector<double> values = array->GetDoubleArray("a", {});
  ASSERT_EQ(3u, values.size());
  EXPECT_EQ(Bits(HUGE_VAL), Bits(values[0]));
  EXPECT_EQ(Bits(0.0), Bits(values[1]));
  EXPECT_EQ(Bits(0.0), Bits(values[2]));
}

TEST_F(ConfigJson11Test, RepeatedKeysTheLastWins) {
  auto config = ConfigAccessor::Parse(
      R"({"platform_config": {"a": 1}, "platform_config": {"k": 1, "b": 2,
          "k": "two", "a": [], "k": "three"}})",
      kSection);
  EXPECT_EQ("three", config->GetString("k", ""));
  EXPECT_EQ(2, config->GetInt("b", 0));
  EXPECT_THAT(config->GetIntArray("a", {1}), IsEmpty());
  EXPECT_THAT(ConfigInspector::SectionKeys(*config),
              ElementsAre("a", "b", "k"));
  EXPECT_THAT(TakeWarnings(), IsEmpty());
}

TEST_F(ConfigJson11Test, HasKeyWhateverTheValue) {
  const struct {
    const char* text;
    bool has;
  } cases[] = {
      {R"({"platform_config": {"k": null}})", true},
      {R"({"platform_config": {"k": 0, "other": 1}})", true},
      {R"({"platform_config": {"kk": 1, "K": 2}})", false},
      {R"({"platform_config": ["k"]})", false},
      {R"({"other": {"k": 1}})", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto config = ConfigAccessor::Parse(c.text, kSection);
    EXPECT_EQ(c.has, ConfigInspector::HasKey(*config, "k"));
  }
  TakeWarnings();
}

using ConfigParseDeathTest = ConfigTest;

TEST_F(ConfigParseDeathTest, UnparsableTextIsFatal) {
  const struct {
    std::string text;
    const char* error;
  } kCases[] = {
      {R"({"platform_config": {"list": [1, 2,]}})",
       "syntax error at line 1, column 36"},
      {"{\"platform_config\": {}} x", "extra data at line 1, column 25"},
      {"null", "document is null"},
      {std::string("{\"platform_config\": {}}\0x", 25), "unexpected NUL byte"},
      {"\xEF\xBB\xBF{\"platform_config\": {}}", "unexpected UTF-8 byte order"},
      {Nested(202), "exceeded maximum nesting depth"},
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
