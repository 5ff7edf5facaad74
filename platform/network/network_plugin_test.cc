// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in against a real mDNS daemon, loaded with dlopen and
// driven through the C bridge as the host library drives it. What the
// daemon advertises is read back with avahi-browse. It runs inside
// scripts/mdns-sandbox, where scripts/mdns-daemon starts a pair of its own.
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/eintr_wrapper.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/plugin_loader.h"

extern char** environ;

namespace {

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;
using testing::StartsWith;

constexpr char kType[] = "_vantortest._tcp";
constexpr std::chrono::seconds kAnswerWait(30);
constexpr std::chrono::seconds kBrowseWait(10);

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
      out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

class MdnsDaemonEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    const std::string command =
        std::string(MDNS_DAEMON_SCRIPT) + " start " + std::to_string(getpid());
    ASSERT_EQ(system(command.c_str()), 0) << command;
  }
  void TearDown() override {
    const std::string command =
        std::string(MDNS_DAEMON_SCRIPT) + " stop " + std::to_string(getpid());
    EXPECT_EQ(system(command.c_str()), 0) << command;
  }
};

// DNS TXT record data: each string preceded by its length.
std::string Txt(const std::vector<std::string>& strings) {
  std::string wire;
  for (const std::string& s : strings)
    wire += static_cast<char>(s.size()) + s;
  return wire;
}

struct Advertised {
  int port = 0;
  std::set<std::string> txt;
};

// The resolved instances of |type| named |name| (one per interface and
// protocol; with the project's daemon configuration, one).
std::vector<Advertised> Browse(const std::string& type,
                               const std::string& name) {
  std::vector<Advertised> found;
  std::istringstream lines(Run("avahi-browse -rpt " + type + " 2>/dev/null"));
  std::string line;
  while (std::getline(lines, line)) {
    // =;lo;IPv4;name;type;domain;host;address;port;"txt" "txt"
    std::vector<std::string> fields;
    std::istringstream split(line);
    std::string field;
    while (std::getline(split, field, ';'))
      fields.push_back(field);
    if (!line.empty() && line.back() == ';')
      fields.emplace_back();  // An empty TXT record.
    if (fields.size() < 10 || fields[0] != "=" || fields[3] != name)
      continue;
    Advertised ad;
    ad.port = std::stoi(fields[8]);
    // The TXT field may contain ';' itself; ours do not.
    const std::string& txt = fields[9];
    for (size_t open = txt.find('"'); open != std::string::npos;) {
      const size_t close = txt.find('"', open + 1);
      ad.txt.insert(txt.substr(open + 1, close - open - 1));
      open = txt.find('"', close + 1);
    }
    found.push_back(ad);
  }
  return found;
}

// Browses until |done| holds for what is advertised, or the time is up.
std::vector<Advertised> BrowseUntil(
    const std::string& name,
    const std::function<bool(const std::vector<Advertised>&)>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kBrowseWait;
  std::vector<Advertised> found = Browse(kType, name);
  while (!done(found) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    found = Browse(kType, name);
  }
  return found;
}

struct Answer {
  MdnsResponder::Result result;
  std::string message;
};

// Waits for one request's answer.
class AnswerWaiter {
 public:
  MdnsResponder::ResultCallback Callback() {
    return [state = state_](MdnsResponder::Result result, std::string message) {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->answer = {result, message};
      state->answered = true;
      state->changed.notify_all();
    };
  }

  Answer Wait() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    EXPECT_TRUE(state_->changed.wait_for(lock, kAnswerWait, [&] {
      return state_->answered;
    })) << "no answer";
    return state_->answer;
  }

 private:
  // Shared with the callback, which may outlive a test that gave up.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool answered = false;
    Answer answer = {MdnsResponder::FATAL_ERROR, "unanswered"};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

class NetworkPluginTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Loaded once and never unloaded, as the host does.
    std::string error;
    new_entrypoint_ =
        testing_support::LoadPlatformEntrypoint(VANTOR_NETWORK_PLUGIN, &error);
    ASSERT_NE(new_entrypoint_, nullptr) << error;
  }

  void SetUp() override {
    ASSERT_NE(new_entrypoint_, nullptr);
    factory_.reset(
        assistant_client::internal_api::NewPlatformFactoryForEntrypoint(
            new_entrypoint_(assistant_client::internal_api::kApiVersion)));
    provider_ = NewProvider("{}");
    ASSERT_NE(provider_, nullptr);
    responder_ = provider_->GetMdnsResponder();
    ASSERT_NE(responder_, nullptr);
  }

  std::unique_ptr<NetworkProvider> NewProvider(const std::string& config) {
    return std::unique_ptr<NetworkProvider>(
        factory_->NewNetworkProvider(config, &platform_));
  }

  // A name no other run on this machine uses at the same time.
  static std::string UniqueName(const std::string& prefix) {
    return prefix + "-" + std::to_string(getpid());
  }

  static testing_support::PlatformEntrypoint new_entrypoint_;
  testing_support::NullPlatform platform_;
  std::unique_ptr<assistant_client::PlatformFactory> factory_;
  std::unique_ptr<NetworkProvider> provider_;
  MdnsResponder* responder_ = nullptr;  // Owned by |provider_|.
};

testing_support::PlatformEntrypoint NetworkPluginTest::new_entrypoint_ =
    nullptr;

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
  AnswerWaiter added;
  const auto start = std::chrono::steady_clock::now();
  responder_->AddService(kType, name, 4242, Txt({"id=abc", "v=1"}),
                         added.Callback());
  const Answer answer = added.Wait();
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

  AnswerWaiter updated;
  responder_->UpdateTxtRecord(kType, name, Txt({"id=abc", "v=2", "x=y"}),
                              updated.Callback());
  const Answer update = updated.Wait();
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
  AnswerWaiter kept_added;
  responder_->AddService(kType, kept, 4343, "", kept_added.Callback());
  ASSERT_EQ(kept_added.Wait().result, MdnsResponder::SUCCESS);
  ASSERT_EQ(
      BrowseUntil(kept,
                  [](const std::vector<Advertised>& f) { return !f.empty(); })
          .size(),
      1u);

  // Still pending while the provider goes: answered, then withdrawn too.
  AnswerWaiter pending_added;
  responder_->AddService(kType, pending, 4344, "", pending_added.Callback());
  provider_.reset();
  EXPECT_EQ(pending_added.Wait().result, MdnsResponder::SUCCESS);
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

  AnswerWaiter added;
  responder_->AddService(kType, name, 4444, "", added.Callback());
  const Answer answer = added.Wait();
  EXPECT_EQ(answer.result, MdnsResponder::NON_FATAL_ERROR);
  EXPECT_EQ(answer.message, "DNSServiceRegister() failed error_code=-65548");

  // The other client's service is untouched.
  found = Browse(kType, name);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].port, 5555);
}

// What the DNS-SD layer cannot take is answered as an error before it gets
// there: invalid UTF-8 used to make the daemon's D-Bus library abort the
// whole process, and a 65,536-byte TXT record was advertised empty.
TEST_F(NetworkPluginTest, InvalidArgumentsAreRefusedAndTheProcessLives) {
  const std::string name = UniqueName("Valid");
  AnswerWaiter added;
  responder_->AddService(kType, name, 4545, Txt({"v=1"}), added.Callback());
  ASSERT_EQ(added.Wait().result, MdnsResponder::SUCCESS);

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
    AnswerWaiter refused;
    responder_->AddService(kType, c.name, 4546, c.txt, refused.Callback());
    const Answer answer = refused.Wait();
    EXPECT_EQ(answer.result, MdnsResponder::FATAL_ERROR);
    EXPECT_EQ(answer.message, c.message);
  }
  AnswerWaiter updated;
  responder_->UpdateTxtRecord(kType, name, too_long, updated.Callback());
  const Answer update = updated.Wait();
  EXPECT_EQ(update.result, MdnsResponder::FATAL_ERROR);
  EXPECT_EQ(update.message, "Invalid TXT record: 65536 bytes, more than 65535");

  // The daemon still serves the valid one, unchanged, and nothing else.
  std::vector<Advertised> found = BrowseUntil(
      name, [](const std::vector<Advertised>& f) { return !f.empty(); });
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].txt, (std::set<std::string>{"v=1"}));
  EXPECT_TRUE(Browse(kType, UniqueName("Big")).empty());
  responder_->RemoveService(kType, name);
}

testing::Environment* const kMdnsDaemon =
    testing::AddGlobalTestEnvironment(new MdnsDaemonEnvironment());

}  // namespace
