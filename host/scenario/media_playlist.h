// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host's media player: a small playlist that the controls move
// through, and the listeners told of every change.
//
//   idle --Resume--> playing <--Resume/Pause--> paused
//   Next: the next track, playing; past the last one: stopped.
//   Previous: the track before, playing; on the first: it starts over.
//   StopAndClearPlaylist: stopped, no tracks; Resume then has nothing to play.
//
// A control that changes nothing (Pause while paused) tells nobody.
#ifndef HOST_SCENARIO_MEDIA_PLAYLIST_H_
#define HOST_SCENARIO_MEDIA_PLAYLIST_H_

#include <chrono>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "host/base/scheduler.h"
#include "prebuilt/lib/media_manager.h"

namespace vantor_host {

class HostMediaManager : public assistant_client::MediaManager {
 public:
  // |runner| (borrowed, outlives this) delivers the listener calls; it is
  // handed them under the manager's lock. |tracks| is the playlist.
  HostMediaManager(TaskRunner* runner,
                   std::vector<assistant_client::MediaMetadata> tracks);
  // The three tracks the host plays when nothing else is said.
  static std::vector<assistant_client::MediaMetadata> DefaultTracks();

  void AddListener(Listener* listener) override;
  void Next() override;
  void Previous() override;
  void Resume() override;
  void Pause() override;
  void StopAndClearPlaylist() override;

  // By name: next, previous, resume, pause, stop. Any thread.
  void Control(const std::string& control);
  assistant_client::MediaStatus GetStatus();

 private:
  using Clock = std::chrono::steady_clock;

  // The status as it is now.
  assistant_client::MediaStatus StatusLocked() CORE_REQUIRES(mutex_);
  // For a control that changes nothing: says so.
  void Unchanged(const char* control) CORE_REQUIRES(mutex_);
  // Moves to |state| on track |index|, from |position_ms|, and posts the new
  // status to the listeners.
  void Move(assistant_client::PlaybackState state,
            size_t index,
            int64_t position_ms,
            const char* control) CORE_REQUIRES(mutex_);

  TaskRunner* const runner_;
  core::Mutex mutex_;
  // Borrowed; outlive the manager.
  std::vector<Listener*> listeners_ CORE_GUARDED_BY(mutex_);
  std::vector<assistant_client::MediaMetadata> tracks_ CORE_GUARDED_BY(mutex_);
  size_t index_ CORE_GUARDED_BY(mutex_) = 0;
  assistant_client::PlaybackState state_ CORE_GUARDED_BY(mutex_) =
      assistant_client::PlaybackState::kIdle;
  // Where the track was when it last moved.
  int64_t position_ms_ CORE_GUARDED_BY(mutex_) = 0;
  // While |state_| is kPlaying.
  Clock::time_point playing_since_ CORE_GUARDED_BY(mutex_);
};

}  // namespace vantor_host

#endif  // HOST_SCENARIO_MEDIA_PLAYLIST_H_
