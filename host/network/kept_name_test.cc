// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/kept_name.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "testing/file_tree.h"

namespace vantor_host {
namespace {

class KeptNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kept_name_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { EXPECT_TRUE(testing_support::RemoveTree(dir_)); }

  std::string dir_;
};

// Which name a start asks for, from what an earlier start kept.
TEST_F(KeptNameTest, AsksForTheHeldNameOnlyForTheNameItWasGivenFor) {
  const struct {
    const char* why;
    const char* file;  // Null: no file.
    const char* asked;
  } cases[] = {
      {"nothing kept", nullptr, "Kitchen"},
      {"kept for this name",
       R"({"mdns_name": {"asked": "Kitchen",)"
       R"( "held": "Kitchen #3"}})",
       "Kitchen #3"},
      {"renamed in the configuration since",
       R"({"mdns_name": {"asked": "Hall", "held": "Hall #2"}})", "Kitchen"},
      {"an empty held name",
       R"({"mdns_name": {"asked": "Kitchen", "held": ""}})", "Kitchen"},
      {"not JSON", "Kitchen #3\n", "Kitchen"},
      {"no held name", R"({"mdns_name": {"asked": "Kitchen"}})", "Kitchen"},
      {"an empty file", "", "Kitchen"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string path = dir_ + "/mdns_name";
    unlink(path.c_str());
    if (c.file) {
      ASSERT_TRUE(assistant_reference::WriteFile(path, c.file));
    }
    EXPECT_EQ(c.asked, KeptName(path).NameToAsk("Kitchen"));
  }
}

// Whatever bytes a name holds come back as they were kept.
TEST_F(KeptNameTest, KeepsAnyNameWhole) {
  const KeptName kept(dir_ + "/host/mdns_name");
  for (const std::string& name :
       {std::string("Kitchen #2"), std::string("Say \"hi\" \\ there"),
        std::string("Vantor\n<0>Sample\t\x01"),
        std::string("K\xc3\xbc"
                    "che \xe2\x82\xac")}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(kept.Keep(name + "?", name));
    EXPECT_EQ(name, kept.NameToAsk(name + "?"));
    EXPECT_EQ(name + "!", kept.NameToAsk(name + "!"));
  }
}

}  // namespace
}  // namespace vantor_host
