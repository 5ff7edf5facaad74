// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/logging.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <iomanip>
#include <streambuf>

namespace core {
namespace {

const char* const log_severity_names[] = {"INFO", "WARNING", "ERROR", "FATAL"};
constexpr int kNumSeverities = 4;

// Relaxed atomics: an embedding program sets them once, but a plug-in's
// threads may already be logging when it does.
std::atomic<bool> g_log_tickcount{false};
std::atomic<bool> g_log_timestamp{false};
std::atomic<LogMessageHandler> g_log_handler{nullptr};

// The syslog priority of each severity, as journald reads it before a line
// on a stream it receives: INFO, WARNING, ERROR, FATAL; VERBOSE is debug.
const char* const kJournalPriorities[] = {"<6>", "<4>", "<3>", "<2>"};
constexpr char kVerbosePriority[] = "<7>";

// Whether stderr is the journal: 0 not decided yet, 1 no, 2 yes.
std::atomic<int> g_stderr_is_journal{0};

// systemd names the stream it connects a service's stderr to in
// JOURNAL_STREAM ("device:inode"); a child inherits the variable with other
// descriptors, so only a match with stderr itself counts.
bool StderrIsJournal() {
  const char* stream = getenv("JOURNAL_STREAM");
  unsigned long long device;
  unsigned long long inode;
  char rest;
  if (!stream || sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2)
    return false;
  struct stat st;
  return fstat(STDERR_FILENO, &st) == 0 &&
         static_cast<unsigned long long>(st.st_dev) == device &&
         static_cast<unsigned long long>(st.st_ino) == inode;
}

// The priority to put before a line on stderr, or null. Decided once per
// process; threads that race to decide first decide alike.
const char* JournalPriority(int severity) {
  int decided = g_stderr_is_journal.load(std::memory_order_relaxed);
  if (decided == 0) {
    decided = StderrIsJournal() ? 2 : 1;
    g_stderr_is_journal.store(decided, std::memory_order_relaxed);
  }
  if (decided != 2)
    return nullptr;
  if (severity < 0)
    return kVerbosePriority;
  return kJournalPriorities[severity < kNumSeverities ? severity : 0];
}

uint64_t TickCountMicros() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u +
         static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

// journald reads a priority at the start of each line it stores and ends a
// line at a newline, a NUL or LineMax bytes (48 KiB unless a device lowers
// it); a text that started a line of its own could claim any priority. So
// every line of a message gets the message's priority, and a line longer
// than this is cut, each piece its own line.
constexpr size_t kJournalLineMax = 4096;

// Writes |size| bytes of |text|, which ends with a newline, as journal lines
// each headed by |priority|. The caller holds stderr's lock.
void WriteJournalLines(const char* priority, const char* text, size_t size) {
  size_t start = 0;
  while (start < size) {
    const size_t limit = std::min(size, start + kJournalLineMax);
    size_t end = start;
    while (end < limit && text[end] != '\n' && text[end] != '\0')
      ++end;
    fputs_unlocked(priority, stderr);
    if (end < limit) {
      fwrite_unlocked(text + start, end + 1 - start, 1, stderr);
      start = end + 1;
    } else if (limit == size) {
      fwrite_unlocked(text + start, size - start, 1, stderr);
      start = size;
    } else {
      // Not inside a UTF-8 character.
      size_t cut = limit;
      while (cut > start + 1 &&
             (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) {
        --cut;
      }
      fwrite_unlocked(text + start, cut - start, 1, stderr);
      fputc_unlocked('\n', stderr);
      start = cut;
    }
  }
}

void PutText(std::streambuf* out, const char* text) {
  out->sputn(text, static_cast<std::streamsize>(strlen(text)));
}

void PutNumber(std::streambuf* out, long long number) {
  char digits[24];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof(digits), number);
  out->sputn(digits, end.ptr - digits);
}

}  // namespace

namespace internal {

void ResetJournalCheckForTesting() {
  g_stderr_is_journal.store(0, std::memory_order_relaxed);
}

}  // namespace internal

void InitializeLogging(bool log_tickcount, bool log_timestamp) {
  g_log_tickcount.store(log_tickcount, std::memory_order_relaxed);
  g_log_timestamp.store(log_timestamp, std::memory_order_relaxed);
}

void SetLogMessageHandler(LogMessageHandler handler) {
  g_log_handler.store(handler, std::memory_order_relaxed);
}

LogMessage::LineBuffer::LineBuffer() {
  setp(inline_, inline_ + sizeof(inline_));
}

const char* LogMessage::LineBuffer::data() const {
  return spilled_ ? spill_.data() : inline_;
}

size_t LogMessage::LineBuffer::size() const {
  return spilled_ ? spill_.size() : static_cast<size_t>(pptr() - pbase());
}

LogMessage::LineBuffer::int_type LogMessage::LineBuffer::overflow(int_type c) {
  Spill();
  if (!traits_type::eq_int_type(c, traits_type::eof()))
    spill_.push_back(traits_type::to_char_type(c));
  return traits_type::not_eof(c);
}

std::streamsize LogMessage::LineBuffer::xsputn(const char* text,
                                               std::streamsize size) {
  if (!spilled_ && epptr() - pptr() >= size) {
    memcpy(pptr(), text, static_cast<size_t>(size));
    pbump(static_cast<int>(size));
  } else {
    Spill();
    spill_.append(text, static_cast<size_t>(size));
  }
  return size;
}

void LogMessage::LineBuffer::Spill() {
  if (spilled_)
    return;
  spill_.assign(pbase(), static_cast<size_t>(pptr() - pbase()));
  spilled_ = true;
  setp(nullptr, nullptr);  // Every later character comes to overflow().
}

LogMessage::LogMessage(const char* file, int line, int severity)
    : severity_(severity), stream_(&buffer_) {
  Init(file, line);
}

void LogMessage::Init(const char* file, int line) {
  // The fixed parts go to the buffer unformatted: a formatted insertion
  // costs a sentry and a locale lookup per piece, and these pieces never
  // depend on the stream's state (its width is still 0 here).
  std::streambuf* const out = stream_.rdbuf();
  out->sputc('[');
  if (g_log_timestamp.load(std::memory_order_relaxed)) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t seconds = tv.tv_sec;
    struct tm local;
    localtime_r(&seconds, &local);
    // The fill stays '0' for the rest of the line, as callers have come to
    // expect of the prefix.
    stream_ << std::setfill('0') << std::setw(2) << 1 + local.tm_mon
            << std::setw(2) << local.tm_mday << '/' << std::setw(2)
            << local.tm_hour << std::setw(2) << local.tm_min << std::setw(2)
            << local.tm_sec << '.' << std::setw(6) << tv.tv_usec << ':';
  }
  if (g_log_tickcount.load(std::memory_order_relaxed))
    stream_ << TickCountMicros() << ':';
  if (severity_ >= 0 && severity_ < kNumSeverities) {
    PutText(out, log_severity_names[severity_]);
  } else if (severity_ < 0) {
    PutText(out, "VERBOSE");
    PutNumber(out, -static_cast<long long>(severity_));
  } else {
    PutText(out, "UNKNOWN");
  }
  out->sputc(':');
  const char* base = strrchr(file, '/');
  PutText(out, base ? base + 1 : file);
  out->sputc('(');
  PutNumber(out, line);
  out->sputn(")] ", 3);
}

LogMessage::~LogMessage() {
  stream_ << '\n';
  const LogMessageHandler handler =
      g_log_handler.load(std::memory_order_relaxed);
  if (!handler ||
      !handler(severity_, std::string(buffer_.data(), buffer_.size()))) {
    // One lock for the priority and its line: no other thread's line
    // comes between them.
    flockfile(stderr);
    if (const char* priority = JournalPriority(severity_))
      WriteJournalLines(priority, buffer_.data(), buffer_.size());
    else
      fwrite_unlocked(buffer_.data(), buffer_.size(), 1, stderr);
    fflush_unlocked(stderr);
    funlockfile(stderr);
  }
  if (severity_ == LOG_FATAL)
    abort();
}

}  // namespace core
