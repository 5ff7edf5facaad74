// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Runs the real assistant_sample against the stand-in host library.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/eintr_wrapper.h"
#include "core/version.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/utils/file_utils.h"
#include "testing/command_line.h"
#include "testing/file_tree.h"

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class AssistantSampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/assistant_sample_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    ASSERT_EQ(0, mkdir((dir_ + "/plugins").c_str(), 0700));
  }
  void TearDown() override { ASSERT_TRUE(testing_support::RemoveTree(dir_)); }

  std::string Write(const std::string& name, const std::string& contents) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  // Runs the sample with |args|, feeding |input| on stdin; the host keeps
  // its data in this test's folder and finds no plug-ins.
  Result Run(const std::vector<std::string>& args, const std::string& input) {
    std::string in = Write("stdin", input);
    std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> env_strings = {
        "XDG_CONFIG_HOME=" + dir_, "VANTOR_PLUGIN_DIR=" + dir_ + "/plugins"};
    env_strings.insert(env_strings.end(), env_.begin(), env_.end());
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
          entry.rfind("VANTOR_PLUGIN_DIR=", 0) != 0)
        env_strings.push_back(entry);
    }
    // Under an emulator, argv[0] is still the sample's path, as the
    // messages print it.
    std::vector<std::string> command = testing_support::CommandLine(
        ASSISTANT_SAMPLE_EMULATOR, ASSISTANT_SAMPLE_PATH);
    std::vector<char*> argv;
    for (std::string& word : command)
      argv.push_back(word.data());
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env_strings)
      envp.push_back(entry.data());
    envp.push_back(nullptr);

    Result result;
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                          envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(0, rc);
    if (rc != 0)
      return result;
    int status = 0;
    HANDLE_EINTR(waitpid(pid, &status, 0));
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.out = assistant_reference::ReadFile(out, false);
    result.err = assistant_reference::ReadFile(err, false);
    return result;
  }

  static int Count(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1))
      ++count;
    return count;
  }

  std::string dir_;
  std::vector<std::string> env_;  // Before the test's own environment.
};

TEST_F(AssistantSampleTest, NoArgumentPrintsUsageWithoutTouchingTheHost) {
  Result result = Run({}, "");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Too few arguments: " ASSISTANT_SAMPLE_PATH " config_path\n",
            result.out);
  EXPECT_EQ("", result.err);  // The host logs every call; it saw none.
}

// The manual page is made from these two; neither may start the host.
TEST_F(AssistantSampleTest, HelpAndVersionAnswerWithoutTouchingTheHost) {
  const struct {
    std::vector<std::string> args;
    std::string out_prefix;
  } kCases[] = {
      {{"--help"}, "Usage: assistant_sample CONFIG\n"},
      {{"-h"}, "Usage: assistant_sample CONFIG\n"},
      {{"--version"}, std::string("assistant_sample ") + core::kVersion + "\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args[0]);
    Result result = Run(c.args, "");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(c.out_prefix, result.out.substr(0, c.out_prefix.size()));
    EXPECT_EQ("", result.err);
  }
  // Anywhere else the word is a configuration file's name.
  Result result = Run({"--version", "extra"}, "");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("|config_str| could not be loaded from '--version'\n", result.out);
}

TEST_F(AssistantSampleTest, EmptyOrMissingFileIsRefused) {
  std::string empty = Write("empty.json", "");
  Result result = Run({empty}, "");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("|config_str| could not be loaded from '" + empty + "'\n",
            result.out);
  EXPECT_EQ("", result.err);

  std::string missing = dir_ + "/missing.json";
  result = Run({missing, "ignored"}, "abc");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("|config_str| could not be loaded from '" + missing + "'\n",
            result.out);
  EXPECT_EQ("", result.err);
}

TEST_F(AssistantSampleTest, OneInteractionPerCharacterThenCleanExit) {
  std::string config = Write("config.json", "{\"vantor_host\": {}}");
  Result result = Run({config}, "ab\n");
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ("", result.out);
  EXPECT_EQ(3, Count(result.err, "StartAssistantInteraction: interaction"));
  EXPECT_THAT(result.err, HasSubstr("interaction 3\n"));
  EXPECT_THAT(result.err, HasSubstr("EnableListening(on)"));
  EXPECT_THAT(result.err, HasSubstr("Start()"));
  // Listening is enabled before the assistant starts.
  EXPECT_LT(result.err.find("EnableListening(on)"), result.err.find("Start()"));
  EXPECT_THAT(result.err, HasSubstr("deleted after 3 interaction(s)"));
}

TEST_F(AssistantSampleTest, EmptyLineStartsOneInteraction) {
  std::string config = Write("config.json", "{}");
  Result result = Run({config}, "\n");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(1, Count(result.err, "StartAssistantInteraction: interaction"));
}

TEST_F(AssistantSampleTest, WhitespaceOnlyFileReachesTheHostUnchanged) {
  std::string config = Write("blank.json", " \n\t\n");
  Result result = Run({config}, "");
  EXPECT_EQ(0, result.status);
  EXPECT_THAT(result.err, HasSubstr("configuration of 4 bytes"));
  EXPECT_THAT(result.out, Not(HasSubstr("could not be loaded")));
}

// Under systemd, stderr is the journal, which stores each line it reads at
// the priority that line starts with: a configuration value with a line
// break must not start a line with a priority of its own choosing.
TEST_F(AssistantSampleTest, ConfigurationTextCannotSetAJournalPriority) {
  const std::string config =
      Write("config.json",
            R"({"vantor_host": {"scenario": [{"heard": "hi\n<0>forged",)"
            R"( "reply": "ok\u0000<1>forged too"}]}})");
  // The journal's stream, as systemd names it: stderr's own file.
  const std::string err = Write("stderr", "");
  struct stat st;
  ASSERT_EQ(0, stat(err.c_str(), &st));
  env_.push_back("JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" +
                 std::to_string(st.st_ino));
  Result result = Run({config}, "a");
  ASSERT_EQ(0, result.status) << result.err;
  ASSERT_THAT(result.err, HasSubstr("forged too"));
  // Lines as journald splits them: at a newline or a NUL.
  int lines = 0;
  for (size_t start = 0; start < result.err.size(); ++lines) {
    const size_t end = result.err.find_first_of(std::string("\n\0", 2), start);
    const std::string line = result.err.substr(start, end - start);
    EXPECT_THAT(line, ::testing::MatchesRegex("<[2-7]>.*")) << line;
    start = end == std::string::npos ? result.err.size() : end + 1;
  }
  EXPECT_GT(lines, 10);
}

}  // namespace
