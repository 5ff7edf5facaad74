// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Everything a client of the assistant needs: the assistant manager, the
// platform interfaces a device implements, and the callback type.
#ifndef PREBUILT_LIB_ASSISTANT_CLIENT_H_
#define PREBUILT_LIB_ASSISTANT_CLIENT_H_

#include "prebuilt/lib/assistant_manager.h"
#include "prebuilt/lib/audio_buffer.h"
#include "prebuilt/lib/audio_input.h"
#include "prebuilt/lib/audio_input_provider.h"
#include "prebuilt/lib/audio_output.h"
#include "prebuilt/lib/audio_output_provider.h"
#include "prebuilt/lib/auth_provider.h"
#include "prebuilt/lib/callback.h"
#include "prebuilt/lib/conversation_state_listener.h"
#include "prebuilt/lib/debug_interface.h"
#include "prebuilt/lib/device_action_handler.h"
#include "prebuilt/lib/device_state_listener.h"
#include "prebuilt/lib/file_provider.h"
#include "prebuilt/lib/mdns_responder.h"
#include "prebuilt/lib/media_manager.h"
#include "prebuilt/lib/network_provider.h"
#include "prebuilt/lib/platform_api.h"
#include "prebuilt/lib/platform_factory.h"
#include "prebuilt/lib/power_manager_provider.h"
#include "prebuilt/lib/system_provider.h"
#include "prebuilt/lib/vantor_entrypoint.h"
#include "prebuilt/lib/volume_control.h"

#endif  // PREBUILT_LIB_ASSISTANT_CLIENT_H_
