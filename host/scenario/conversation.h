// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Plays the scenario to the client: conversation turns with their audio,
// device actions and listener calls, and the device events between them.
// Everything it tells the client runs on the scheduler's thread.
//
// One turn, as the conversation listeners hear it:
//   OnConversationTurnStarted(true: asked for; false: a follow-up)
//   OnRecognitionStateChanged(kStarted), (kPartial, one more word each)...,
//     (kFinal, the whole text)   -- the audio input is open meanwhile
//   the device action: each handler's GetContext(), then Execute(action)
//   OnRespondingStarted(whether there is a reply to play)
//   the reply, played through the audio output
//   OnRespondingFinished()
//   OnConversationTurnFinished(the scenario's resolution, or kCancelled)
//
// Turns asked for while one runs wait for it (up to kMaxWaiting).
//
// The turns are in conversation.cc, the events in conversation_events.cc.
#ifndef HOST_SCENARIO_CONVERSATION_H_
#define HOST_SCENARIO_CONVERSATION_H_

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "host/base/scheduler.h"
#include "host/scenario/client_listeners.h"
#include "host/scenario/media_playlist.h"
#include "host/scenario/reply_audio.h"
#include "host/scenario/scenario.h"
#include "prebuilt/lib/audio_input_provider.h"
#include "prebuilt/lib/audio_output_provider.h"
#include "prebuilt/lib/callback.h"

namespace vantor_host {

class Conversation {
 public:
  static constexpr int kMaxWaiting = 8;

  // All borrowed; they outlive this object, and |scheduler| is stopped
  // before it goes.
  Conversation(Scenario scenario,
               Scheduler* scheduler,
               ClientListeners* listeners,
               HostMediaManager* media);
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;
  ~Conversation();

  // The audio the turns use, and whether the microphone is muted now. Set
  // once, before Started().
  void SetPlatform(assistant_client::AudioInputProvider* input,
                   assistant_client::AudioOutputProvider* output,
                   std::function<bool()> is_muted);

  // All below may be called on any thread.

  // The assistant is up: OnStartFinished, then |done|, then the events at
  // the head of the scenario are scheduled. Later calls only run |done|.
  void Started(assistant_client::Callback<false> done);
  void EnableListening(bool enable);
  // The number of the interaction that will be played (1, 2, ...), or 0
  // when none will; logs which, or why not.
  int RequestTurn();
  // How many RequestTurn() accepted.
  int accepted();
  // Ends the turn in progress with kCancelled.
  void StopTurn();
  // OnStopTopInteraction, then ends what is on top: a sounding alarm or
  // timer, else the turn in progress (kCancelled).
  void StopTop();
  // Ends the turn in progress (kCancelled), drops the waiting ones and ends
  // every sounding alarm or timer.
  void StopAll();
  // Cuts the reply short; the turn ends with its own resolution.
  void StopReply();
  // A change reported by the system provider: OnMicMutedChange; muting
  // while a turn listens cancels it.
  void MicMuted(bool muted);

  // Plays out the turns asked for, ends the sounding events and drops the
  // scheduled ones, and returns when nothing runs any more. Not on the
  // scheduler's thread.
  void Finish();

 private:
  struct Link;  // What a reply's player may still reach of this object.
  struct Turn;
  struct Sounding {
    int id;
    ScenarioEvent::Kind kind;
    Scheduler::TaskId end;
  };

  // ---- On the scheduler's thread. -------------------------------------------
  void Begin(bool asked_for);
  // Begins the next turn (a follow-up, or one that waits), or goes idle.
  void Next(bool follow_up);
  void Recognize(int generation, size_t words);
  void Act();
  void Respond();
  void EndOfStream(int generation);
  void StopOutput();
  void OutputStopped(int generation);
  void End(assistant_client::ConversationStateListener::Resolution resolution);
  void Cancel(const char* why);
  void CloseInput();
  void ScheduleEvents();
  void StartEvent(const ScenarioEvent& event);
  void EndEvent(int id);
  // Ends the sounding alarms and timers (with |everything|, the
  // notifications and holds too); with |latest_only|, only the latest.
  void EndSoundings(bool everything, bool latest_only);

  const Scenario scenario_;
  Scheduler* const scheduler_;
  ClientListeners* const listeners_;
  HostMediaManager* const media_;
  assistant_client::AudioInputProvider* input_provider_ = nullptr;
  assistant_client::AudioOutputProvider* output_provider_ = nullptr;
  // The audio input's observer; lives as long as this object.
  const std::unique_ptr<InputMeter> capture_;
  const std::shared_ptr<Link> link_;

  core::Mutex mutex_;
  // Signalled when |busy_| goes false or |events_ended_| true.
  core::CondVar idle_{&mutex_};
  std::function<bool()> is_muted_ CORE_GUARDED_BY(mutex_);
  bool started_ CORE_GUARDED_BY(mutex_) = false;
  bool listening_ CORE_GUARDED_BY(mutex_) = true;
  bool finishing_ CORE_GUARDED_BY(mutex_) = false;
  // Once Finish() ended and dropped them.
  bool events_ended_ CORE_GUARDED_BY(mutex_) = false;
  int accepted_ CORE_GUARDED_BY(mutex_) = 0;
  // Numbers of the turns asked for, not begun.
  std::deque<int> waiting_ CORE_GUARDED_BY(mutex_);
  // A turn runs or is about to begin.
  bool busy_ CORE_GUARDED_BY(mutex_) = false;

  // Scheduler's thread only.
  size_t cursor_ = 0;  // The next scenario entry.
  int generation_ = 0;
  int number_ = 0;  // Of the interaction that began last.
  std::unique_ptr<Turn> turn_;
  std::vector<Sounding> soundings_;
  std::vector<Scheduler::TaskId> scheduled_events_;
  int next_event_id_ = 0;
};

}  // namespace vantor_host

#endif  // HOST_SCENARIO_CONVERSATION_H_
