// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Conversation events of a running assistant: turns, speech recognition and
// responses.
//
// Implemented by the client and added with
// AssistantManager::AddConversationStateListener(); override only what is
// needed. The listener stays the client's and must outlive the manager.
// Called on the host library's threads, so an implementation guards its own
// state.
#ifndef PREBUILT_LIB_CONVERSATION_STATE_LISTENER_H_
#define PREBUILT_LIB_CONVERSATION_STATE_LISTENER_H_

#include <string>

namespace assistant_client {

class ConversationStateListener {
 public:
  // How a turn ended; crosses between binaries as its number.
  enum Resolution : int {
    kCompleted = 0,
    kFollowUpExpected = 1,  // The assistant keeps listening.
    kNoResponse = 2,
    kCancelled = 3,
    kError = 4,
  };

  // Crosses between binaries as its number.
  enum RecognitionState : int {
    kStarted = 0,
    kPartial = 1,  // The texts may still change.
    kFinal = 2,
  };

  // The three texts are the host library's and cross in this order.
  struct RecognitionResult {
    std::string text_1;
    std::string text_2;
    std::string text_3;
  };

  ConversationStateListener() = default;
  ConversationStateListener(const ConversationStateListener&) = delete;
  ConversationStateListener& operator=(const ConversationStateListener&) =
      delete;

  // The flags of OnConversationTurnStarted() and OnRespondingStarted() are
  // the host library's; they arrive unchanged.
  virtual void OnConversationTurnStarted(bool /*value*/) {}
  virtual void OnConversationTurnFinished(Resolution /*resolution*/) {}
  // |result| is borrowed for the call only.
  virtual void OnRecognitionStateChanged(RecognitionState /*state*/,
                                         const RecognitionResult& /*result*/) {}
  virtual void OnRespondingStarted(bool /*value*/) {}
  virtual void OnRespondingFinished() {}

  // After the operations: the destructor's vtable slots come last here.
  virtual ~ConversationStateListener() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_CONVERSATION_STATE_LISTENER_H_
