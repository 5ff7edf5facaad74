// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// assistant_sample as a Type=notify service: what it tells a notify socket
// of this test's own, standing in for systemd's, with the stand-in host.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/eintr_wrapper.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "testing/command_line.h"
#include "testing/file_tree.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// WATCHDOG_USEC as the test sets it: pings at half of it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    defined(VANTOR_TEST_UNDER_EMULATOR)
constexpr milliseconds kWatchdog(1000);
#else
constexpr milliseconds kWatchdog(300);
#endif
constexpr milliseconds kPatience(10000);

class ServiceNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/service_notifier_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket_, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/notify";
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(0, bind(socket_, reinterpret_cast<sockaddr*>(&address),
                      sizeof(address)));
  }
  void TearDown() override {
    if (input_ >= 0)
      close(input_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      HANDLE_EINTR(waitpid(pid_, nullptr, 0));
    }
    close(socket_);
    EXPECT_TRUE(testing_support::RemoveTree(dir_));
  }

  // The sample with the host's debug server and its fault switches on;
  // |watchdog_usec| is WATCHDOG_USEC's text, kWatchdog's by default.
  void Start(std::string watchdog_usec = "", std::string platform = "{}") {
    if (watchdog_usec.empty()) {
      watchdog_usec = std::to_string(
          std::chrono::duration_cast<std::chrono::microseconds>(kWatchdog)
              .count());
    }
    const std::string config = dir_ + "/config.json";
    std::ofstream(config) << R"({"platform_config": )" << platform
                          << R"(, "vantor_host": )"
                          << R"({"debug_http_port": 0, "test_faults": true}})";
    std::vector<std::string> env = {
        "XDG_CONFIG_HOME=" + dir_, "VANTOR_PLUGIN_DIR=" + dir_,
        "NOTIFY_SOCKET=" + dir_ + "/notify", "WATCHDOG_USEC=" + watchdog_usec};
    for (char** e = environ; *e; ++e)
      env.push_back(*e);  // The first of a name counts.
    std::vector<char*> envp;
    for (std::string& entry : env)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = testing_support::CommandLine(
        ASSISTANT_SAMPLE_EMULATOR, ASSISTANT_SAMPLE_PATH);
    args.push_back(config);
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    int input[2];
    ASSERT_EQ(0, pipe2(input, O_CLOEXEC));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, Log().c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(0, posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(),
                              envp.data()));
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    input_ = input[1];
  }

  std::string Log() const { return dir_ + "/sample.log"; }
  std::string LogText() const {
    return assistant_reference::ReadFile(Log(), false);
  }

  // The next message on the socket within |bound|, or "". STATUS= lines go
  // to |statuses_| instead: they come whenever the state changes.
  std::string Next(milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      pollfd fd = {socket_, POLLIN, 0};
      if (HANDLE_EINTR(poll(&fd, 1,
                            static_cast<int>(std::max<long long>(
                                0, static_cast<long long>(left.count()))))) !=
          1) {
        return "";
      }
      char buffer[512];
      const ssize_t length =
          HANDLE_EINTR(recv(socket_, buffer, sizeof(buffer), 0));
      if (length <= 0)
        return "";
      std::string message(buffer, static_cast<size_t>(length));
      if (message.rfind("STATUS=", 0) != 0)
        return message;
      statuses_.push_back(message.substr(7));
    }
  }

  // Takes the messages until |bound| passes; true when the last STATUS=
  // line by then is |line|.
  bool StatusBecomes(const std::string& line, milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    while (statuses_.empty() || statuses_.back() != line) {
      if (Clock::now() >= deadline)
        return false;
      Next(milliseconds(50));
    }
    return true;
  }

  // POST |path| to the host's debug server; true on 200.
  bool Post(const std::string& path) {
    const std::string log = LogText();
    const std::string mark = "Debug server on http://127.0.0.1:";
    const size_t at = log.find(mark);
    if (at == std::string::npos)
      return false;
    const int port = atoi(log.c_str() + at + mark.size());
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request =
        "POST " + path + " HTTP/1.0\r\nContent-Length: 0\r\n\r\n";
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ==
            0 &&
        write(fd, request.data(), request.size()) ==
            static_cast<ssize_t>(request.size())) {
      char buffer[512];
      ssize_t length;
      while ((length = HANDLE_EINTR(read(fd, buffer, sizeof(buffer)))) > 0)
        reply.append(buffer, static_cast<size_t>(length));
    }
    close(fd);
    return reply.find(" 200 ") != std::string::npos;
  }

  // Ends the input and returns every message up to the sample's exit, which
  // must be clean.
  std::vector<std::string> StopAndCollect() {
    close(input_);
    input_ = -1;
    std::vector<std::string> messages;
    for (std::string message; !(message = Next(kPatience)).empty();) {
      messages.push_back(message);
      if (message == "STOPPING=1")
        break;
    }
    int status = 0;
    EXPECT_EQ(pid_, HANDLE_EINTR(waitpid(pid_, &status, 0)));
    pid_ = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << LogText();
    // Whatever it sent after STOPPING=1 is queued on the socket by now.
    for (std::string message; !(message = Next(milliseconds(0))).empty();)
      messages.push_back(message);
    return messages;
  }

  // The sample's CPU time so far, in clock ticks.
  long long CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)),
                     std::istreambuf_iterator<char>());
    // Fields 14 and 15, utime and stime, counted after the command's ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i >= 14)
        ticks += std::stoll(field);
    }
    return ticks;
  }

  // Waits up to kPatience for |text| in the log.
  bool LogShows(const std::string& text) const {
    for (const Clock::time_point end = Clock::now() + kPatience;
         Clock::now() < end; std::this_thread::sleep_for(milliseconds(10))) {
      if (LogText().find(text) != std::string::npos)
        return true;
    }
    return false;
  }

  std::string dir_;
  int socket_ = -1;
  pid_t pid_ = 0;
  std::vector<std::string> statuses_;  // STATUS= lines, oldest first.
  int input_ = -1;                     // The sample's standard input.
};

// Ready once started, pinging while the host answers, stopping at the end
// of input: the order systemd relies on.
TEST_F(ServiceNotifierTest, ReadyThenPingsThenStopping) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
  // Start() had finished: the host was started before it said so.
  EXPECT_NE(std::string::npos, LogText().find("Start()"));
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ("WATCHDOG=1", Next(kWatchdog * 2)) << "ping " << i;
  const std::vector<std::string> messages = StopAndCollect();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ("STOPPING=1", messages.back());
  // A supervisor asks often: the host's answer is not logged each time.
  const std::string log = LogText();
  const size_t first = log.find("GetDeviceId: ");
  EXPECT_NE(std::string::npos, first) << log;
  EXPECT_EQ(std::string::npos, log.find("GetDeviceId: ", first + 1)) << log;
}

// A ping after STOPPING=1 would re-arm systemd's watchdog during a stop
// that may outlast it; an input that ends at once is when the first ping
// is under way.
TEST_F(ServiceNotifierTest, StoppingIsTheLastMessage) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
    const std::vector<std::string> messages = StopAndCollect();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("STOPPING=1", messages.back());
    EXPECT_EQ(1, std::count(messages.begin(), messages.end(), "STOPPING=1"));
  }
}

// A host asked soon after its last answer has the rest of the interval to
// answer in: one that turns slow keeps its pings in time.
TEST_F(ServiceNotifierTest, ASlowHostIsPingedInTime) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
  ASSERT_EQ("WATCHDOG=1", Next(kWatchdog * 2));
  const auto slow = kWatchdog * 55 / 100;
  ASSERT_TRUE(Post("/fault/slow?ms=" + std::to_string(slow.count())))
      << LogText();
  Clock::time_point last = Clock::now();
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ("WATCHDOG=1", Next(kWatchdog)) << "ping " << i;
    const Clock::time_point now = Clock::now();
    EXPECT_LT(now - last, kWatchdog) << "ping " << i;
    last = now;
  }
  EXPECT_EQ(std::string::npos, LogText().find("Watchdog: the host has not"));
}

// A host slower than WatchdogSec is named while it still hangs, before
// systemd would act, and again when it answers.
TEST_F(ServiceNotifierTest, ALateHostIsNamedWhileItHangs) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
  ASSERT_EQ("WATCHDOG=1", Next(kWatchdog * 2));
  ASSERT_TRUE(Post("/fault/slow?ms=" + std::to_string((kWatchdog * 3).count())))
      << LogText();
  ASSERT_TRUE(LogShows("Watchdog: the host has not answered for "))
      << LogText();
  EXPECT_EQ(std::string::npos, LogText().find("Watchdog: the host answered"))
      << LogText();
  EXPECT_TRUE(LogShows("Watchdog: the host answered after ")) << LogText();
}

// WATCHDOG_USEC as systemd passes it through, however odd: said once, and
// no spinning on an interval that rounds to nothing or overflows.
TEST_F(ServiceNotifierTest, OddWatchdogIntervalsAreSaidOnceAndKeptCalm) {
  const struct {
    const char* usec;
    const char* said;  // In the log, once.
    int most_pings;    // In a second.
  } cases[] = {
      {"0", "is not a watchdog interval; no watchdog", 0},
      {"garbage", "is not a watchdog interval; no watchdog", 0},
      {"18446744073709551615", "is not a watchdog interval; no watchdog", 0},
      {"1", "is below 1 ms, too short to ping in time; no watchdog", 0},
      {"999", "is below 1 ms, too short to ping in time; no watchdog", 0},
      {"31557600000000000", "is beyond a day; pinging as for a day", 1},
      {"18446744073709551614", "is beyond a day; pinging as for a day", 1},
  };
  const long long ticks_per_second = sysconf(_SC_CLK_TCK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usec);
    ASSERT_NO_FATAL_FAILURE(Start(c.usec));
    ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
    ASSERT_TRUE(LogShows(c.said)) << LogText();
    const long long ticks = CpuTicks();
    int pings = 0;
    for (const Clock::time_point end = Clock::now() + std::chrono::seconds(1);
         Clock::now() < end;) {
      const std::string message = Next(milliseconds(100));
      if (!message.empty()) {
        EXPECT_EQ("WATCHDOG=1", message);
        ++pings;
      }
    }
    EXPECT_LE(pings, c.most_pings);
    // A spinning sample would have used the whole second.
    EXPECT_LT(CpuTicks() - ticks, ticks_per_second / 2);
    const std::string log = LogText();
    EXPECT_EQ(log.find(c.said), log.rfind(c.said)) << log;
    EXPECT_LT(log.size(), 16384u);
    const std::vector<std::string> messages = StopAndCollect();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("STOPPING=1", messages.back());
  }
}

// A host that no longer answers gets no pings: systemd's watchdog is what
// ends it.
TEST_F(ServiceNotifierTest, AWedgedHostGetsNoPings) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
  ASSERT_EQ("WATCHDOG=1", Next(kWatchdog * 2));
  ASSERT_TRUE(Post("/fault/wedge")) << LogText();
  // A ping already under way may still come; none after it.
  const std::string late = Next(kWatchdog);
  EXPECT_TRUE(late.empty() || late == "WATCHDOG=1") << late;
  EXPECT_EQ("", Next(kWatchdog * 3)) << LogText();
  EXPECT_NE(std::string::npos,
            LogText().find("Test fault: wedging the assistant manager"));
}

// The crash switch is a real memory fault on the host's named thread: the
// process dies of SIGSEGV, with no STOPPING=1, as a crash in the field
// would. A sanitizer's own handler is off for it, so that the intended
// fault is neither reported as a finding nor turned into an exit.
TEST_F(ServiceNotifierTest, TheCrashSwitchEndsTheProcessByAMemoryFault) {
  for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
    const char* options = getenv(name);
    setenv(name,
           (std::string(options ? options : "") + ":handle_segv=0").c_str(), 1);
  }
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
  ASSERT_TRUE(Post("/fault/crash")) << LogText();
  int status = 0;
  ASSERT_EQ(pid_, HANDLE_EINTR(waitpid(pid_, &status, 0)));
  pid_ = 0;
  ASSERT_TRUE(WIFSIGNALED(status)) << LogText();
  EXPECT_EQ(SIGSEGV, WTERMSIG(status));
  EXPECT_NE(std::string::npos,
            LogText().find("Test fault: crashing now (a write through a null "
                           "pointer)"))
      << LogText();
  for (std::string message; !(message = Next(milliseconds(0))).empty();)
    EXPECT_NE("STOPPING=1", message);
}

// One status line, sent when the microphone or the count changes and
// never on a timer: what `systemctl status` shows. The system plug-in
// reports the microphone; no network plug-in here, so nothing is
// advertised.
TEST_F(ServiceNotifierTest, TheStatusLineFollowsTheState) {
  ASSERT_EQ(0, symlink(VANTOR_PLUGIN_DIR "/libvantor_system.so",
                       (dir_ + "/libvantor_system.so").c_str()));
  const std::string mic = dir_ + "/mic_state";
  ASSERT_TRUE(assistant_reference::WriteFile(mic, "off\n"));
  ASSERT_NO_FATAL_FAILURE(Start("", R"({"mic_state_path": ")" + mic + R"("})"));
  ASSERT_EQ("READY=1", Next(kPatience)) << LogText();
  const struct {
    const char* input;  // Written to the sample's input, or null.
    const char* mic;    // Written to the state file, or null.
    const char* line;
  } kSteps[] = {
      {nullptr, nullptr,
       "not advertised yet; microphone muted; 0 interactions"},
      {"a", nullptr, "not advertised yet; microphone muted; 1 interaction"},
      {nullptr, "on\n", "not advertised yet; microphone on; 1 interaction"},
      {"bc", nullptr, "not advertised yet; microphone on; 3 interactions"},
  };
  for (const auto& step : kSteps) {
    if (step.input) {
      ASSERT_EQ(static_cast<ssize_t>(strlen(step.input)),
                write(input_, step.input, strlen(step.input)));
    }
    if (step.mic) {
      ASSERT_TRUE(assistant_reference::WriteFile(mic, step.mic));
    }
    EXPECT_TRUE(StatusBecomes(step.line, kPatience))
        << (statuses_.empty() ? "none" : statuses_.back()) << "\n"
        << LogText();
  }
  // Quiet state, pings going on: no line repeated.
  const size_t sent = statuses_.size();
  for (auto end = Clock::now() + kWatchdog * 3; Clock::now() < end;)
    Next(kWatchdog);
  EXPECT_EQ(sent, statuses_.size()) << statuses_.back();
  const std::vector<std::string> messages = StopAndCollect();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ("STOPPING=1", messages.back());
}

}  // namespace
