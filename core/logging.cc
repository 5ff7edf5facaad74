// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/logging.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

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

uint64_t TickCountMicros() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u +
         static_cast<uint64_t>(ts.tv_nsec) / 1000u;
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
    fwrite(buffer_.data(), buffer_.size(), 1, stderr);
    fflush(stderr);
  }
  if (severity_ == LOG_FATAL)
    abort();
}

}  // namespace core
