// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in, loaded as the host loads it, while its mDNS daemon is
// stopped before a registration, killed during one and restarted under a
// registered service. Every request must be answered (with an error where the
// daemon is missing), no host call may block, and the provider must still be
// destroyed promptly. Each figure is printed for the record.
//
// Runs only inside scripts/mdns-sandbox: the daemon pair it stops and kills
// is its own, in private namespaces, never the machine's.
#include <signal.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/mdns_daemon.h"
#include "testing/network_plugin_fixture.h"

namespace {

using assistant_client::MdnsResponder;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing::AnyOf;
using testing::StartsWith;
using testing_support::Answer;
using testing_support::MdnsDaemonPid;
using testing_support::MdnsDaemonRuns;
using testing_support::Txt;

constexpr char kType[] = "_vantorfault._tcp";
// A host thread only queues: anything near this means it blocked.
constexpr milliseconds kHostCallBound(50);
// The daemon's absence is known at once.
constexpr milliseconds kRefusalBound(1000);
// The responder's own bound on a reply (10 s) and some slack.
constexpr milliseconds kAnswerBound(12000);
// Unregistering against a dead or new daemon fails fast on the bus.
constexpr milliseconds kDestroyBound(2000);
// Probing a name takes about a second.
constexpr milliseconds kRegistrationBound(5000);
// The responder's next try after a restart (at most 2 s), then probing.
constexpr milliseconds kBackBound(10000);

long Ms(steady_clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(d).count());
}

// After a kill of the test's own: waits until the daemon is gone.
bool WaitUntilDaemonGone() {
  for (int i = 0; i < 100; ++i) {
    if (!MdnsDaemonRuns())
      return true;
    std::this_thread::sleep_for(milliseconds(50));
  }
  return false;
}

void StopDaemon() {
  ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/false));
}

void KillDaemon() {
  ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/true));
}

class NetworkPluginFaultTest : public testing_support::NetworkPluginFixture {
 protected:
  NetworkPluginFaultTest()
      : NetworkPluginFixture(VANTOR_NETWORK_PLUGIN, MDNS_DAEMON_SCRIPT) {}

  // Starts the bus and the daemon (project configuration, loopback only)
  // when they do not run, and waits until the daemon serves requests.
  void StartDaemon() {
    ASSERT_TRUE(testing_support::StartMdnsDaemon(daemon_script_));
  }

  // Makes one request through |call|, answered under |tag|, and returns how
  // long the host call took (kept for Report()).
  steady_clock::duration Request(
      const std::string& tag,
      const std::function<void(MdnsResponder::ResultCallback)>& call) {
    const auto start = steady_clock::now();
    call(answers_.Callback(tag));
    return host_calls_[tag] = steady_clock::now() - start;
  }

  // Registers |name|, answered under |tag|.
  Answer Add(const std::string& name,
             const std::string& tag,
             milliseconds bound) {
    EXPECT_LT(Request(tag,
                      [&](MdnsResponder::ResultCallback callback) {
                        responder_->AddService(kType, name, 4242, Txt({"v=1"}),
                                               std::move(callback));
                      }),
              kHostCallBound)
        << "AddService blocked";
    return answers_.Wait(tag, bound);
  }
  Answer Add(const std::string& name, milliseconds bound) {
    return Add(name, name, bound);
  }

  // Updates the TXT record of |name|, answered under |tag|.
  Answer Update(const std::string& name,
                const std::string& tag,
                milliseconds bound) {
    EXPECT_LT(Request(tag,
                      [&](MdnsResponder::ResultCallback callback) {
                        responder_->UpdateTxtRecord(kType, name, Txt({"v=2"}),
                                                    std::move(callback));
                      }),
              kHostCallBound)
        << "UpdateTxtRecord blocked";
    return answers_.Wait(tag, bound);
  }

  // Destroys the provider as the host does and returns how long it took, in
  // microseconds.
  long DestroyProvider() {
    const auto start = steady_clock::now();
    provider_.reset();
    responder_ = nullptr;
    const auto took = steady_clock::now() - start;
    EXPECT_LT(took, kDestroyBound);
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(took).count());
  }

  void Report(const std::string& what, const std::string& tag) {
    const Answer answer = answers_.Get(tag);
    std::cout << "  " << what << ": result " << answer.result << " \""
              << answer.message << "\" after " << answer.after.count()
              << " ms; host call "
              << std::chrono::duration_cast<std::chrono::microseconds>(
                     host_calls_[tag])
                     .count()
              << " us\n";
  }

  std::map<std::string, steady_clock::duration> host_calls_;  // By tag.
};

TEST_F(NetworkPluginFaultTest, DaemonStoppedBeforeARegistration) {
  const Answer registered = Add("Kept", kRegistrationBound);
  ASSERT_EQ(registered.result, MdnsResponder::SUCCESS) << registered.message;

  StopDaemon();
  const Answer refused = Add("Refused", kRefusalBound);
  EXPECT_EQ(refused.result, MdnsResponder::NON_FATAL_ERROR);
  EXPECT_EQ(refused.message, "DNSServiceRegister() failed error_code=-65537");
  Report("registration with the daemon stopped", "Refused");

  // The registration made before the stop is gone with the daemon.
  const Answer update = Update("Kept", "update", kRefusalBound);
  EXPECT_NE(update.result, MdnsResponder::SUCCESS);
  EXPECT_THAT(update.message, StartsWith("DNSServiceUpdateRecord failed."));
  Report("TXT update of a registration the stopped daemon held", "update");

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed (one registration to withdraw) in "
            << destroyed_us << " us\n";
  EXPECT_EQ(answers_.Count("Refused"), 1);
  EXPECT_EQ(answers_.Count("update"), 1);
}

TEST_F(NetworkPluginFaultTest, DaemonKilledWhileAwaitingTheReply) {
  // The daemon answers after probing the name, about a second; the kill
  // lands while the responder waits for that answer.
  EXPECT_LT(Request("Orphaned",
                    [&](MdnsResponder::ResultCallback callback) {
                      responder_->AddService(kType, "Orphaned", 4242, "",
                                             std::move(callback));
                    }),
            kHostCallBound);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_EQ(answers_.Count("Orphaned"), 0)
      << "answered before the kill: too fast";
  KillDaemon();
  const Answer answer = answers_.Wait("Orphaned", kAnswerBound);
  EXPECT_EQ(answer.result, MdnsResponder::NON_FATAL_ERROR);
  Report("registration whose daemon was killed after 300 ms", "Orphaned");

  // With no daemon, the next one is refused at once.
  const Answer refused = Add("AfterKill", kRefusalBound);
  EXPECT_EQ(refused.message, "DNSServiceRegister() failed error_code=-65537");
  Report("registration after the kill", "AfterKill");

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed in " << destroyed_us << " us\n";
  EXPECT_EQ(answers_.Count("Orphaned"), 1);
}

TEST_F(NetworkPluginFaultTest, DaemonKilledWhileDnsServiceRegisterWaits) {
  // A stopped daemon holds DNSServiceRegister in a bus call; killing it
  // then ends that call.
  const pid_t pid = MdnsDaemonPid();
  ASSERT_GT(pid, 1);
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  EXPECT_LT(Request("Frozen",
                    [&](MdnsResponder::ResultCallback callback) {
                      responder_->AddService(kType, "Frozen", 4242, "",
                                             std::move(callback));
                    }),
            kHostCallBound);
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(answers_.Count("Frozen"), 0);
  const auto killed = steady_clock::now();
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(WaitUntilDaemonGone());
  const Answer answer = answers_.Wait("Frozen", kAnswerBound);
  EXPECT_EQ(answer.result, MdnsResponder::NON_FATAL_ERROR);
  EXPECT_THAT(answer.message, AnyOf(StartsWith("DNSServiceRegister() failed"),
                                    StartsWith("OnDNSServiceRegisterReply()")));
  Report("registration blocked on a stopped daemon, then killed", "Frozen");
  std::cout << "  answered " << Ms(steady_clock::now() - killed)
            << " ms after the kill\n";

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed in " << destroyed_us << " us\n";
}

TEST_F(NetworkPluginFaultTest, DaemonRestartedUnderARegistration) {
  ASSERT_EQ(Add("Survivor", kRegistrationBound).result, MdnsResponder::SUCCESS);

  StopDaemon();
  StartDaemon();

  // Registered again by the responder itself, with its TXT record.
  testing_support::Browser browser(kType);
  ASSERT_TRUE(browser.WaitUntil(
      [](const testing_support::Browser::Seen& seen) {
        return seen.now.count("Survivor") &&
               seen.now.at("Survivor").txt == std::set<std::string>{"v=1"};
      },
      kBackBound))
      << "the service did not come back";
  std::cout << "  Survivor advertised again without a request\n";

  // It is the responder's own registration from then on: updates reach it,
  // and registering it again is a duplicate.
  const Answer update = Update("Survivor", "update", kRefusalBound);
  EXPECT_EQ(update.result, MdnsResponder::SUCCESS) << update.message;
  // A running browser resolves each instance once: asked afresh.
  bool txt_updated = false;
  const auto deadline = steady_clock::now() + kRegistrationBound;
  while (!txt_updated && steady_clock::now() < deadline) {
    for (const auto& ad : testing_support::BrowseOnce(kType)) {
      txt_updated |=
          ad.name == "Survivor" && ad.txt == std::set<std::string>{"v=2"};
    }
  }
  EXPECT_TRUE(txt_updated);
  const Answer duplicate = Add("Survivor", "again", kRefusalBound);
  EXPECT_EQ(duplicate.result, MdnsResponder::FATAL_ERROR);
  EXPECT_EQ(duplicate.message, "Duplicate service instance encountered");

  // New registrations reach the new daemon.
  const Answer added = Add("Newcomer", kRegistrationBound);
  EXPECT_EQ(added.result, MdnsResponder::SUCCESS) << added.message;
  Report("registration after the restart", "Newcomer");

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed (two registrations) in " << destroyed_us
            << " us\n";
}

testing::Environment* const kDaemon = testing::AddGlobalTestEnvironment(
    new testing_support::MdnsDaemonEnvironment(MDNS_DAEMON_SCRIPT));

}  // namespace
