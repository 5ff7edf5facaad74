// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in, loaded as the host loads it, keeps the device
// advertised while its mDNS daemon is stopped and started again, and
// registrations made together are answered together. What the daemon
// advertises is read back with avahi-browse; what the plug-in logs, through
// its own log handler.
//
// Runs only inside scripts/mdns-sandbox: the daemon it stops and kills is
// its own, in private namespaces, never the machine's.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/eintr_wrapper.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/command_line.h"
#include "testing/file_tree.h"
#include "testing/mdns_daemon.h"
#include "testing/network_plugin_fixture.h"

extern char** environ;

namespace {

using assistant_client::MdnsResponder;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing_support::Answer;
using testing_support::Browser;
using testing_support::PluginLogCount;
using testing_support::Txt;

constexpr char kType[] = "_vantorrestart._tcp";
constexpr int kRestarts = 20;
// The round in which an update, and the one in which a removal, is made
// while the daemon is away.
constexpr int kUpdateRound = 5;
constexpr int kRemoveRound = 10;
// Starting the daemon, the responder's next try (at most 2 s) and probing.
constexpr milliseconds kBackBound(15000);
// Long enough for a registration made with the others to show.
constexpr milliseconds kSettle(500);
constexpr milliseconds kAnswerBound(15000);

class NetworkPluginRestartTest : public testing_support::NetworkPluginFixture {
 protected:
  NetworkPluginRestartTest()
      : NetworkPluginFixture(VANTOR_NETWORK_PLUGIN, MDNS_DAEMON_SCRIPT) {}

  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(
        testing_support::CapturePluginLog(VANTOR_NETWORK_PLUGIN, &error))
        << error;
  }
};

// What must be advertised: name -> port and TXT strings.
using Expected = std::map<std::string, testing_support::Advertised>;

// True once everything expected is advertised as expected.
bool AllAdvertised(const Expected& expected, const Browser::Seen& seen) {
  for (const auto& entry : expected) {
    auto it = seen.now.find(entry.first);
    if (it == seen.now.end() || it->second.port != entry.second.port ||
        it->second.txt != entry.second.txt) {
      return false;
    }
  }
  return true;
}

TEST_F(NetworkPluginRestartTest, EveryServiceComesBackAfterEachRestart) {
  Expected expected;
  const std::vector<std::string> names = {
      UniqueName("Alpha"), UniqueName("Beta"), UniqueName("Gamma")};
  for (size_t i = 0; i < names.size(); ++i) {
    testing_support::Advertised ad;
    ad.name = names[i];
    ad.port = 5001 + static_cast<int>(i);
    ad.txt = {"id=" + names[i]};
    expected[names[i]] = ad;
    responder_->AddService(kType, names[i], ad.port, Txt({"id=" + names[i]}),
                           answers_.Callback(names[i]));
  }
  ASSERT_TRUE(answers_.WaitFor(names.size(), kAnswerBound));
  for (const std::string& name : names)
    ASSERT_EQ(answers_.Get(name).result, MdnsResponder::SUCCESS) << name;
  {
    Browser browser(kType);
    ASSERT_TRUE(browser.WaitUntil(
        [&](const Browser::Seen& seen) {
          return AllAdvertised(expected, seen);
        },
        kBackBound));
  }

  const std::string& updated = names[1];
  const std::string& removed = names[2];
  int reregistrations = 0;
  int removed_before = 0;
  std::vector<long> back_ms;
  for (int round = 1; round <= kRestarts; ++round) {
    SCOPED_TRACE("restart " + std::to_string(round));
    const bool kill = round % 2 == 0;
    const int lost_before =
        PluginLogCount("Lost mdns service instances error_code=-65537");
    ASSERT_TRUE(testing_support::StopMdnsDaemonNow(kill));
    // The loss is noticed while the daemon is away: one line for all.
    for (int i = 0;
         i < 200 && PluginLogCount("Lost mdns service instances "
                                   "error_code=-65537") == lost_before;
         ++i) {
      std::this_thread::sleep_for(milliseconds(25));
    }
    ASSERT_EQ(PluginLogCount("Lost mdns service instances error_code=-65537"),
              lost_before + 1);

    if (round == kUpdateRound) {
      responder_->UpdateTxtRecord(kType, updated, Txt({"id=new", "v=2"}),
                                  answers_.Callback("update"));
      ASSERT_TRUE(answers_.WaitFor(names.size() + 1, kAnswerBound));
      const Answer update = answers_.Get("update");
      EXPECT_EQ(update.result, MdnsResponder::NON_FATAL_ERROR);
      EXPECT_EQ(update.message,
                "DNSServiceUpdateRecord failed. error_code=-65537");
      expected[updated].txt = {"id=new", "v=2"};
    }
    if (round == kRemoveRound) {
      responder_->RemoveService(kType, removed);
      expected.erase(removed);
      removed_before =
          PluginLogCount("Re-registered mdns service instance: " + removed);
    }

    const auto restarted = steady_clock::now();
    ASSERT_TRUE(testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT));
    Browser browser(kType);
    ASSERT_TRUE(browser.started());
    ASSERT_TRUE(browser.WaitUntil(
        [&](const Browser::Seen& seen) {
          return AllAdvertised(expected, seen);
        },
        kBackBound))
        << "not every service came back";
    back_ms.push_back(
        static_cast<long>(std::chrono::duration_cast<milliseconds>(
                              steady_clock::now() - restarted)
                              .count()));
    reregistrations += static_cast<int>(expected.size());
    // Whatever else is registered by now shows too: nothing else may be.
    browser.WaitUntil([](const Browser::Seen&) { return false; }, kSettle);
    std::map<std::string, int> added;
    for (const std::string& name : browser.seen().added)
      ++added[name];
    for (const auto& entry : added) {
      EXPECT_TRUE(expected.count(entry.first)) << entry.first << " is back";
      EXPECT_EQ(entry.second, 1) << entry.first << " is advertised twice";
    }
  }
  EXPECT_EQ(PluginLogCount("Re-registered mdns service instance: "),
            reregistrations);
  EXPECT_EQ(PluginLogCount("Re-registered mdns service instance: " + removed),
            removed_before);
  EXPECT_EQ(PluginLogCount("Can't re-register"), 0);

  std::sort(back_ms.begin(), back_ms.end());
  std::cout << kRestarts << " restarts (-k and SIGKILL in turn): every service "
            << "browsable again after median " << back_ms[back_ms.size() / 2]
            << " ms, max " << back_ms.back()
            << " ms from starting the daemon\n";
}

TEST_F(NetworkPluginRestartTest, TenRegistrationsAtOnce) {
  constexpr int kCount = 10;
  Expected expected;
  const auto start = steady_clock::now();
  for (int i = 0; i < kCount; ++i) {
    const std::string name = UniqueName("Many" + std::to_string(i));
    testing_support::Advertised ad;
    ad.name = name;
    ad.port = 6000 + i;
    expected[name] = ad;
    responder_->AddService(kType, name, ad.port, "", answers_.Callback(name));
  }
  ASSERT_TRUE(answers_.WaitFor(kCount, kAnswerBound));
  const auto answered = steady_clock::now();
  for (const auto& entry : expected) {
    const Answer answer = answers_.Get(entry.first);
    EXPECT_EQ(answer.result, MdnsResponder::SUCCESS) << answer.message;
    EXPECT_EQ(answer.message, "");
  }
  Browser browser(kType);
  EXPECT_TRUE(browser.WaitUntil(
      [&](const Browser::Seen& seen) { return AllAdvertised(expected, seen); },
      kBackBound));
  std::cout
      << kCount << " registrations at once, all answered after "
      << std::chrono::duration_cast<milliseconds>(answered - start).count()
      << " ms\n";
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// assistant_sample with the stand-in host and the build's plug-ins,
// advertising |name|; its log goes to a file. Ends its input when destroyed
// and is killed if it is still running then.
class Sample {
 public:
  explicit Sample(const std::string& name) : name_(name) {
    char folder[] = "/tmp/network_plugin_restart_test.XXXXXX";
    EXPECT_NE(mkdtemp(folder), nullptr);
    dir_ = folder;
    log_ = dir_ + "/sample.log";
    const std::string config = dir_ + "/config.json";
    std::ofstream(config) << "{\"platform_config\": {}, \"vantor_host\": "
                             "{\"mdns_service_type\": \""
                          << kType << "\", \"mdns_instance_name\": \"" << name
                          << "\"}}";
    std::vector<std::string> args = testing_support::CommandLine(
        ASSISTANT_SAMPLE_EMULATOR, ASSISTANT_SAMPLE_PATH);
    args.push_back(config);
    std::vector<std::string> env = {
        "XDG_CONFIG_HOME=" + dir_,
        std::string("VANTOR_PLUGIN_DIR=") + VANTOR_PLUGIN_DIR};
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("XDG_CONFIG_HOME=", 0) &&
          entry.rfind("VANTOR_PLUGIN_DIR=", 0))
        env.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& entry : env)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    int input[2];
    EXPECT_EQ(pipe2(input, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(),
                          envp.data()),
              0);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    input_ = input[1];
  }
  ~Sample() {
    EndInput();
    if (pid_ > 0 && !Exited(milliseconds(0))) {
      kill(pid_, SIGKILL);
      HANDLE_EINTR(waitpid(pid_, nullptr, 0));
    }
    testing_support::RemoveTree(dir_);
  }

  std::string id() const { return name_ + "." + kType; }
  std::string Log() const { return Slurp(log_); }
  bool WaitFor(const std::string& text, milliseconds bound = kBackBound) {
    const auto deadline = steady_clock::now() + bound;
    while (Log().find(text) == std::string::npos) {
      if (steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return true;
  }
  // One interaction, accepted.
  bool Interact() {
    ++interactions_;
    return write(input_, "\n", 1) == 1 &&
           WaitFor("StartAssistantInteraction: interaction " +
                   std::to_string(interactions_));
  }
  // End of input: the sample's orderly exit.
  void EndInput() {
    if (input_ >= 0)
      close(input_);
    input_ = -1;
  }
  // True once the sample has exited within |bound|; its status in status().
  bool Exited(milliseconds bound) {
    const auto deadline = steady_clock::now() + bound;
    for (;;) {
      const pid_t done = HANDLE_EINTR(waitpid(pid_, &status_, WNOHANG));
      if (done == pid_) {
        pid_ = 0;
        return true;
      }
      if (done < 0 || steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(milliseconds(20));
    }
  }
  bool ExitedWithZero() const {
    return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
  }

 private:
  const std::string name_;
  std::string dir_;
  std::string log_;
  pid_t pid_ = 0;
  int input_ = -1;
  int interactions_ = 0;
  int status_ = -1;
};

// Started before its daemon, the stand-in host is advertised once the
// daemon serves, and its log tells what the network showed across a daemon
// restart.
TEST(StandInHostTest, FollowsItsAdvertisementAcrossTheDaemonsAbsence) {
  if (testing_support::MdnsDaemonRuns()) {
    ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/false));
  }
  Sample sample("Host-" + std::to_string(getpid()));
  const std::string name = "Host-" + std::to_string(getpid());
  ASSERT_TRUE(
      sample.WaitFor("Advertising " + sample.id() + " failed: NON_FATAL_ERROR"))
      << sample.Log();
  ASSERT_TRUE(testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT));
  ASSERT_TRUE(sample.WaitFor("Advertised " + sample.id() + ": SUCCESS"))
      << sample.Log();
  const std::string shown =
      "mDNS: the network shows this device as '" + name + "' (" + kType + ")";
  ASSERT_TRUE(sample.WaitFor(shown)) << sample.Log();
  ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/true));
  EXPECT_TRUE(
      sample.WaitFor("mDNS: the network no longer shows this device as '" +
                     name + "': the mDNS daemon went away"))
      << sample.Log();
  ASSERT_TRUE(testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT));
  EXPECT_TRUE(sample.WaitFor("mDNS: the network shows this device again as '" +
                             name + "', "))
      << sample.Log();
  // The plug-in's line and the host's come from two threads, in either
  // order.
  EXPECT_TRUE(
      sample.WaitFor("Re-registered mdns service instance: " + sample.id()));
  const std::string text = sample.Log();
  EXPECT_EQ(text.find(shown), text.rfind(shown)) << text;

  sample.EndInput();
  ASSERT_TRUE(sample.Exited(kAnswerBound)) << sample.Log();
  EXPECT_TRUE(sample.ExitedWithZero()) << sample.Log();
}

// A frozen daemon takes requests and never answers; the client library
// waits for each answer as long as the system bus lets it (25 s). Neither
// the host's view of the network nor the plug-in's withdrawal or its own
// registration again after a restart may hold the shutdown: after the end
// of input the sample is gone within 5 s, or within 30 s while its first
// registration still waits on the daemon.
TEST(StandInHostTest, AFrozenDaemonDoesNotHoldTheShutdown) {
  enum class Frozen {
    kBeforeStart,    // Before the first registration.
    kAdvertised,     // Once advertised.
    kReregistering,  // Restarted, and frozen as it comes back.
  };
  struct Row {
    const char* when;
    Frozen frozen;
    milliseconds bound;
    std::vector<std::string> logged;
  };
  const Row rows[] = {
      {"frozen before the sample starts",
       Frozen::kBeforeStart,
       milliseconds(30000),
       {}},
      {"frozen once advertised",
       Frozen::kAdvertised,
       milliseconds(5000),
       {"Withdrawing ", "Unregistering mdns service instance: ",
        "mDNS: stopped watching the network without the daemon: it did not "
        "answer within "}},
      {"frozen while registered again",
       Frozen::kReregistering,
       milliseconds(5000),
       {"Lost mdns service instances", "Withdrawing ",
        "Unregistering mdns service instance: "}},
  };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    defined(VANTOR_TEST_UNDER_EMULATOR)
  // The bounds are the device's; the shutdown's own work is slower here.
  constexpr int kSlower = 3;
#else
  constexpr int kSlower = 1;
#endif
  for (const Row& row : rows) {
    SCOPED_TRACE(row.when);
    if (!testing_support::MdnsDaemonRuns()) {
      ASSERT_TRUE(testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT));
    }
    pid_t daemon = testing_support::MdnsDaemonPid();
    ASSERT_GT(daemon, 0);
    // Thawed however the case ends, for the cases after it.
    std::unique_ptr<pid_t, void (*)(pid_t*)> thaw(
        &daemon, [](pid_t* pid) { kill(*pid, SIGCONT); });
    if (row.frozen == Frozen::kBeforeStart) {
      ASSERT_EQ(kill(daemon, SIGSTOP), 0);
    }
    Sample sample("Frozen-" + std::to_string(getpid()));
    std::thread starting;
    if (row.frozen != Frozen::kBeforeStart) {
      ASSERT_TRUE(sample.WaitFor("Advertised " + sample.id() + ": SUCCESS"))
          << sample.Log();
      ASSERT_TRUE(sample.WaitFor("mDNS: the network shows this device as"))
          << sample.Log();
    }
    if (row.frozen == Frozen::kAdvertised) {
      ASSERT_EQ(kill(daemon, SIGSTOP), 0);
    } else if (row.frozen == Frozen::kReregistering) {
      ASSERT_TRUE(testing_support::StopMdnsDaemonNow(/*kill=*/false));
      ASSERT_TRUE(sample.WaitFor("Lost mdns service instances"))
          << sample.Log();
      // Its start waits for a daemon that serves, which this one won't.
      starting = std::thread(
          [] { testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT); });
      const auto give_up = steady_clock::now() + std::chrono::seconds(10);
      while (access("/run/avahi-daemon/socket", F_OK) != 0 &&
             steady_clock::now() < give_up) {
        std::this_thread::sleep_for(milliseconds(5));
      }
      // As the sample's registration again starts.
      std::this_thread::sleep_for(milliseconds(75));
      daemon = testing_support::MdnsDaemonPid();
      ASSERT_GT(daemon, 0);
      ASSERT_EQ(kill(daemon, SIGSTOP), 0);
    }
    ASSERT_TRUE(sample.Interact()) << sample.Log();
    const auto end = steady_clock::now();
    sample.EndInput();
    const bool exited = sample.Exited(kSlower * row.bound);
    const auto took =
        std::chrono::duration_cast<milliseconds>(steady_clock::now() - end);
    thaw.reset();
    if (starting.joinable())
      starting.join();
    ASSERT_TRUE(exited) << sample.Log();
    std::cout << row.when << ": exit " << took.count()
              << " ms after the end of input\n";
    EXPECT_TRUE(sample.ExitedWithZero()) << sample.Log();
    const std::string log = sample.Log();
    for (const std::string& line : row.logged)
      EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

testing::Environment* const kDaemon = testing::AddGlobalTestEnvironment(
    new testing_support::MdnsDaemonEnvironment(MDNS_DAEMON_SCRIPT));

}  // namespace
