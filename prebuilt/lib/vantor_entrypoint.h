// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The host library's entry point, as the bridge sees it.
//
// The host library exports one C function, NewVantorEntrypoint(). The bridge
// calls it with its own API version for every request, wraps the answer as a
// VantorEntrypoint, makes one request and deletes the entry point again, so
// no entry point outlives the call that made it. Client code uses
// AssistantManager::Create() and the Load*Provider functions instead.
#ifndef PREBUILT_LIB_VANTOR_ENTRYPOINT_H_
#define PREBUILT_LIB_VANTOR_ENTRYPOINT_H_

#include <string>

#include "core/export.h"

// The C form of the entry point; opaque here.
struct C_API_VantorEntrypoint;

extern "C" {
// Exported by the host library. |version| is the caller's API version; the
// caller releases the result through its Destroy slot.
VANTOR_EXPORT C_API_VantorEntrypoint* NewVantorEntrypoint(int version);
}

namespace assistant_client {

class AssistantManager;
class AssistantManagerInternal;
class PlatformApi;
class PlatformFactory;

namespace internal_api {

class VantorEntrypoint {
 public:
  VantorEntrypoint() = default;
  VantorEntrypoint(const VantorEntrypoint&) = delete;
  VantorEntrypoint& operator=(const VantorEntrypoint&) = delete;
  virtual ~VantorEntrypoint() = default;

  // Never null; owned by the caller. |platform| is borrowed and may be null.
  virtual AssistantManager* NewAssistantManager(const std::string& config,
                                                PlatformApi* platform) = 0;
  // The host library's own platform; never null; owned by the caller.
  virtual PlatformFactory* NewPlatformLoader() = 0;
  // Never null; belongs to the host library.
  virtual AssistantManagerInternal* GetAssistantManagerInternal(
      AssistantManager* manager) = 0;
};

}  // namespace internal_api
}  // namespace assistant_client

#endif  // PREBUILT_LIB_VANTOR_ENTRYPOINT_H_
