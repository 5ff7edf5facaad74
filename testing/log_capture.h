// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The log lines of every thread while a LogCapture lives, for tests that
// check what was logged or that keep a flood of lines off their output.
//
//   testing_support::LogCapture log;  // every line kept, none printed
//   ... run the code ...
//   EXPECT_EQ(1, log.Count("Registering mdns service instance: A"));
//
//   // Warnings kept, every line printed as usual.
//   testing_support::LogCapture warnings(LogCapture::Keep::kWarnings,
//                                        LogCapture::Echo::kAll);
//
// One capture at a time: it installs the process's log handler (a plain
// global of core/logging.h), so make it before the code under test starts
// threads that log, and let it go after they are done. A FATAL line is
// always printed, so that a death's reason is seen.
#ifndef TESTING_LOG_CAPTURE_H_
#define TESTING_LOG_CAPTURE_H_

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/logging.h"

namespace testing_support {

class LogCapture {
 public:
  // Which lines are kept, and which are still printed (on stderr, as
  // without a capture).
  enum class Keep { kAll, kWarnings, kNone };
  enum class Echo { kNone, kWarnings, kAll };

  struct Line {
    int severity;
    std::string text;  // Without the "[SEVERITY:file(line)] " prefix and
                       // the newline.
    std::string whole;
  };

  explicit LogCapture(Keep keep = Keep::kAll, Echo echo = Echo::kNone)
      : keep_(keep), echo_(echo) {
    std::lock_guard<std::mutex> lock(Mutex());
    Current() = this;
    core::SetLogMessageHandler(&Take);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  ~LogCapture() {
    core::SetLogMessageHandler(nullptr);
    std::lock_guard<std::mutex> lock(Mutex());
    Current() = nullptr;
  }

  std::vector<Line> Lines() const {
    std::lock_guard<std::mutex> lock(Mutex());
    return lines_;
  }
  // Each kept line as "W text" or "I text" (E, F for the others).
  std::vector<std::string> Tagged() const {
    std::vector<std::string> tagged;
    for (const Line& line : Lines())
      tagged.push_back(std::string(1, Tag(line.severity)) + " " + line.text);
    return tagged;
  }
  // Kept lines that hold |part|.
  int Count(const std::string& part) const {
    const std::vector<Line> lines = Lines();
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const Line& line) {
          return line.whole.find(part) != std::string::npos;
        }));
  }
  bool Has(const std::string& part) const { return Count(part) > 0; }
  // Waits up to |patience| for a kept line that holds |part|.
  bool WaitFor(const std::string& part,
               std::chrono::milliseconds patience) const {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (!Has(part)) {
      if (std::chrono::steady_clock::now() > end)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Every kept line, whole, for a failure's message.
  std::string All() const {
    std::string all;
    for (const Line& line : Lines())
      all += line.whole;
    return all;
  }
  // Forgets the lines kept so far.
  void Clear() {
    std::lock_guard<std::mutex> lock(Mutex());
    lines_.clear();
  }

 private:
  static char Tag(int severity) {
    switch (severity) {
      case core::LOG_WARNING:
        return 'W';
      case core::LOG_ERROR:
        return 'E';
      case core::LOG_FATAL:
        return 'F';
      default:
        return 'I';
    }
  }

  static bool Take(int severity, const std::string& whole) {
    std::lock_guard<std::mutex> lock(Mutex());
    LogCapture* capture = Current();
    if (!capture || severity == core::LOG_FATAL)
      return false;
    const bool warning = severity >= core::LOG_WARNING;
    if (capture->keep_ == Keep::kAll ||
        (capture->keep_ == Keep::kWarnings && warning)) {
      const size_t start = whole.find("] ");
      const size_t from = start == std::string::npos ? 0 : start + 2;
      const size_t end = whole.size() - (whole.back() == '\n' ? 1 : 0);
      capture->lines_.push_back(
          {severity, whole.substr(from, end - std::min(from, end)), whole});
    }
    return !(capture->echo_ == Echo::kAll ||
             (capture->echo_ == Echo::kWarnings && warning));
  }

  static std::mutex& Mutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
  }
  static LogCapture*& Current() {
    static LogCapture* current = nullptr;
    return current;
  }

  const Keep keep_;
  const Echo echo_;
  std::vector<Line> lines_;  // Guarded by Mutex().
};

}  // namespace testing_support

#endif  // TESTING_LOG_CAPTURE_H_
