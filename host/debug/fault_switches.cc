// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/debug/fault_switches.h"

#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/logging.h"

namespace vantor_host {
namespace {

using assistant_client::DebugHttpContext;

constexpr size_t kAllocationStep = 1 << 20;
constexpr auto kAllocationPause = std::chrono::milliseconds(10);
// A delay longer than any WatchdogSec worth trying is a wedge, which has a
// switch of its own.
constexpr long kMaxAnswerDelayMs = 600000;
// Time for the reply to leave before the process goes.
constexpr auto kCrashDelay = std::chrono::milliseconds(200);

// Null, but not provably so to the compiler: the write below must be a real
// memory fault (SIGSEGV), not a trap instruction or nothing at all.
std::atomic<int*> g_nowhere{nullptr};

// Out of line, so that a backtrace shows both frames by name. Exempt from
// UBSan's null check, which would end the process with its own report and
// exit status instead of the memory fault under test.
// (The GNU spelling, which GCC and Clang both take.)
__attribute__((noinline, no_sanitize("null"))) void WriteThroughNull(
    int* target,
    int value) {
  *static_cast<volatile int*>(target) = value;
}

// Keeps a call from being a tail call, whose caller would be missing from
// the trace.
inline void KeepCallerFrame() {
  asm volatile("" ::: "memory");
}

[[gnu::noinline]] void CrashOnThisThread() {
  std::this_thread::sleep_for(kCrashDelay);
  LOG(ERROR) << "Test fault: crashing now (a write through a null pointer)";
  WriteThroughNull(g_nowhere.load(), 0x5a);
  KeepCallerFrame();
}

}  // namespace

void RegisterFaultSwitches(assistant_client::DebugInterface* debug,
                           const FaultTargets& targets) {
  core::Mutex* const manager_lock = targets.manager_lock;
  std::atomic<int>* const answer_delay_ms = targets.answer_delay_ms;
  debug->RegisterUriPath("/fault/wedge",
                         [manager_lock](DebugHttpContext* context) {
                           LOG(WARNING)
                               << "Test fault: wedging the assistant manager";
                           std::thread([manager_lock] {
                             pthread_setname_np(pthread_self(), "VantorWedge");
                             core::AutoLock lock(manager_lock);
                             for (;;)
                               pause();
                           }).detach();
                           context->ReplyOk("wedged\n");
                         },
                         {DebugHttpContext::kPost});
  debug->RegisterUriPath(
      "/fault/allocate",
      [](DebugHttpContext* context) {
        LOG(WARNING) << "Test fault: allocating memory until the process is "
                        "killed";
        std::thread([] {
          pthread_setname_np(pthread_self(), "VantorAllocate");
          // Kept, and written, so that every page counts.
          auto* kept = new std::vector<std::unique_ptr<char[]>>();
          for (;;) {
            kept->emplace_back(new char[kAllocationStep]);
            memset(kept->back().get(), 0x5a, kAllocationStep);
            std::this_thread::sleep_for(kAllocationPause);
          }
        }).detach();
        context->ReplyOk("allocating\n");
      },
      {DebugHttpContext::kPost});
  debug->RegisterUriPath("/fault/crash",
                         [](DebugHttpContext* context) {
                           LOG(WARNING) << "Test fault: crashing the host on "
                                           "its thread VantorCrash";
                           std::thread([] {
                             pthread_setname_np(pthread_self(), "VantorCrash");
                             CrashOnThisThread();
                             KeepCallerFrame();
                           }).detach();
                           context->ReplyOk("crashing\n");
                         },
                         {DebugHttpContext::kPost});
  debug->RegisterUriPath(
      "/fault/slow",
      [answer_delay_ms](DebugHttpContext* context) {
        std::string text;
        char* end = nullptr;
        const long ms = context->GetParamValue("ms", &text)
                            ? strtol(text.c_str(), &end, 10)
                            : -1;
        if (text.empty() || !end || *end || ms < 0 || ms > kMaxAnswerDelayMs) {
          context->ReplyBadRequest("ms=N, 0 to " +
                                   std::to_string(kMaxAnswerDelayMs) + "\n");
          return;
        }
        LOG(WARNING) << "Test fault: GetDeviceId answers " << ms << " ms late";
        answer_delay_ms->store(static_cast<int>(ms));
        context->ReplyOk("slow\n");
      },
      {DebugHttpContext::kPost});
}

}  // namespace vantor_host
