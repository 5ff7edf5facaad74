// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Names of the public enumerations, for logs and command-line output: each
// enumerator as it is spelled, except media playback states, which read as
// plain words ("playing"). A value from across the ABI that no enumerator
// has is "out of range".
//
//   LOG(INFO) << "Connection status: " << EnumName(status);
#ifndef PREBUILT_LIB_ENUM_NAMES_H_
#define PREBUILT_LIB_ENUM_NAMES_H_

#include "prebuilt/lib/conversation_state_listener.h"
#include "prebuilt/lib/mdns_responder.h"
#include "prebuilt/lib/media_manager.h"
#include "prebuilt/lib/network_provider.h"

namespace assistant_client {

inline const char* EnumName(NetworkProvider::ConnectionStatus status) {
  switch (status) {
    case NetworkProvider::UNKNOWN:
      return "UNKNOWN";
    case NetworkProvider::WIFI_NOT_CONFIGURED:
      return "WIFI_NOT_CONFIGURED";
    case NetworkProvider::DISCONNECTED_FROM_WIFI:
      return "DISCONNECTED_FROM_WIFI";
    case NetworkProvider::DISCONNECTED_FROM_INTERNET:
      return "DISCONNECTED_FROM_INTERNET";
    case NetworkProvider::WIFI_ERROR:
      return "WIFI_ERROR";
    case NetworkProvider::CONNECTING:
      return "CONNECTING";
    case NetworkProvider::CONNECTED:
      return "CONNECTED";
  }
  return "out of range";
}

inline const char* EnumName(MdnsResponder::Result result) {
  switch (result) {
    case MdnsResponder::FATAL_ERROR:
      return "FATAL_ERROR";
    case MdnsResponder::NON_FATAL_ERROR:
      return "NON_FATAL_ERROR";
    case MdnsResponder::SUCCESS:
      return "SUCCESS";
  }
  return "out of range";
}

inline const char* EnumName(ConversationStateListener::RecognitionState state) {
  switch (state) {
    case ConversationStateListener::kStarted:
      return "kStarted";
    case ConversationStateListener::kPartial:
      return "kPartial";
    case ConversationStateListener::kFinal:
      return "kFinal";
  }
  return "out of range";
}

inline const char* EnumName(ConversationStateListener::Resolution resolution) {
  switch (resolution) {
    case ConversationStateListener::kCompleted:
      return "kCompleted";
    case ConversationStateListener::kFollowUpExpected:
      return "kFollowUpExpected";
    case ConversationStateListener::kNoResponse:
      return "kNoResponse";
    case ConversationStateListener::kCancelled:
      return "kCancelled";
    case ConversationStateListener::kError:
      return "kError";
  }
  return "out of range";
}

inline const char* EnumName(PlaybackState state) {
  switch (state) {
    case PlaybackState::kIdle:
      return "idle";
    case PlaybackState::kPlaying:
      return "playing";
    case PlaybackState::kPaused:
      return "paused";
    case PlaybackState::kBuffering:
      return "buffering";
    case PlaybackState::kStopped:
      return "stopped";
    case PlaybackState::kError:
      return "error";
  }
  return "out of range";
}

}  // namespace assistant_client

#endif  // PREBUILT_LIB_ENUM_NAMES_H_
