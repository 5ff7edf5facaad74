// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "testing/mdns_daemon.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "core/eintr_wrapper.h"

extern char** environ;

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kPidFile[] = "/run/avahi-daemon/pid";

bool Shell(const std::string& command) {
  return system(command.c_str()) == 0;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream split(line);
  std::string field;
  while (std::getline(split, field, ';'))
    fields.push_back(field);
  if (!line.empty() && line.back() == ';')
    fields.emplace_back();  // An empty last field, such as no TXT record.
  return fields;
}

// =;lo;IPv4;name;type;domain;host;address;port;"txt" "txt"
bool ParseResolved(const std::vector<std::string>& fields, Advertised* ad) {
  if (fields.size() < 10 || fields[0] != "=")
    return false;
  ad->name = fields[3];
  ad->port = atoi(fields[8].c_str());
  // The TXT field may contain ';' itself; the tests' records do not.
  const std::string& txt = fields[9];
  for (size_t open = txt.find('"'); open != std::string::npos;) {
    const size_t close = txt.find('"', open + 1);
    if (close == std::string::npos)
      break;
    ad->txt.insert(txt.substr(open + 1, close - open - 1));
    open = txt.find('"', close + 1);
  }
  return true;
}

}  // namespace

bool InMdnsSandbox() {
  const char* flag = getenv("VANTOR_MDNS_SANDBOX");
  return flag && std::string(flag) == "1";
}

bool StartMdnsDaemon(const std::string& script) {
  return Shell(script + " start " + std::to_string(getpid()));
}

bool StopMdnsDaemon(const std::string& script) {
  return Shell(script + " stop " + std::to_string(getpid()));
}

pid_t MdnsDaemonPid() {
  std::ifstream file(kPidFile);
  pid_t pid = 0;
  file >> pid;
  return pid;
}

bool MdnsDaemonRuns() {
  return Shell("avahi-daemon -c 2>/dev/null");
}

bool StopMdnsDaemonNow(bool kill_it) {
  if (kill_it) {
    const pid_t pid = MdnsDaemonPid();
    if (pid <= 1 || kill(pid, SIGKILL) != 0)
      return false;
  } else if (!Shell("avahi-daemon -k")) {
    return false;
  }
  for (int i = 0; i < 200; ++i) {
    if (!MdnsDaemonRuns())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

std::vector<Advertised> BrowseOnce(const std::string& type) {
  std::vector<Advertised> found;
  // avahi-browse -t waits for every resolver it started; one that the
  // daemon never answers (an instance withdrawn mid-look) would hold the test
  // until CTest's timeout, so a look is bounded and keeps what it printed.
  FILE* pipe = popen(
      ("timeout -k 2 10 avahi-browse -rpt " + type + " 2>/dev/null").c_str(),
      "r");
  if (!pipe)
    return found;
  std::string out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
    out.append(buffer, got);
  pclose(pipe);
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    Advertised ad;
    if (ParseResolved(Split(line), &ad))
      found.push_back(ad);
  }
  return found;
}

Browser::Browser(const std::string& type) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null",
                                   O_WRONLY, 0);
  const char* argv[] = {"avahi-browse", "-rp", type.c_str(), nullptr};
  if (posix_spawnp(&pid_, "avahi-browse", &actions, nullptr,
                   const_cast<char**>(argv), environ) != 0) {
    pid_ = 0;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  out_ = fds[0];
}

Browser::~Browser() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    HANDLE_EINTR(waitpid(pid_, nullptr, 0));
  }
  if (out_ >= 0)
    close(out_);
}

bool Browser::WaitUntil(const std::function<bool(const Seen&)>& done,
                        std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done(seen_)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (pid_ <= 0 || left.count() <= 0)
      return false;
    pollfd readable = {out_, POLLIN, 0};
    // Not HANDLE_EINTR: after a signal the loop waits only for what is left.
    const int ready = poll(&readable, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR)
      return false;
    if (ready <= 0)
      continue;
    char buffer[4096];
    const ssize_t got = HANDLE_EINTR(read(out_, buffer, sizeof(buffer)));
    if (got <= 0)
      return done(seen_);  // The browser ended.
    partial_.append(buffer, static_cast<size_t>(got));
    size_t end;
    while ((end = partial_.find('\n')) != std::string::npos) {
      Parse(partial_.substr(0, end));
      partial_.erase(0, end + 1);
    }
  }
  return true;
}

void Browser::Parse(const std::string& line) {
  const std::vector<std::string> fields = Split(line);
  if (fields.size() < 4)
    return;
  if (fields[0] == "+") {
    seen_.added.push_back(fields[3]);
  } else if (fields[0] == "-") {
    seen_.now.erase(fields[3]);
  } else {
    Advertised ad;
    if (ParseResolved(fields, &ad)) {
      seen_.resolved.push_back(ad);
      seen_.now[ad.name] = ad;
    }
  }
}

}  // namespace testing_support
