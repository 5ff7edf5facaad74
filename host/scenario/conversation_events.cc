// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The scenario's events (alarms, timers, notifications, holds,
// authentication) between the turns, on the scheduler's thread.
#include <algorithm>
#include <chrono>

#include "core/logging.h"
#include "host/scenario/conversation.h"

namespace vantor_host {

using assistant_client::DeviceStateListener;
using std::chrono::milliseconds;

void Conversation::ScheduleEvents() {
  const size_t n = scenario_.entries.size();
  for (size_t k = 0; k < n && !scenario_.entries[cursor_].is_turn; ++k) {
    const ScenarioEvent event = scenario_.entries[cursor_].event;
    cursor_ = (cursor_ + 1) % n;
    scheduled_events_.push_back(scheduler_->PostDelayed(
        milliseconds(event.after_ms), [this, event] { StartEvent(event); }));
  }
}

void Conversation::StartEvent(const ScenarioEvent& event) {
  using Kind = ScenarioEvent::Kind;
  listeners_->ForEachDevice([&event](DeviceStateListener* listener) {
    switch (event.kind) {
      case Kind::kAlarm:
        return listener->OnAlarmSoundingStarted();
      case Kind::kTimer:
        return listener->OnTimerSoundingStarted();
      case Kind::kNotification:
        return listener->OnNotificationTrigger();
      case Kind::kHold:
        return listener->OnHoldStarted();
      case Kind::kAuthentication:
        return listener->OnAuthenticationReceived(event.authenticated);
    }
  });
  if (event.kind == Kind::kAuthentication) {
    LOG(INFO) << "Event: authentication "
              << (event.authenticated ? "received" : "refused");
    return;
  }
  const int id = ++next_event_id_;
  LOG(INFO) << "Event: " << EventName(event.kind) << " for "
            << event.duration_ms << " ms";
  soundings_.push_back({id, event.kind,
                        scheduler_->PostDelayed(milliseconds(event.duration_ms),
                                                [this, id] { EndEvent(id); })});
}

void Conversation::EndEvent(int id) {
  using Kind = ScenarioEvent::Kind;
  auto it = std::find_if(soundings_.begin(), soundings_.end(),
                         [id](const Sounding& s) { return s.id == id; });
  if (it == soundings_.end())
    return;
  const Kind kind = it->kind;
  scheduler_->Cancel(it->end);
  soundings_.erase(it);
  listeners_->ForEachDevice([kind](DeviceStateListener* listener) {
    switch (kind) {
      case Kind::kAlarm:
        return listener->OnAlarmSoundingFinished();
      case Kind::kTimer:
        return listener->OnTimerSoundingFinished();
      case Kind::kNotification:
        return listener->OnNotificationClear();
      case Kind::kHold:
        return listener->OnHoldFinished();
      case Kind::kAuthentication:
        return;
    }
  });
  LOG(INFO) << "Event: " << EventName(kind) << " ended";
}

void Conversation::EndSoundings(bool everything, bool latest_only) {
  for (size_t i = soundings_.size(); i-- > 0;) {
    const Sounding& sounding = soundings_[i];
    const bool sounds = sounding.kind == ScenarioEvent::Kind::kAlarm ||
                        sounding.kind == ScenarioEvent::Kind::kTimer;
    if (!everything && !sounds)
      continue;
    EndEvent(sounding.id);
    if (latest_only)
      return;
  }
}

}  // namespace vantor_host
