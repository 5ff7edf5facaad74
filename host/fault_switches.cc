// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/fault_switches.h"

#include <pthread.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "core/logging.h"

namespace vantor_host {
namespace {

using assistant_client::DebugHttpContext;

constexpr size_t kAllocationStep = 1 << 20;
constexpr auto kAllocationPause = std::chrono::milliseconds(10);

}  // namespace

void RegisterFaultSwitches(assistant_client::DebugInterface* debug,
                           core::Mutex* manager_lock) {
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
}

}  // namespace vantor_host
