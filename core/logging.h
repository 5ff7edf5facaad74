// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Stream logging with fatal checks.
//
//   LOG(INFO) << "Registering " << id;
//   CHECK(fd >= 0) << "could not open " << path;
//
// A statement builds one line in memory and emits it when it ends: to the
// handler installed with SetLogMessageHandler() if that accepts it, otherwise
// to stderr with a single fwrite. A FATAL line aborts the process after it is
// out, also when a handler consumed it. A passing CHECK evaluates nothing
// that is streamed into it.
//
// Each deliverable links its own copy, with its own flags and handler, and
// binds its own calls to it (-Bsymbolic-functions): setting the handler
// through one library's SetLogMessageHandler affects that library's lines
// only, whatever the other libraries in the process export.
#ifndef CORE_LOGGING_H_
#define CORE_LOGGING_H_

#include <stddef.h>

#include <sstream>
#include <string>

#include "core/export.h"

namespace core {

// Severities. Negative values are verbose levels ("VERBOSE1", ...).
constexpr int LOG_INFO = 0;
constexpr int LOG_WARNING = 1;
constexpr int LOG_ERROR = 2;
constexpr int LOG_FATAL = 3;

using LogMessageHandler = bool (*)(int severity, const std::string& line);

// Sets whether the prefix carries the monotonic tick count and the local time.
VANTOR_EXPORT void InitializeLogging(bool log_tickcount, bool log_timestamp);

// Installs |handler| for every later line; null restores stderr output.
VANTOR_EXPORT void SetLogMessageHandler(LogMessageHandler handler);

// One log statement; lives for the statement only.
class VANTOR_EXPORT LogMessage {
 public:
  LogMessage(const char* file, int line, int severity);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  // Holds the line in place while it is short, so that a statement
  // allocates nothing unless a handler wants it as a string or the line is
  // long.
  class VANTOR_HIDDEN LineBuffer : public std::streambuf {
   public:
    LineBuffer();
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;

    const char* data() const;
    size_t size() const;

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize size) override;

   private:
    // Moves the line into |spill_|, where everything after it goes too.
    void Spill();

    char inline_[256];
    bool spilled_ = false;
    std::string spill_;
  };

  void Init(const char* file, int line);

  const int severity_;
  LineBuffer buffer_;
  std::ostream stream_;  // Writes into |buffer_|.
};

// Turns a stream expression into void so that CHECK is one conditional
// expression whose branches both have type void.
class LogVoidify {
 public:
  void operator&(const std::ostream&) {}
};

}  // namespace core

#define LOG(severity) \
  ::core::LogMessage(__FILE__, __LINE__, ::core::LOG_##severity).stream()

#define CHECK(condition)                                                       \
  (condition)                                                                  \
      ? (void)0                                                                \
      : ::core::LogVoidify() &                                                 \
            ::core::LogMessage(__FILE__, __LINE__, ::core::LOG_FATAL).stream() \
                << "Failed: " #condition " "

#endif  // CORE_LOGGING_H_
