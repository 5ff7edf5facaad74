// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in as its tests drive it: loaded as the host loads it,
// against the daemon of scripts/mdns-sandbox, with the responder's answers
// and the plug-in's log lines at hand.
//
//   class MyTest : public testing_support::NetworkPluginFixture {
//    protected:
//     MyTest() : NetworkPluginFixture(VANTOR_NETWORK_PLUGIN,
//                                     MDNS_DAEMON_SCRIPT) {}
//   };
//   TEST_F(MyTest, Adds) {
//     responder_->AddService(type, name, port, Txt({"v=1"}),
//                            answers_.Callback("add"));
//     EXPECT_EQ(answers_.Wait("add", bound).result, MdnsResponder::SUCCESS);
//   }
//   testing::Environment* const kDaemon = testing::AddGlobalTestEnvironment(
//       new testing_support::MdnsDaemonEnvironment(MDNS_DAEMON_SCRIPT));
//
// The plug-in path and the daemon script are the test's own compile
// definitions, so they come in as arguments.
#ifndef TESTING_NETWORK_PLUGIN_FIXTURE_H_
#define TESTING_NETWORK_PLUGIN_FIXTURE_H_

#include <stddef.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/plugin_loader.h"

namespace testing_support {

// DNS TXT record data: each string preceded by its length.
std::string Txt(const std::vector<std::string>& strings);

struct Answer {
  assistant_client::MdnsResponder::Result result =
      assistant_client::MdnsResponder::FATAL_ERROR;
  std::string message = "unanswered";
  std::chrono::milliseconds after{0};  // From Callback() to the answer.
};

// The responder's answers by tag. Callbacks run on the responder's thread,
// the rest on the test's.
class Answers {
 public:
  Answers();

  // Keeps each answer under |tag|, the latest one winning.
  assistant_client::MdnsResponder::ResultCallback Callback(
      const std::string& tag);

  // The answer under |tag|, once there; a test failure when none comes
  // within |bound|.
  Answer Wait(const std::string& tag, std::chrono::milliseconds bound);
  // False when fewer than |count| tags were answered within |bound|.
  bool WaitFor(size_t count, std::chrono::milliseconds bound);
  // The answer under |tag| so far, or an unanswered one.
  Answer Get(const std::string& tag);
  // How many answers came under |tag|.
  int Count(const std::string& tag);

 private:
  struct State;
  // Shared with the callbacks, which may outlive a test that gave up.
  const std::shared_ptr<State> state_;
};

// Starts the sandbox's daemon pair for the test program and stops it after;
// refuses to run outside scripts/mdns-sandbox, as the tests stop and kill
// the daemon. Owned by gtest once added.
class MdnsDaemonEnvironment : public testing::Environment {
 public:
  explicit MdnsDaemonEnvironment(std::string script);
  void SetUp() override;
  // Starts again what a test stopped, so that the script stops what it
  // started.
  void TearDown() override;

 private:
  const std::string script_;
};

// Keeps every line the plug-in at |plugin| logs from now on, from any of its
// threads; the lines still go to stderr. Loads the plug-in if need be (never
// unloaded). False with |*error| set when it cannot be reached.
bool CapturePluginLog(const std::string& plugin, std::string* error);
// How many captured lines contain |text|.
int PluginLogCount(const std::string& text);

// A factory, a network provider ("{}") and its responder from the plug-in,
// made afresh for each test once the daemon runs; the daemon runs again
// after each test, whatever it did to it.
class NetworkPluginFixture : public testing::Test {
 protected:
  NetworkPluginFixture(std::string plugin, std::string daemon_script);

  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<assistant_client::NetworkProvider> NewProvider(
      const std::string& config);

  // A name no other run on this machine uses at the same time.
  static std::string UniqueName(const std::string& prefix);

  const std::string plugin_;
  const std::string daemon_script_;
  NullPlatform platform_;
  std::unique_ptr<assistant_client::PlatformFactory> factory_;
  std::unique_ptr<assistant_client::NetworkProvider> provider_;
  assistant_client::MdnsResponder* responder_ = nullptr;  // Of |provider_|.
  Answers answers_;
};

}  // namespace testing_support

#endif  // TESTING_NETWORK_PLUGIN_FIXTURE_H_
