// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in against a real mDNS daemon, loaded with dlopen and
// driven through the C bridge as the host library drives it. What the
// daemon advertises is read back with avahi-browse. It runs inside
// scripts/mdns-sandbox, where scripts/mdns-daemon starts a pair of its own.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/eintr_wrapper.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/mdns_daemon.h"
#include "testing/network_plugin_fixture.h"

extern char** environ;

namespace {

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;
using testing_support::Advertised;
using testing_support::Answer;
using testing_support::Txt;

constexpr char kType[] = "_vantortest._tcp";
constexpr std::chrono::seconds kAnswerWait(30);
constexpr std::chrono::seconds kBrowseWait(10);

// The resolved instances named |name| (one per interface and protocol; with
// the project's daemon configuration, one).
std::vector<Advertised> Browse(const std::string& name) {
  std::vector<Advertised> found = testing_support::BrowseOnce(kType);
  found.erase(
      std::remove_if(found.begin(), found.end(),
                     [&](const Advertised& ad) { return ad.name != name; }),
      found.end());
  return found;
}

// Browses until |done| holds for what is advertised, or the time is up.
std::vector<Advertised> BrowseUntil(
    const std::string& name,
    const std::function<bool(const std::vector<Advertised>&)>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kBrowseWait;
  std::vector<Advertised> found = Browse(name);
  while (!done(found) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    found = Browse(name);
  }
  return found;
}

class NetworkPluginTest : public testing_support::NetworkPluginFixture {
 protected:
  NetworkPluginTest()
      : NetworkPluginFixture(VANTOR_NETWORK_PLUGIN, MDNS_DAEMON_SCRIPT) {}
};

TEST_F(NetworkPluginTest, ConnectionStatusThroughTheBridge) {
  char folder[] = "/tmp/network_plugin_test.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/state";
  ASSERT_TRUE(assistant_reference::WriteFile(path, "CONNECTED\n"));
  auto provider = NewProvider(
      "{\"platform_config\": {\"connection_status_path\": \"" + path + "\"}}");
  EXPECT_EQ(provider->GetConnectionStatus(), NetworkProvider::CONNECTED);
  unlink(path.c_str());
  rmdir(folder);
  EXPECT_EQ(provider->GetConnectionStatus(), NetworkProvider::UNKNOWN);
}

TEST_F(NetworkPluginTest, AdvertisesUpdatesAndWithdraws) {
  const std::string name = UniqueName("Advertised");
  const auto start = std::chrono::steady_clock::now();
  responder_->AddService(kType, name, 4242, Txt({"id=abc", "v=1"}),
                         answers_.Callback("added"));
  const Answer answer = answers_.Wait("added", kAnswerWait);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(answer.result, MdnsResponder::SUCCESS) << answer.message;
  EXPECT_EQ(answer.message, "");
  std::cout
      << "registration answered after "
      << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()
      << " ms\n";

  std::vector<Advertised> found = BrowseUntil(
      name, [](const std::vector<Advertised>& f) { return !f.empty(); });
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].port, 4242);
  EXPECT_EQ(found[0].txt, (std::set<std::string>{"id=abc", "v=1"}));

  responder_->UpdateTxtRecord(kType, name, Txt({"id=abc", "v=2", "x=y"}),
                              answers_.Callback("updated"));
  const Answer update = answers_.Wait("updated", kAnswerWait);
  ASSERT_EQ(update.result, MdnsResponder::SUCCESS) << update.message;
  const std::set<std::string> new_txt = {"id=abc", "v=2", "x=y"};
  found = BrowseUntil(name, [&](const std::vector<Advertised>& f) {
    return f.size() == 1 && f[0].txt == new_txt;
  });
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].txt, new_txt);
  EXPECT_EQ(found[0].port, 4242);

  responder_->RemoveService(kType, name);
  found = BrowseUntil(
      name, [](const std::vector<Advertised>& f) { return f.empty(); });
  EXPECT_TRUE(found.empty());
}

TEST_F(NetworkPluginTest, DestroyingTheProviderWithdrawsItsServices) {
  const std::string kept = UniqueName("Kept");
  const std::string pending = UniqueName("Pending");
  responder_->AddService(kType, kept, 4343, "", answers_.Callback("kept"));
  ASSERT_EQ(answers_.Wait("kept", kAnswerWait).result, MdnsResponder::SUCCESS);
  ASSERT_EQ(
      BrowseUntil(kept,
                  [](const std::vector<Advertised>& f) { return !f.empty(); })
          .size(),
      1u);

  // Still pending while the provider goes: answered, then withdrawn too.
  responder_->AddService(kType, pending, 4344, "",
                         answers_.Callback("pending"));
  provider_.reset();
  EXPECT_EQ(answers_.Wait("pending", kAnswerWait).result,
            MdnsResponder::SUCCESS);
  for (const std::string& name : {kept, pending}) {
    EXPECT_THAT(
        BrowseUntil(name,
                    [](const std::vector<Advertised>& f) { return f.empty(); }),
        testing::IsEmpty())
        << name;
  }
}

TEST_F(NetworkPluginTest, NameHeldByAnotherClientIsRefused) {
  const std::string name = UniqueName("Taken");
  const std::string port = "5555";
  const char* argv[] = {"avahi-publish", "-s",         name.c_str(),
                        kType,           port.c_str(), nullptr};
  pid_t publisher = 0;
  ASSERT_EQ(posix_spawnp(&publisher, "avahi-publish", nullptr, nullptr,
                         const_cast<char**>(argv), environ),
            0);
  // Ended however the test ends.
  std::unique_ptr<pid_t, void (*)(pid_t*)> reap(&publisher, [](pid_t* pid) {
    kill(*pid, SIGTERM);
    HANDLE_EINTR(waitpid(*pid, nullptr, 0));
  });
  std::vector<Advertised> found = BrowseUntil(
      name, [](const std::vector<Advertised>& f) { return !f.empty(); });
  ASSERT_FALSE(found.empty()) << "avahi-publish did not establish " << name;

  responder_->AddService(kType, name, 4444, "", answers_.Callback("added"));
  const Answer answer = answers_.Wait("added", kAnswerWait);
  EXPECT_EQ(answer.result, MdnsResponder::NON_FATAL_ERROR);
  EXPECT_EQ(answer.message, "DNSServiceRegister() failed error_code=-65548");

  // The other client's service is untouched.
  found = Browse(name);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].port, 5555);
}

// What the DNS-SD layer cannot take is answered as an error before it gets
// there: invalid UTF-8 used to make the daemon's D-Bus library abort the
// whole process, and a 65,536-byte TXT record was advertised empty.
TEST_F(NetworkPluginTest, InvalidArgumentsAreRefusedAndTheProcessLives) {
  const std::string name = UniqueName("Valid");
  responder_->AddService(kType, name, 4545, Txt({"v=1"}),
                         answers_.Callback("added"));
  ASSERT_EQ(answers_.Wait("added", kAnswerWait).result, MdnsResponder::SUCCESS);

  std::string too_long;
  for (int i = 0; i < 256; ++i)
    too_long += static_cast<char>(255) + std::string(255, 't');
  const struct {
    std::string name;
    std::string txt;
    std::string message;
  } kCases[] = {
      {"Bad\xff\xfe", "", "Invalid instance name: not valid UTF-8"},
      {"Surrogate\xed\xa0\x80", "", "Invalid instance name: not valid UTF-8"},
      {UniqueName("Big"), too_long,
       "Invalid TXT record: 65536 bytes, more than 65535"},
      {UniqueName("Cut"), "\x09v=1",
       "Invalid TXT record: the string at byte 0 has length 9, past the end"},
  };
  for (const auto& c : kCases) {
    responder_->AddService(kType, c.name, 4546, c.txt,
                           answers_.Callback(c.name));
    const Answer answer = answers_.Wait(c.name, kAnswerWait);
    EXPECT_EQ(answer.result, MdnsResponder::FATAL_ERROR);
    EXPECT_EQ(answer.message, c.message);
  }
  responder_->UpdateTxtRecord(kType, name, too_long,
                              answers_.Callback("updated"));
  const Answer update = answers_.Wait("updated", kAnswerWait);
  EXPECT_EQ(update.result, MdnsResponder::FATAL_ERROR);
  EXPECT_EQ(update.message, "Invalid TXT record: 65536 bytes, more than 65535");

  // The daemon still serves the valid one, unchanged, and nothing else.
  std::vector<Advertised> found = BrowseUntil(
      name, [](const std::vector<Advertised>& f) { return !f.empty(); });
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].txt, (std::set<std::string>{"v=1"}));
  EXPECT_TRUE(Browse(UniqueName("Big")).empty());
  responder_->RemoveService(kType, name);
}

testing::Environment* const kMdnsDaemon = testing::AddGlobalTestEnvironment(
    new testing_support::MdnsDaemonEnvironment(MDNS_DAEMON_SCRIPT));

}  // namespace
