// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Where the state files live and which words they hold: what the plug-ins
// read and what vantor-state writes, kept in one place so they agree.
#ifndef PLATFORM_UTILS_STATE_FILES_H_
#define PLATFORM_UTILS_STATE_FILES_H_

namespace assistant_reference {
namespace state_files {

// The configuration section and keys naming the files; the defaults are
// the suffixes behind GetAssistantRootPath().
inline constexpr char kConfigSection[] = "platform_config";
inline constexpr char kConnectionStatusPathKey[] = "connection_status_path";
inline constexpr char kConnectionStatusFile[] = "/assistant/network_state";
inline constexpr char kMicStatePathKey[] = "mic_state_path";
inline constexpr char kMicStateFile[] = "/assistant/mic_state";

// Word i stands for the connection status numbered i + 1; any other text
// (after trimming) is UNKNOWN, 0.
inline constexpr const char* kConnectionWords[] = {"WIFI_NOT_CONFIGURED",
                                                   "DISCONNECTED_FROM_WIFI",
                                                   "DISCONNECTED_FROM_INTERNET",
                                                   "WIFI_ERROR",
                                                   "CONNECTING",
                                                   "CONNECTED"};

// The one word (after trimming) that means the microphone is muted.
inline constexpr char kMicMutedWord[] = "off";

}  // namespace state_files
}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_STATE_FILES_H_
