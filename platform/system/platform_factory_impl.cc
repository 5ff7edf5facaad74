// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The system plug-in's exported entry point: it offers the system provider.
#include "platform/system/system_provider_impl.h"
#include "prebuilt/lib/plugin_entrypoint.h"

extern "C" __attribute__((visibility("default"))) C_API_PlatformFactory*
NewVantorPlatformEntrypoint(int version) {
  return assistant_reference::NewPluginEntrypoint<
      assistant_reference::SystemProviderImpl>(version);
}
