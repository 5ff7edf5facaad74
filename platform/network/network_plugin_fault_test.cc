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
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/mdns_daemon.h"
#include "testing/plugin_loader.h"

namespace {

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing::AnyOf;
using testing::StartsWith;

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

using testing_support::InMdnsSandbox;
using testing_support::MdnsDaemonPid;
using testing_support::MdnsDaemonRuns;

// After a kill of the test's own: waits until the daemon is gone.
bool WaitUntilDaemonGone() {
  for (int i = 0; i < 100; ++i) {
    if (!MdnsDaemonRuns())
      return true;
    std::this_thread::sleep_for(milliseconds(50));
  }
  return false;
}

// Starts the bus and the daemon (project configuration, loopback only) when
// they do not run, and waits until the daemon serves requests.
void StartDaemon() {
  ASSERT_TRUE(testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT));
}

void StopDaemon() {
  ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/false));
}

void KillDaemon() {
  ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/true));
}

class SandboxedDaemon : public testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(InMdnsSandbox())
        << "run through scripts/mdns-sandbox: this test "
           "stops and kills the mDNS daemon";
    StartDaemon();
  }
  // What the tests stopped is running again; scripts/mdns-daemon then stops
  // the pair it started.
  void TearDown() override {
    if (!InMdnsSandbox())
      return;
    StartDaemon();
    EXPECT_TRUE(testing_support::StopMdnsDaemon(MDNS_DAEMON_SCRIPT));
  }
};

struct Answer {
  MdnsResponder::Result result = MdnsResponder::FATAL_ERROR;
  std::string message = "unanswered";
  milliseconds after{0};  // From the request.
};

// One request's answer; also measures how long the host call took.
class Request {
 public:
  MdnsResponder::ResultCallback Callback() {
    started_ = steady_clock::now();
    return [state = state_, started = started_](MdnsResponder::Result result,
                                                std::string message) {
      std::lock_guard<std::mutex> lock(state->mutex);
      ++state->answers;
      state->answer = {result, message,
                       std::chrono::duration_cast<milliseconds>(
                           steady_clock::now() - started)};
      state->changed.notify_all();
    };
  }
  // Call right after the host call returned.
  void Returned() { host_call_ = steady_clock::now() - started_; }
  steady_clock::duration host_call() const { return host_call_; }

  Answer Wait(milliseconds bound) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    EXPECT_TRUE(state_->changed.wait_for(lock, bound,
                                         [&] { return state_->answers > 0; }))
        << "no answer within " << bound.count() << " ms";
    return state_->answer;
  }
  int answers() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->answers;
  }

 private:
  // Shared with the callback, which may outlive a test that gave up.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    int answers = 0;
    Answer answer;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  steady_clock::time_point started_;
  steady_clock::duration host_call_{};
};

class NetworkPluginFaultTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Loaded once and never unloaded, as the host does.
    std::string error;
    new_entrypoint_ =
        testing_support::LoadPlatformEntrypoint(VANTOR_NETWORK_PLUGIN, &error);
    ASSERT_NE(new_entrypoint_, nullptr) << error;
  }

  void SetUp() override {
    ASSERT_TRUE(InMdnsSandbox());  // Never the machine's daemon.
    ASSERT_NE(new_entrypoint_, nullptr);
    ASSERT_TRUE(MdnsDaemonRuns());
    factory_.reset(
        assistant_client::internal_api::NewPlatformFactoryForEntrypoint(
            new_entrypoint_(assistant_client::internal_api::kApiVersion)));
    provider_.reset(factory_->NewNetworkProvider("{}", &platform_));
    ASSERT_NE(provider_, nullptr);
    responder_ = provider_->GetMdnsResponder();
    ASSERT_NE(responder_, nullptr);
  }

  // Whatever a test did to the daemon, the next one finds it running.
  void TearDown() override {
    provider_.reset();
    if (InMdnsSandbox())
      StartDaemon();
  }

  Answer Add(const std::string& name, Request* request, milliseconds bound) {
    responder_->AddService(kType, name, 4242, "\x03v=1", request->Callback());
    request->Returned();
    EXPECT_LT(request->host_call(), kHostCallBound) << "AddService blocked";
    return request->Wait(bound);
  }

  Answer Update(const std::string& name, Request* request, milliseconds bound) {
    responder_->UpdateTxtRecord(kType, name, "\x03v=2", request->Callback());
    request->Returned();
    EXPECT_LT(request->host_call(), kHostCallBound)
        << "UpdateTxtRecord blocked";
    return request->Wait(bound);
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

  static void Report(const std::string& what,
                     const Answer& answer,
                     const Request& request) {
    std::cout << "  " << what << ": result " << answer.result << " \""
              << answer.message << "\" after " << answer.after.count()
              << " ms; host call "
              << std::chrono::duration_cast<std::chrono::microseconds>(
                     request.host_call())
                     .count()
              << " us\n";
  }

  static testing_support::PlatformEntrypoint new_entrypoint_;
  testing_support::NullPlatform platform_;
  std::unique_ptr<assistant_client::PlatformFactory> factory_;
  std::unique_ptr<NetworkProvider> provider_;
  MdnsResponder* responder_ = nullptr;  // Owned by |provider_|.
};

testing_support::PlatformEntrypoint NetworkPluginFaultTest::new_entrypoint_ =
    nullptr;

TEST_F(NetworkPluginFaultTest, DaemonStoppedBeforeARegistration) {
  Request kept;
  const Answer registered = Add("Kept", &kept, kRegistrationBound);
  ASSERT_EQ(registered.result, MdnsResponder::SUCCESS) << registered.message;

  StopDaemon();
  Request added;
  const Answer refused = Add("Refused", &added, kRefusalBound);
  EXPECT_EQ(refused.result, MdnsResponder::NON_FATAL_ERROR);
  EXPECT_EQ(refused.message, "DNSServiceRegister() failed error_code=-65537");
  Report("registration with the daemon stopped", refused, added);

  // The registration made before the stop is gone with the daemon.
  Request updated;
  const Answer update = Update("Kept", &updated, kRefusalBound);
  EXPECT_NE(update.result, MdnsResponder::SUCCESS);
  EXPECT_THAT(update.message, StartsWith("DNSServiceUpdateRecord failed."));
  Report("TXT update of a registration the stopped daemon held", update,
         updated);

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed (one registration to withdraw) in "
            << destroyed_us << " us\n";
  EXPECT_EQ(added.answers(), 1);
  EXPECT_EQ(updated.answers(), 1);
}

TEST_F(NetworkPluginFaultTest, DaemonKilledWhileAwaitingTheReply) {
  // The daemon answers after probing the name, about a second; the kill
  // lands while the responder waits for that answer.
  Request added;
  responder_->AddService(kType, "Orphaned", 4242, "", added.Callback());
  added.Returned();
  EXPECT_LT(added.host_call(), kHostCallBound);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_EQ(added.answers(), 0) << "answered before the kill: too fast";
  KillDaemon();
  const Answer answer = added.Wait(kAnswerBound);
  EXPECT_EQ(answer.result, MdnsResponder::NON_FATAL_ERROR);
  Report("registration whose daemon was killed after 300 ms", answer, added);

  // With no daemon, the next one is refused at once.
  Request next;
  const Answer refused = Add("AfterKill", &next, kRefusalBound);
  EXPECT_EQ(refused.message, "DNSServiceRegister() failed error_code=-65537");
  Report("registration after the kill", refused, next);

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed in " << destroyed_us << " us\n";
  EXPECT_EQ(added.answers(), 1);
}

TEST_F(NetworkPluginFaultTest, DaemonKilledWhileDnsServiceRegisterWaits) {
  // A stopped daemon holds DNSServiceRegister in a bus call; killing it
  // then ends that call.
  const pid_t pid = MdnsDaemonPid();
  ASSERT_GT(pid, 1);
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  Request added;
  responder_->AddService(kType, "Frozen", 4242, "", added.Callback());
  added.Returned();
  EXPECT_LT(added.host_call(), kHostCallBound);
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(added.answers(), 0);
  const auto killed = steady_clock::now();
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(WaitUntilDaemonGone());
  const Answer answer = added.Wait(kAnswerBound);
  EXPECT_EQ(answer.result, MdnsResponder::NON_FATAL_ERROR);
  EXPECT_THAT(answer.message, AnyOf(StartsWith("DNSServiceRegister() failed"),
                                    StartsWith("OnDNSServiceRegisterReply()")));
  Report("registration blocked on a stopped daemon, then killed", answer,
         added);
  std::cout << "  answered " << Ms(steady_clock::now() - killed)
            << " ms after the kill\n";

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed in " << destroyed_us << " us\n";
}

TEST_F(NetworkPluginFaultTest, DaemonRestartedUnderARegistration) {
  Request kept;
  ASSERT_EQ(Add("Survivor", &kept, kRegistrationBound).result,
            MdnsResponder::SUCCESS);

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
  Request updated;
  const Answer update = Update("Survivor", &updated, kRefusalBound);
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
  Request again;
  const Answer duplicate = Add("Survivor", &again, kRefusalBound);
  EXPECT_EQ(duplicate.result, MdnsResponder::FATAL_ERROR);
  EXPECT_EQ(duplicate.message, "Duplicate service instance encountered");

  // New registrations reach the new daemon.
  Request fresh;
  const Answer added = Add("Newcomer", &fresh, kRegistrationBound);
  EXPECT_EQ(added.result, MdnsResponder::SUCCESS) << added.message;
  Report("registration after the restart", added, fresh);

  const long destroyed_us = DestroyProvider();
  std::cout << "  provider destroyed (two registrations) in " << destroyed_us
            << " us\n";
}

testing::Environment* const kDaemon =
    testing::AddGlobalTestEnvironment(new SandboxedDaemon());

}  // namespace
