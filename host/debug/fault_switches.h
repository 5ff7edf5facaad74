// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Test aids that make the stand-in host fail on request, so that what
// supervises a device's assistant (systemd's watchdog and memory limits)
// can be tried on a board. Served by the debug server only when the host's
// configuration has "test_faults": true:
//
//   POST /fault/wedge     the manager's lock is taken and never given back:
//                         every call that needs it hangs, GetDeviceId too
//   POST /fault/allocate  memory is taken and written, 1 MiB every 10 ms,
//                         until the process is killed
//   POST /fault/slow?ms=N every later GetDeviceId answers N ms late, under
//                         the manager's lock (0 ends it)
//   POST /fault/crash     a thread of the host's, "VantorCrash", writes
//                         through a null pointer in a function of ours
//                         (SIGSEGV: a core with frames to name)
//
// Wedge, allocate and crash cannot be undone: they end with the process.
#ifndef HOST_DEBUG_FAULT_SWITCHES_H_
#define HOST_DEBUG_FAULT_SWITCHES_H_

#include <atomic>

#include "core/synchronization.h"
#include "prebuilt/lib/debug_interface.h"

namespace vantor_host {

// What the switches act on; borrowed, and must outlive the process's last
// request.
struct FaultTargets {
  core::Mutex* manager_lock;  // What the wedge holds.
  // How late GetDeviceId answers, in milliseconds.
  std::atomic<int>* answer_delay_ms;
};

// Registers the paths on |debug|.
void RegisterFaultSwitches(assistant_client::DebugInterface* debug,
                           const FaultTargets& targets);

}  // namespace vantor_host

#endif  // HOST_DEBUG_FAULT_SWITCHES_H_
