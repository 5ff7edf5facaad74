// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Runs the real vantor-state binary on real temporary folders, and last with
// the sample, the stand-in host and the plug-ins.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/eintr_wrapper.h"
#include "core/version.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr uid_t kNobody = 65534;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  return assistant_reference::ReadFile(path, false);
}

void Spit(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// A temporary sibling that a write left beside |path|, or "".
std::string TemporaryBeside(const std::string& path) {
  const std::string folder = path.substr(0, path.rfind('/'));
  const std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp";
  std::string found;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::string(entry->d_name).rfind(prefix, 0) == 0)
        found = entry->d_name;
    }
    closedir(dir);
  }
  return found;
}

ino_t Inode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

int Count(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1))
    ++count;
  return count;
}

// The environment of this test, with |overrides| ("NAME=value", or "NAME"
// alone to drop it) applied.
std::vector<std::string> Environment(
    const std::vector<std::string>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& o : overrides) {
      std::string name = o.substr(0, o.find('='));
      replaced |= entry.rfind(name + "=", 0) == 0;
    }
    if (!replaced)
      env.push_back(entry);
  }
  for (const std::string& o : overrides) {
    if (o.find('=') != std::string::npos)
      env.push_back(o);
  }
  return env;
}

// |program| and its arguments as a command line; in a cross build the test
// runs under user-mode emulation, which cannot start a target program by
// itself, so the emulator is named first.
std::vector<std::string> Command(const std::string& program,
                                 const std::vector<std::string>& args) {
  std::vector<std::string> command;
  if (const char* emulator = getenv("VANTOR_TEST_EMULATOR")) {
    std::istringstream words(emulator);
    for (std::string word; words >> word;)
      command.push_back(word);
  }
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

// The program to execute: a path, or the emulator's name looked up in PATH.
std::string Executable(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return name;
  for (std::istringstream path(getenv("PATH") ? getenv("PATH") : "");;) {
    std::string folder;
    if (!std::getline(path, folder, ':'))
      return name;
    if (access((folder + "/" + name).c_str(), X_OK) == 0)
      return folder + "/" + name;
  }
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings)
    pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

class VantorStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantor_state_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    // Readable for the unprivileged run below.
    ASSERT_EQ(0, chmod(dir_.c_str(), 0755));
    state_ = dir_ + "/state";
    ASSERT_EQ(0, mkdir(state_.c_str(), 0755));
    mic_ = state_ + "/mic_state";
    connection_ = state_ + "/network_state";
    config_ = WriteConfig("config.json", mic_, connection_);
  }
  void TearDown() override {
    ASSERT_EQ(
        0,
        system(("chmod -R u+w '" + dir_ + "'; rm -rf '" + dir_ + "'").c_str()));
  }

  std::string WriteConfig(const std::string& name,
                          const std::string& mic,
                          const std::string& connection) {
    std::string path = dir_ + "/" + name;
    Spit(path,
         "{\n  // The device's state files.\n  \"platform_config\": {\n"
         "    \"mic_state_path\": \"" +
             mic + "\",\n    \"connection_status_path\": \"" + connection +
             "\",\n  },\n}\n");
    chmod(path.c_str(), 0644);
    return path;
  }

  // Another user may not reach the build tree (a clone in root's 0700
  // home): it runs a copy in the test's folder, which it may read.
  std::string ProgramForOthers() {
    const std::string copy = dir_ + "/vantor-state";
    if (access(copy.c_str(), F_OK) != 0) {
      std::ifstream from(VANTOR_STATE_PATH, std::ios::binary);
      std::ofstream(copy, std::ios::binary) << from.rdbuf();
      EXPECT_EQ(0, chmod(copy.c_str(), 0755));
    }
    return copy;
  }

  // Runs vantor-state with |args|; as user |uid| when it is not -1.
  Result Run(const std::vector<std::string>& args,
             const std::vector<std::string>& env = {},
             uid_t uid = static_cast<uid_t>(-1),
             gid_t extra_group = static_cast<gid_t>(-1)) {
    std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    std::vector<std::string> argv_strings = Command(
        uid == static_cast<uid_t>(-1) ? VANTOR_STATE_PATH : ProgramForOthers(),
        args);
    const std::string executable = Executable(argv_strings[0]);
    std::vector<std::string> env_strings =
        Environment({"XDG_CONFIG_HOME=" + dir_, "VANTOR_CONFIG"});
    for (const std::string& e : env)
      env_strings.push_back(e);
    std::vector<char*> argv = Pointers(argv_strings);
    std::vector<char*> envp = Pointers(env_strings);

    int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = fork();
    if (pid == 0) {
      dup2(out_fd, 1);
      dup2(err_fd, 2);
      if (uid != static_cast<uid_t>(-1) &&
          (setgroups(extra_group == static_cast<gid_t>(-1) ? 0 : 1,
                     &extra_group) != 0 ||
           setgid(uid) != 0 || setuid(uid) != 0)) {
        _exit(126);
      }
      execve(executable.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(out_fd);
    close(err_fd);
    Result result;
    int status = 0;
    EXPECT_EQ(pid, HANDLE_EINTR(waitpid(pid, &status, 0)));
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.out = Slurp(out);
    result.err = Slurp(err);
    return result;
  }

  // One line on stderr, naming |what|.
  static void ExpectOneLineError(const Result& result,
                                 int status,
                                 const std::string& what) {
    EXPECT_EQ(status, result.status) << result.err;
    EXPECT_EQ(1, Count(result.err, "\n")) << result.err;
    EXPECT_THAT(result.err, StartsWith("vantor-state: "));
    EXPECT_THAT(result.err, HasSubstr(what));
    EXPECT_EQ("", result.out);
  }

  std::string dir_, state_, mic_, connection_, config_;
};

TEST_F(VantorStateTest, SetsEveryConnectionWordAndReadsItBack) {
  for (const char* word :
       {"UNKNOWN", "WIFI_NOT_CONFIGURED", "DISCONNECTED_FROM_WIFI",
        "DISCONNECTED_FROM_INTERNET", "WIFI_ERROR", "CONNECTING",
        "CONNECTED"}) {
    SCOPED_TRACE(word);
    Result set = Run({"--config", config_, "connection", word});
    EXPECT_EQ(0, set.status) << set.err;
    EXPECT_EQ("", set.err);
    EXPECT_EQ(std::string(word) + "\n", Slurp(connection_));
    Result get = Run({"--config=" + config_, "connection"});
    EXPECT_EQ(0, get.status);
    EXPECT_EQ(std::string(word) + "\n", get.out);
  }
  EXPECT_EQ("", TemporaryBeside(connection_));
}

// Device makers look for the connection status under this name.
TEST_F(VantorStateTest, NetworkIsAnotherNameForConnection) {
  Result set = Run({"--config", config_, "network", "CONNECTING"});
  EXPECT_EQ(0, set.status) << set.err;
  EXPECT_EQ("CONNECTING\n", Slurp(connection_));
  EXPECT_EQ("CONNECTING\n", Run({"--config", config_, "network"}).out);
  EXPECT_EQ(connection_ + "\n",
            Run({"--config", config_, "path", "network"}).out);
  // Refused words are refused alike, named as the connection state.
  ExpectOneLineError(Run({"--config", config_, "network", "up"}), 2,
                     "'up' is not a connection state (one of: ");
  EXPECT_EQ("CONNECTING\n", Slurp(connection_));
}

TEST_F(VantorStateTest, PrintsTheStateAsThePluginsReadIt) {
  EXPECT_EQ("on\n", Run({"--config", config_, "mic"}).out);  // No file.
  EXPECT_EQ("UNKNOWN\n", Run({"--config", config_, "connection"}).out);

  const std::pair<std::string, std::string> kMic[] = {
      {" \noff \t\r\n", "off\n"},
      {"OFF\n", "on\n"},
      {"", "on\n"},
      {"offline", "on\n"}};
  for (const auto& [contents, printed] : kMic) {
    Spit(mic_, contents);
    EXPECT_EQ(printed, Run({"--config", config_, "mic"}).out) << contents;
  }
  const std::pair<std::string, std::string> kConnection[] = {
      {" WIFI_ERROR \t", "WIFI_ERROR\n"},
      {"connected\n", "UNKNOWN\n"},
      {"CONNECTEDX", "UNKNOWN\n"}};
  for (const auto& [contents, printed] : kConnection) {
    Spit(connection_, contents);
    EXPECT_EQ(printed, Run({"--config", config_, "connection"}).out)
        << contents;
  }
}

TEST_F(VantorStateTest, ReplacesTheFileWithOneRenameOntoItsName) {
  Spit(mic_, "on\n");
  ino_t before = Inode(mic_);

  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(fd, 0);
  // The mask the plug-in's watcher uses on the folder.
  ASSERT_GE(inotify_add_watch(fd, state_.c_str(),
                              IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE),
            0);
  Result result = Run({"--config", config_, "mic", "off"});
  ASSERT_EQ(0, result.status) << result.err;

  std::vector<uint32_t> on_name;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = HANDLE_EINTR(read(fd, buffer, sizeof(buffer)))) > 0;) {
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(p);
      if (event->len && std::string(event->name) == "mic_state")
        on_name.push_back(event->mask);
      p += sizeof(inotify_event) + event->len;
    }
  }
  close(fd);
  EXPECT_EQ(std::vector<uint32_t>{IN_MOVED_TO}, on_name);
  EXPECT_NE(before, Inode(mic_));  // A new file, not a rewrite in place.
  EXPECT_EQ("off\n", Slurp(mic_));
  EXPECT_EQ("", TemporaryBeside(mic_));
}

TEST_F(VantorStateTest, UnknownWordsLeaveTheFileUntouched) {
  Spit(mic_, "on\n");
  Spit(connection_, "CONNECTED\n");
  const ino_t mic_inode = Inode(mic_), connection_inode = Inode(connection_);
  // What is refused, and how the error line quotes it.
  const struct {
    std::string what, word, quoted;
  } kRefused[] = {{"mic", "OFF", "'OFF'"},
                  {"mic", "mute", "'mute'"},
                  {"mic", "", "''"},
                  {"mic", "off ", "'off '"},
                  {"connection", "connected", "'connected'"},
                  {"connection", "CONNECTED\n", "'CONNECTED\\n'"},
                  {"connection", "CONNECTED\t", "'CONNECTED\\x09'"},
                  {"connection", "DISCONNECTED", "'DISCONNECTED'"}};
  for (const auto& [what, word, quoted] : kRefused) {
    SCOPED_TRACE(what + " " + quoted);
    Result result = Run({"--config", config_, what, word});
    ExpectOneLineError(result, 2,
                       quoted + " is not a " + what + " state (one of: ");
    EXPECT_THAT(result.err, HasSubstr(what == "mic" ? mic_ : connection_));
  }
  EXPECT_EQ("on\n", Slurp(mic_));
  EXPECT_EQ("CONNECTED\n", Slurp(connection_));
  EXPECT_EQ(mic_inode, Inode(mic_));
  EXPECT_EQ(connection_inode, Inode(connection_));
  EXPECT_EQ("", TemporaryBeside(mic_));

  // A refused word creates nothing either.
  ASSERT_EQ(0, unlink(mic_.c_str()));
  EXPECT_EQ(2, Run({"--config", config_, "mic", "yes"}).status);
  EXPECT_FALSE(Exists(mic_));
}

TEST_F(VantorStateTest, BadCommandLinesAreUsageErrors) {
  ExpectOneLineError(Run({"--config", config_}), 2, "no command given");
  ExpectOneLineError(Run({"--config", config_, "volume", "3"}), 2,
                     "unexpected 'volume 3'");
  ExpectOneLineError(Run({"--config", config_, "mic", "on", "off"}), 2,
                     "unexpected 'mic on off'");
  ExpectOneLineError(Run({"--verbose", "mic"}), 2, "unknown option");
  ExpectOneLineError(Run({"--config", config_, "path"}), 2, "path of what");
  Result help = Run({"--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_THAT(help.out, HasSubstr("usage: vantor-state"));
  EXPECT_THAT(help.out, HasSubstr("--version"));
  EXPECT_FALSE(Exists(mic_));
}

// Needs no configuration, and wins over what follows it.
TEST_F(VantorStateTest, VersionIsTheRelease) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--version"},
        std::vector<std::string>{"--version", "mic", "off"}}) {
    Result result = Run(args);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("vantor-state " VANTOR_VERSION_STRING "\n", result.out);
    EXPECT_EQ("", result.err);
  }
  EXPECT_THAT(VANTOR_VERSION_STRING,
              ::testing::MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
  EXPECT_FALSE(Exists(mic_));
}

TEST_F(VantorStateTest, ConfigurationProblemsAreOneLineErrors) {
  ExpectOneLineError(Run({"mic", "off"}), 1, "VANTOR_CONFIG");

  const std::string missing = dir_ + "/missing.json";
  ExpectOneLineError(Run({"--config", missing, "mic", "off"}), 1,
                     missing + ": No such file or directory");

  const std::string empty = dir_ + "/empty.json";
  Spit(empty, "");
  ExpectOneLineError(Run({"--config", empty, "mic", "off"}), 1,
                     empty + " is empty");

  // The plug-ins would abort on this text; the tool says so and stops.
  const std::string broken = dir_ + "/broken.json";
  Spit(broken, "{\"platform_config\": {\"mic_state_path\": [1,]}}");
  ExpectOneLineError(Run({"--config", broken, "mic", "off"}), 1,
                     broken + " does not parse: ");

  ExpectOneLineError(Run({"--config", state_, "mic", "off"}), 1, state_);

  EXPECT_FALSE(Exists(mic_));
  EXPECT_FALSE(Exists(dir_ + "/vantor-data"));  // No fallback to defaults.
}

TEST_F(VantorStateTest, ConfigurationFromTheEnvironment) {
  Result result = Run({"mic", "off"}, {"VANTOR_CONFIG=" + config_});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ("off\n", Slurp(mic_));
  // --config wins over the environment.
  const std::string other = WriteConfig("other.json", dir_ + "/other_mic", "");
  EXPECT_EQ(0,
            Run({"--config", other, "mic", "on"}, {"VANTOR_CONFIG=" + config_})
                .status);
  EXPECT_EQ("on\n", Slurp(dir_ + "/other_mic"));
  EXPECT_EQ("off\n", Slurp(mic_));
}

TEST_F(VantorStateTest, DefaultPathsFollowTheAssistantRoot) {
  const std::string no_keys = dir_ + "/no_keys.json";
  Spit(no_keys, "{\"platform_config\": {}, \"vantor_host\": {}}");
  const std::string root = dir_ + "/vantor-data/assistant";
  Result path = Run({"--config", no_keys, "path", "mic"});
  EXPECT_EQ(0, path.status);
  EXPECT_EQ(root + "/mic_state\n", path.out);
  EXPECT_EQ("", path.err);  // An absent key is not worth a warning.
  EXPECT_EQ(root + "/network_state\n",
            Run({"--config", no_keys, "path", "connection"}).out);
  EXPECT_EQ(mic_ + "\n", Run({"--config", config_, "path", "mic"}).out);

  // The root folder does not exist yet: it is made private to this user,
  // and the tool says so.
  Result set = Run({"--config", no_keys, "connection", "CONNECTING"});
  EXPECT_EQ(0, set.status) << set.err;
  EXPECT_THAT(set.err, HasSubstr("note: created " + root + " with mode 0700"));
  EXPECT_EQ("CONNECTING\n", Slurp(root + "/network_state"));

  // A key of another type falls back as in the plug-ins, with their warning.
  const std::string wrong_type = dir_ + "/wrong_type.json";
  Spit(wrong_type, "{\"platform_config\": {\"mic_state_path\": 7}}");
  path = Run({"--config", wrong_type, "path", "mic"});
  EXPECT_EQ(root + "/mic_state\n", path.out);
  EXPECT_THAT(path.err, HasSubstr("found type NUMBER instead of STRING"));
}

TEST_F(VantorStateTest, UnwritableFolderFailsWithoutTouchingTheFile) {
  Spit(mic_, "on\n");
  chmod(mic_.c_str(), 0644);
  const ino_t inode = Inode(mic_);
  uid_t as = static_cast<uid_t>(-1);
  if (geteuid() == 0)
    as = kNobody;  // Root writes anywhere; an ordinary user cannot.
  else
    ASSERT_EQ(0, chmod(state_.c_str(), 0555));

  Result result = Run({"--config", config_, "mic", "off"}, {}, as);
  ExpectOneLineError(result, 1, "cannot write mic 'off' to " + mic_);
  EXPECT_THAT(result.err, HasSubstr("Permission denied"));
  EXPECT_EQ("on\n", Slurp(mic_));
  EXPECT_EQ(inode, Inode(mic_));
  EXPECT_EQ("", TemporaryBeside(mic_));

  // Reading needs no write access.
  Result get = Run({"--config", config_, "mic"}, {}, as);
  EXPECT_EQ(0, get.status) << get.err;
  EXPECT_EQ("on\n", get.out);
}

TEST_F(VantorStateTest, FailedReplacementLeavesNoTemporaryFile) {
  // The rename onto a folder fails after the new contents were written.
  ASSERT_EQ(0, mkdir(mic_.c_str(), 0755));
  ExpectOneLineError(Run({"--config", config_, "mic", "off"}), 1,
                     "cannot write mic 'off' to " + mic_ + ": ");
  EXPECT_EQ("", TemporaryBeside(mic_));
  struct stat st;
  ASSERT_EQ(0, stat(mic_.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  // A path below a plain file cannot be made at all.
  const std::string below_file =
      WriteConfig("below_file.json", config_ + "/mic_state", connection_);
  ExpectOneLineError(Run({"--config", below_file, "mic", "on"}), 1,
                     config_ + "/mic_state: Not a directory");
}

TEST_F(VantorStateTest, ConcurrentWritersEachReplaceTheFileWhole) {
  // As several hooks, or udev rules run in parallel, writing one file.
  const int rounds = getenv("VANTOR_TEST_EMULATOR") ? 40 : 200;
  const std::string words[] = {"CONNECTED", "DISCONNECTED_FROM_INTERNET"};
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    while (writing) {
      const std::string text = Slurp(connection_);
      ++reads;
      if (!text.empty() && text != words[0] + "\n" && text != words[1] + "\n")
        ++torn;
    }
  });
  std::atomic<int> failed{0};
  std::vector<std::thread> writers;
  for (const std::string& word : words) {
    writers.emplace_back([&, word] {
      for (int i = 0; i < rounds; ++i) {
        Result result = Run({"--config", config_, "connection", word});
        if (result.status != 0) {
          ++failed;
          ADD_FAILURE() << result.err;
        }
      }
    });
  }
  for (std::thread& writer : writers)
    writer.join();
  writing = false;
  reader.join();
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, torn.load()) << "of " << reads.load() << " reads";
  EXPECT_EQ("", TemporaryBeside(connection_));
}

TEST_F(VantorStateTest, LinksAndLeftoversAtTemporaryNamesAreNotFollowed) {
  // A link planted where the temporary used to be made, and a temporary
  // left behind by a writer that was killed.
  Spit(dir_ + "/victim", "precious\n");
  ASSERT_EQ(0, symlink((dir_ + "/victim").c_str(), (mic_ + ".tmp").c_str()));
  Spit(mic_ + ".tmp.4242.0.1", "leftover");
  ASSERT_EQ(0, Run({"--config", config_, "mic", "off"}).status);
  EXPECT_EQ("precious\n", Slurp(dir_ + "/victim"));
  struct stat st;
  ASSERT_EQ(0, lstat(mic_.c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ("off\n", Slurp(mic_));
  // The leftover has no writer any more: the write cleared it away.
  EXPECT_FALSE(Exists(mic_ + ".tmp.4242.0.1"));
}

TEST_F(VantorStateTest, FoldersOthersOwnOrMayWriteAreRefused) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to give the folder to another user";
  Spit(mic_, "on\n");
  const ino_t inode = Inode(mic_);
  ASSERT_EQ(0, chown(state_.c_str(), kNobody, kNobody));
  ExpectOneLineError(Run({"--config", config_, "mic", "off"}), 1,
                     "refusing to write mic to " + mic_ + ": " + state_ +
                         " belongs to user 65534, not to this user or root");
  ASSERT_EQ(0, chown(state_.c_str(), 0, 0));
  ASSERT_EQ(0, chmod(state_.c_str(), 0777));
  ExpectOneLineError(Run({"--config", config_, "mic", "off"}), 1,
                     state_ + " is writable by other users (mode 0777)");
  EXPECT_EQ("on\n", Slurp(mic_));
  EXPECT_EQ(inode, Inode(mic_));

  // A folder still to be made is judged by the nearest one that exists; a
  // sticky folder above, such as /tmp, is fine.
  ASSERT_EQ(0, chmod(state_.c_str(), 01777));
  const std::string deeper =
      WriteConfig("deeper.json", state_ + "/new/mic_state", connection_);
  ExpectOneLineError(Run({"--config", deeper, "mic", "off"}), 1,
                     state_ + " is writable by other users (mode 1777)");
  ASSERT_EQ(0, chmod(state_.c_str(), 0755));
  EXPECT_EQ(0, Run({"--config", deeper, "mic", "off"}).status);
  EXPECT_EQ("off\n", Slurp(state_ + "/new/mic_state"));
}

// A device shares its state folders with the services of one writers'
// group: root:<group> 0775. Root and the group's members write there; the
// rest of the refusals hold.
TEST_F(VantorStateTest, WritersGroupFolderServesRootAndMembersOnly) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to make users and folders of other owners";
  constexpr gid_t kWriters = 4242;
  constexpr gid_t kNone = static_cast<gid_t>(-1);
  const struct {
    uid_t owner;
    mode_t mode;
    uid_t writer;
    gid_t writer_group;
    const char* error;  // "" when the write is done.
  } kCases[] = {
      {0, 0775, 0, kNone, ""},
      {0, 0775, kNobody, kWriters, ""},
      {0, 0775, kNobody, kNone, " is writable by other users (mode 0775)"},
      {0, 0777, 0, kNone, " is writable by other users (mode 0777)"},
      {0, 0777, kNobody, kWriters, " is writable by other users (mode 0777)"},
      {kNobody, 0775, 0, kNone,
       " belongs to user 65534, not to this user or root"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "owner " << c.owner << ", mode 0" << std::oct << c.mode
                 << std::dec << ", writer " << c.writer);
    Spit(mic_, "on\n");
    ASSERT_EQ(0, chown(mic_.c_str(), 0, 0));
    ASSERT_EQ(0, chown(state_.c_str(), c.owner, kWriters));
    ASSERT_EQ(0, chmod(state_.c_str(), c.mode));
    const Result result =
        Run({"--config", config_, "mic", "off"}, {}, c.writer, c.writer_group);
    if (*c.error == '\0') {
      EXPECT_EQ(0, result.status) << result.err;
      EXPECT_EQ("off\n", Slurp(mic_));
    } else {
      ExpectOneLineError(result, 1,
                         "refusing to write mic to " + mic_ + ": " + state_ +
                             c.error + "; file left unchanged");
      EXPECT_EQ("on\n", Slurp(mic_));
    }
  }
}

// The sample with the stand-in host and the built plug-ins: a change made
// with the tool reaches the host once, and the host acts on it.
class VantorStateWithSampleTest : public VantorStateTest {
 protected:
  void TearDown() override {
    if (sample_ > 0) {
      if (stdin_fd_ >= 0)
        close(stdin_fd_);
      kill(sample_, SIGKILL);
      HANDLE_EINTR(waitpid(sample_, nullptr, 0));
    }
    VantorStateTest::TearDown();
  }

  void StartSample() {
    std::string config = dir_ + "/sample.json";
    Spit(config, "{\"platform_config\": {\"mic_state_path\": \"" + mic_ +
                     "\", \"connection_status_path\": \"" + connection_ +
                     "\"}, \"vantor_host\": {}}");
    std::vector<std::string> argv_strings =
        Command(ASSISTANT_SAMPLE_PATH, {config});
    const std::string executable = Executable(argv_strings[0]);
    std::vector<std::string> env_strings =
        Environment({"XDG_CONFIG_HOME=" + dir_,
                     std::string("VANTOR_PLUGIN_DIR=") + VANTOR_PLUGIN_DIR});
    std::vector<char*> argv = Pointers(argv_strings);
    std::vector<char*> envp = Pointers(env_strings);
    log_ = dir_ + "/sample.log";
    signal(SIGPIPE, SIG_IGN);  // A dead sample fails the test, not the run.
    int pipe_fds[2];
    ASSERT_EQ(0, pipe2(pipe_fds, O_CLOEXEC));
    int log_fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    sample_ = fork();
    if (sample_ == 0) {
      dup2(pipe_fds[0], 0);
      dup2(log_fd, 2);
      execve(executable.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(pipe_fds[0]);
    close(log_fd);
    stdin_fd_ = pipe_fds[1];
  }

  // Waits up to |seconds| for |needle| to appear |times| times in the log.
  bool WaitForLog(const std::string& needle, int times, int seconds = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (Count(Slurp(log_), needle) < times) {
      if (std::chrono::steady_clock::now() > end)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  void Interact() { ASSERT_EQ(1, HANDLE_EINTR(write(stdin_fd_, "x", 1))); }

  // Log lines that the host's reaction to the system provider wrote.
  int MicChangeLines() { return Count(Slurp(log_), "system_reactions.cc("); }

  pid_t sample_ = -1;
  int stdin_fd_ = -1;
  std::string log_;
};

TEST_F(VantorStateWithSampleTest, MuteChangeReachesTheHostOnce) {
  Spit(mic_, "on\n");
  StartSample();
  Interact();
  ASSERT_TRUE(WaitForLog("StartAssistantInteraction", 1)) << Slurp(log_);
  if (Count(Slurp(log_), "provides the system provider") == 0) {
    GTEST_SKIP()
        << "No system provider was loaded (plug-in unfinished, or not loadable "
           "here):\n"
        << Slurp(log_);
  }
  const int before = MicChangeLines();

  ASSERT_EQ(0, Run({"--config", config_, "mic", "off"}).status);
  ASSERT_TRUE(WaitForLog("system_reactions.cc(", before + 1)) << Slurp(log_);
  Interact();
  ASSERT_TRUE(WaitForLog("refused: the microphone is muted", 1)) << Slurp(log_);

  // The same word again changes nothing, so the host hears nothing.
  ASSERT_EQ(0, Run({"--config", config_, "mic", "off"}).status);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(before + 1, MicChangeLines()) << Slurp(log_);

  ASSERT_EQ(0, Run({"--config", config_, "mic", "on"}).status);
  ASSERT_TRUE(WaitForLog("system_reactions.cc(", before + 2)) << Slurp(log_);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(before + 2, MicChangeLines()) << Slurp(log_);
  Interact();
  ASSERT_TRUE(WaitForLog("StartAssistantInteraction: interaction 2", 1))
      << Slurp(log_);

  close(stdin_fd_);
  stdin_fd_ = -1;
  int status = 0;
  ASSERT_EQ(sample_, HANDLE_EINTR(waitpid(sample_, &status, 0)));
  sample_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Slurp(log_);
  EXPECT_THAT(Slurp(log_), Not(HasSubstr("Plug-in folder")));
}

}  // namespace
