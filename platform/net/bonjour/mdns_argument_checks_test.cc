// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/mdns_argument_checks.h"

#include <string>

#include "gtest/gtest.h"

namespace assistant_reference {
namespace {

constexpr char kBadUtf8[] = "Invalid instance name: not valid UTF-8";
constexpr char kBadType[] =
    "Invalid service type: not of the form _name._tcp or _name._udp";

// |count| strings of |length| bytes each, behind their length bytes.
std::string TxtStrings(int count, int length) {
  std::string txt;
  for (int i = 0; i < count; ++i)
    txt += static_cast<char>(length) + std::string(length, 't');
  return txt;
}

TEST(MdnsArgumentChecksTest, Utf8AtTheEdgesOfEachForm) {
  const struct {
    std::string text;
    bool valid;
  } kCases[] = {
      {"", true},
      {"\x7f", true},
      {"\xc2\x80", true},           // U+0080, the first two-byte form.
      {"\xc1\xbf", false},          // Overlong U+007F.
      {"\xe0\xa0\x80", true},       // U+0800.
      {"\xe0\x9f\xbf", false},      // Overlong U+07FF.
      {"\xed\x9f\xbf", true},       // U+D7FF, below the surrogates.
      {"\xed\xa0\x80", false},      // U+D800, a surrogate.
      {"\xef\xbf\xbf", true},       // U+FFFF.
      {"\xf0\x90\x80\x80", true},   // U+10000.
      {"\xf0\x8f\xbf\xbf", false},  // Overlong U+FFFF.
      {"\xf4\x8f\xbf\xbf", true},   // U+10FFFF, the last.
      {"\xf4\x90\x80\x80", false},  // Beyond it.
      {"\xf5\x80\x80\x80", false},
      {"\x80", false},          // A trail byte alone.
      {"\xe2\x82", false},      // Cut short at the end.
      {"\xe2\x28\xac", false},  // A second byte that is no trail byte.
      {"\xe2\x82\x28", false},  // A third byte that is no trail byte.
  };
  for (const auto& c : kCases)
    EXPECT_EQ(IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
}

TEST(MdnsArgumentChecksTest, InstanceNames) {
  const struct {
    std::string name;
    std::string reason;
  } kCases[] = {
      {"", ""},
      {"Kitchen", ""},
      {std::string(63, 'n'), ""},
      // Two-, three- and four-byte characters; 63 bytes.
      {"K\xc3\xbc"
       "che \xe2\x82\xac \xf0\x9f\x8e\xb5" +
           std::string(48, 'x'),
       ""},
      {std::string(64, 'n'), "Invalid instance name: 64 bytes, more than 63"},
      {std::string("Nul\0x", 5), "Invalid instance name: contains a NUL byte"},
      {"Bad\xff\xfe", kBadUtf8},
      {"Surrogate\xed\xa0\x80", kBadUtf8},
      {"Overlong\xc0\xaf", kBadUtf8},
      {"Cut\xe2\x82", kBadUtf8},
      {"Beyond\xf4\x90\x80\x80", kBadUtf8},
      // Too long and invalid: the encoding is what the daemon chokes on.
      {std::string(70, 'n') + "\xff", kBadUtf8},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(CheckInstanceName(c.name), c.reason) << c.name.size() << " bytes";
}

TEST(MdnsArgumentChecksTest, ServiceTypes) {
  const struct {
    std::string type;
    bool valid;
  } kCases[] = {
      {"_xyz._tcp", true},
      {"_a-b_c9._UDP", true},
      {"_x._Tcp", true},
      {"_" + std::string(62, 'a') + "._tcp", true},
      {"_" + std::string(63, 'a') + "._tcp", false},
      {"xyz._tcp", false},
      {"_._tcp", false},
      {"_xyz", false},
      {"_xyz.", false},
      {"_xyz._sctp", false},
      {"_xyz._tcp.", false},
      {"_xyz._tcp.local", false},
      {"_sub._xyz._tcp", false},
      {"_x y._tcp", false},
      {"_x\xff._tcp", false},
      {"", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(CheckServiceType(c.type), c.valid ? "" : kBadType)
        << "'" << c.type << "'";
  }
}

TEST(MdnsArgumentChecksTest, TxtRecords) {
  // 255 full strings and one of 254: 65535 bytes exactly.
  const std::string longest = TxtStrings(255, 255) + TxtStrings(1, 254);
  ASSERT_EQ(longest.size(), 65535u);
  const struct {
    std::string txt;
    std::string reason;
  } kCases[] = {
      {"", ""},
      {std::string("\0\0", 2), ""},  // Two empty strings.
      {"\x03"
       "a=1",
       ""},
      {longest, ""},
      {TxtStrings(256, 255),
       "Invalid TXT record: 65536 bytes, more than 65535"},
      {"\x05"
       "ab",
       "Invalid TXT record: the string at byte 0 has length 5, past the end"},
      {std::string("\x01"
                   "a"
                   "\x02"
                   "b",
                   4),
       "Invalid TXT record: the string at byte 2 has length 2, past the end"},
      {"\x09short",
       "Invalid TXT record: the string at byte 0 has length 9, past the end"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(CheckTxtRecord(c.txt), c.reason) << c.txt.size() << " bytes";
}

}  // namespace
}  // namespace assistant_reference
