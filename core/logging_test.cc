// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/logging.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <iomanip>

#include <string>
#include <vector>

#include "core/logging_internal.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace core {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

struct Captured {
  int severity;
  std::string line;
};
std::vector<Captured>* g_captured = nullptr;
bool g_consume = true;

bool CaptureHandler(int severity, const std::string& line) {
  g_captured->push_back({severity, line});
  return g_consume;
}

class LoggingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_captured = &captured_;
    g_consume = true;
    SetLogMessageHandler(&CaptureHandler);
  }
  void TearDown() override {
    SetLogMessageHandler(nullptr);
    InitializeLogging(false, false);
    g_captured = nullptr;
  }

  std::vector<Captured> captured_;
};

TEST_F(LoggingTest, DefaultPrefixNamesSeverityBaseNameAndLine) {
  LogMessage("/a/b/source.cc", 68, LOG_WARNING).stream() << "disk " << 42;
  LogMessage("plain.cc", 7, LOG_INFO).stream() << "x";
  LogMessage("dir/", 1, LOG_ERROR).stream() << "y";
  ASSERT_EQ(3u, captured_.size());
  EXPECT_EQ("[WARNING:source.cc(68)] disk 42\n", captured_[0].line);
  EXPECT_EQ(LOG_WARNING, captured_[0].severity);
  EXPECT_EQ("[INFO:plain.cc(7)] x\n", captured_[1].line);
  EXPECT_EQ("[ERROR:(1)] y\n", captured_[2].line);
}

TEST_F(LoggingTest, UnknownAndVerboseSeverities) {
  LogMessage("f.cc", 1, 4).stream() << "four";
  LogMessage("f.cc", 2, -3).stream() << "v";
  LogMessage("f.cc", 3, -1).stream() << "v";
  ASSERT_EQ(3u, captured_.size());
  EXPECT_EQ("[UNKNOWN:f.cc(1)] four\n", captured_[0].line);
  EXPECT_EQ("[VERBOSE3:f.cc(2)] v\n", captured_[1].line);
  EXPECT_EQ("[VERBOSE1:f.cc(3)] v\n", captured_[2].line);
}

// Short lines are composed in place and long ones moved to the heap part way
// through; a piece that straddles the move and characters written one at a
// time after it must all arrive in order.
TEST_F(LoggingTest, LongLinesArriveWhole) {
  const std::string long_piece(300, 'a');
  std::string expected = "[INFO:f.cc(1)] ";
  for (int i = 0; i < 200; ++i)
    expected += std::to_string(i) + ",";
  expected += "   z" + long_piece + "\n";
  {
    LogMessage message("f.cc", 1, LOG_INFO);
    for (int i = 0; i < 200; ++i)
      message.stream() << i << ',';
    message.stream() << std::setw(4) << 'z' << long_piece;
  }
  ASSERT_EQ(1u, captured_.size());
  EXPECT_EQ(expected, captured_[0].line);
}

TEST_F(LoggingTest, LongLineWithoutHandlerGoesToStderrWhole) {
  SetLogMessageHandler(nullptr);
  const std::string text(1000, 'q');
  testing::internal::CaptureStderr();
  LogMessage("f.cc", 3, LOG_WARNING).stream() << text << 7;
  EXPECT_EQ("[WARNING:f.cc(3)] " + text + "7\n",
            testing::internal::GetCapturedStderr());
}

// Under systemd, stderr is a stream to the journal, which reads a syslog
// priority before each line; anywhere else the lines stay as they are.
TEST_F(LoggingTest, PriorityBeforeEachLineOnlyWhenStderrIsTheJournal) {
  SetLogMessageHandler(nullptr);
  const struct {
    const char* stream;  // JOURNAL_STREAM; "match": stderr's own.
    bool prefixed;
  } cases[] = {
      {"match", true},  {nullptr, false}, {"0:0", false},   {"12", false},
      {"1:2:3", false}, {"", false},      {"other", false},  // Another file: a
                                                             // descriptor the
                                                             // child inherited.
  };
  const struct {
    int severity;
    const char* priority;
  } severities[] = {
      {LOG_INFO, "<6>"}, {LOG_WARNING, "<4>"}, {LOG_ERROR, "<3>"}, {-1, "<7>"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stream ? c.stream : "unset");
    testing::internal::CaptureStderr();
    struct stat st;
    ASSERT_EQ(0, fstat(STDERR_FILENO, &st));
    std::string stream = c.stream ? c.stream : "";
    if (stream == "match" || stream == "other") {
      stream = std::to_string(st.st_dev) + ":" +
               std::to_string(st.st_ino + (stream == "other" ? 1 : 0));
    }
    if (c.stream)
      setenv("JOURNAL_STREAM", stream.c_str(), 1);
    else
      unsetenv("JOURNAL_STREAM");
    internal::ResetJournalCheckForTesting();
    std::string expected;
    for (const auto& s : severities) {
      LogMessage("f.cc", 1, s.severity).stream() << "x";
      expected += (c.prefixed ? s.priority : "") +
                  std::string(s.severity < 0 ? "[VERBOSE1" : "[") +
                  (s.severity == LOG_INFO      ? "INFO"
                   : s.severity == LOG_WARNING ? "WARNING"
                   : s.severity == LOG_ERROR   ? "ERROR"
                                               : "") +
                  ":f.cc(1)] x\n";
    }
    EXPECT_EQ(expected, testing::internal::GetCapturedStderr());
  }
  unsetenv("JOURNAL_STREAM");
  internal::ResetJournalCheckForTesting();
}

// A message's own line breaks must not let its text choose a journal
// priority: every line journald stores starts with the message's, and
// outside the journal the bytes stay as they are.
TEST_F(LoggingTest, EveryJournalLineOfAMessageCarriesItsPriority) {
  SetLogMessageHandler(nullptr);
  const std::string head = "[WARNING:f.cc(1)] ";
  // 4096 bytes to a journal line: the head, then this many of the text.
  const size_t room = 4096 - head.size();
  const std::string euro = "\xe2\x82\xac";  // Three bytes.
  const struct {
    const char* name;
    std::string text;
    std::string journal;  // What follows the first "<4>".
  } cases[] = {
      {"one line", "plain", head + "plain\n"},
      {"newline", "Vantor\n<0>Sample", head + "Vantor\n<4><0>Sample\n"},
      {"trailing newline", "a\n", head + "a\n<4>\n"},
      {"NUL", std::string("a\0<0>b", 6),
       head + std::string("a\0<4><0>b\n", 10)},
      {"longer than a journal line", std::string(room + 5, 'x') + "<0>",
       head + std::string(room, 'x') + "\n<4>xxxxx<0>\n"},
      {"a character across the cut", std::string(room - 1, 'x') + euro + "<0>",
       head + std::string(room - 1, 'x') + "\n<4>" + euro + "<0>\n"},
  };
  struct stat st;
  ASSERT_EQ(0, fstat(STDERR_FILENO, &st));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool journal : {true, false}) {
      testing::internal::CaptureStderr();
      // Captured stderr is a file of its own: the stream must name it.
      ASSERT_EQ(0, fstat(STDERR_FILENO, &st));
      if (journal) {
        setenv("JOURNAL_STREAM",
               (std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino))
                   .c_str(),
               1);
      } else {
        unsetenv("JOURNAL_STREAM");
      }
      internal::ResetJournalCheckForTesting();
      LogMessage("f.cc", 1, LOG_WARNING).stream() << c.text;
      EXPECT_EQ(journal ? "<4>" + c.journal : head + c.text + "\n",
                testing::internal::GetCapturedStderr());
    }
  }
  unsetenv("JOURNAL_STREAM");
  internal::ResetJournalCheckForTesting();
}

TEST_F(LoggingTest, LogMacroUsesThisFileAndLine) {
  int line = __LINE__ + 1;
  LOG(INFO) << "hello";
  ASSERT_EQ(1u, captured_.size());
  EXPECT_EQ("[INFO:logging_test.cc(" + std::to_string(line) + ")] hello\n",
            captured_[0].line);
}

TEST_F(LoggingTest, PassingCheckEvaluatesNothingStreamed) {
  int evaluated = 0;
  auto side_effect = [&] { return ++evaluated; };
  CHECK(1 + 1 == 2) << side_effect();
  EXPECT_EQ(0, evaluated);
  EXPECT_TRUE(captured_.empty());
}

TEST_F(LoggingTest, HandlerReturningFalseLeavesStderrOutput) {
  g_consume = false;
  testing::internal::CaptureStderr();
  LOG(WARNING) << "both";
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(1u, captured_.size());
  EXPECT_EQ(captured_[0].line, err);
  EXPECT_THAT(err,
              MatchesRegex("\\[WARNING:logging_test.cc\\([0-9]+\\)\\] both\n"));
}

TEST_F(LoggingTest, HandlerReturningTrueSuppressesStderr) {
  testing::internal::CaptureStderr();
  LOG(INFO) << "only handler";
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  ASSERT_EQ(1u, captured_.size());
}

TEST_F(LoggingTest, TickCountPrefixIsMonotonicMicroseconds) {
  InitializeLogging(true, false);
  timespec before;
  clock_gettime(CLOCK_MONOTONIC, &before);
  LOG(INFO) << "t";
  ASSERT_EQ(1u, captured_.size());
  const std::string& line = captured_[0].line;
  ASSERT_THAT(
      line, MatchesRegex("\\[[0-9]+:INFO:logging_test.cc\\([0-9]+\\)\\] t\n"));
  unsigned long long ticks = std::stoull(line.substr(1));
  unsigned long long floor = before.tv_sec * 1000000ull + before.tv_nsec / 1000;
  EXPECT_GE(ticks, floor);
  EXPECT_LT(ticks - floor, 60ull * 1000000);
}

TEST_F(LoggingTest, TimestampPrefixIsZeroPaddedLocalTime) {
  // A fixed zone makes the expected fields computable from the clock.
  const char* old_tz = getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  InitializeLogging(false, true);
  LOG(INFO) << "t";
  InitializeLogging(true, true);
  LOG(INFO) << "both";
  if (old_tz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  ASSERT_EQ(2u, captured_.size());
  EXPECT_THAT(
      captured_[0].line,
      MatchesRegex("\\[[01][0-9][0-3][0-9]/[0-2][0-9][0-5][0-9][0-6][0-9]"
                   "\\.[0-9]{6}:INFO:logging_test.cc\\([0-9]+\\)\\] t\n"));
  // Time comes before the tick count.
  EXPECT_THAT(captured_[1].line,
              MatchesRegex("\\[[0-9]{4}/[0-9]{6}\\.[0-9]{6}:[0-9]+:INFO:.*"));
}

TEST_F(LoggingTest, TimestampLeavesZeroFillForTheMessage) {
  InitializeLogging(false, true);
  LogMessage("f.cc", 1, LOG_INFO).stream() << std::setw(3) << 7;
  ASSERT_EQ(1u, captured_.size());
  EXPECT_THAT(captured_[0].line, HasSubstr("] 007\n"));
}

using LoggingDeathTest = LoggingTest;

TEST_F(LoggingDeathTest, FatalAbortsAfterHandlerConsumedTheLine) {
  // The handler writes the line itself so the death test can see it; it
  // still returns true, so the logger must abort on its own.
  EXPECT_DEATH(
      {
        SetLogMessageHandler([](int, const std::string& line) {
          fputs(("handled:" + line).c_str(), stderr);
          return true;
        });
        LOG(FATAL) << "boom";
      },
      "handled:\\[FATAL:logging_test.cc\\([0-9]+\\)\\] boom");
}

TEST_F(LoggingDeathTest, FailedCheckPrintsConditionTextAndExtra) {
  SetLogMessageHandler(nullptr);
  int fd = -1;
  EXPECT_DEATH(
      CHECK(fd >= 0) << "extra text",
      "\\[FATAL:logging_test.cc\\([0-9]+\\)\\] Failed: fd >= 0 extra text");
}

TEST_F(LoggingDeathTest, SeverityAboveFatalDoesNotAbort) {
  LogMessage("f.cc", 1, 4).stream() << "still alive";
  EXPECT_THAT(captured_.back().line, StartsWith("[UNKNOWN"));
}

}  // namespace
}  // namespace core
