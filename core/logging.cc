#include "core/logging.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include <iomanip>

namespace core {
namespace {

const char* const log_severity_names[] = {"INFO", "WARNING", "ERROR", "FATAL"};
constexpr int kNumSeverities = 4;

bool g_log_tickcount = false;
bool g_log_timestamp = false;
LogMessageHandler g_log_handler = nullptr;

uint64_t TickCountMicros() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u +
         static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

}  // namespace

void InitializeLogging(bool log_tickcount, bool log_timestamp) {
  g_log_tickcount = log_tickcount;
  g_log_timestamp = log_timestamp;
}

void SetLogMessageHandler(LogMessageHandler handler) {
  g_log_handler = handler;
}

LogMessage::LogMessage(const char* file, int line, int severity)
    : severity_(severity), stream_(std::ios_base::out) {
  Init(file, line);
}

void LogMessage::Init(const char* file, int line) {
  stream_ << '[';
  if (g_log_timestamp) {
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
  if (g_log_tickcount)
    stream_ << TickCountMicros() << ':';
  if (severity_ >= 0 && severity_ < kNumSeverities)
    stream_ << log_severity_names[severity_];
  else if (severity_ < 0)
    stream_ << "VERBOSE" << -static_cast<long long>(severity_);
  else
    stream_ << "UNKNOWN";
  const char* base = strrchr(file, '/');
  stream_ << ':' << (base ? base + 1 : file) << '(' << line << ")] ";
}

LogMessage::~LogMessage() {
  stream_ << '\n';
  const std::string line = stream_.str();
  if (!g_log_handler || !g_log_handler(severity_, line)) {
    fwrite(line.data(), line.size(), 1, stderr);
    fflush(stderr);
  }
  if (severity_ == LOG_FATAL)
    abort();
}

}  // namespace core
