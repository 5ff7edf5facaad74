// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/own_instance.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace vantor_host {
namespace {

// Events, in the order the view's thread sees them: "A+" a resolver found A
// with our tokens, "A-" with another's, "A!" A withdrawn, "!" the daemon
// gone. Expected: the names reported shown, in order, and whether one is
// shown at the end.
TEST(OwnInstanceTest, FollowsOurRegistrationThroughRenamesAndLosses) {
  const struct {
    const char* why;
    std::vector<std::string> events;
    std::vector<std::string> reported;
    bool shown;
  } cases[] = {
      {"first appearance, told once", {"A+", "A+"}, {"A"}, true},
      {"renamed", {"A+", "B+"}, {"A", "B"}, true},
      // The namesake's SRV lands before its TXT: the left name's resolver
      // answers once more with our data, then with the namesake's.
      {"the left name's late answer",
       {"A+", "B+", "A+", "A-"},
       {"A", "B"},
       true},
      {"the left name's late answer after the new one was withdrawn",
       {"A+", "B+", "B!", "A+"},
       {"A", "B"},
       false},
      {"another process took the name", {"A+", "A-"}, {"A"}, false},
      {"back after it was withdrawn", {"A+", "A!", "A+"}, {"A", "A"}, true},
      {"back to a left name once it answered for another",
       {"A+", "B+", "A-", "B!", "A+"},
       {"A", "B", "A"},
       true},
      {"back to a left name once it was withdrawn",
       {"A+", "B+", "A!", "B!", "A+"},
       {"A", "B", "A"},
       true},
      {"back to a left name after the daemon came back",
       {"A+", "B+", "!", "A+"},
       {"A", "B", "A"},
       true},
      {"another's answer before ours", {"A-", "A+"}, {"A"}, true},
      {"nothing of ours", {"A-", "A!", "!"}, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    OwnInstance own("_test._tcp");
    std::vector<std::string> reported;
    for (const std::string& event : c.events) {
      if (event == "!") {
        own.DaemonGone();
        continue;
      }
      const std::string name = event.substr(0, event.size() - 1);
      switch (event.back()) {
        case '+':
        case '-':
          if (auto shown = own.Answered(name, event.back() == '+'))
            reported.push_back(*shown);
          break;
        case '!':
          own.Withdrawn(name);
          break;
        default:
          FAIL() << "unknown event " << event;
      }
    }
    EXPECT_EQ(c.reported, reported);
    EXPECT_EQ(c.shown, own.shown());
  }
}

}  // namespace
}  // namespace vantor_host
