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
#ifndef HOST_MEDIA_PLAYLIST_H_
#define HOST_MEDIA_PLAYLIST_H_

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "host/scheduler.h"
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

  // Under |mutex_|: the status as it is now.
  assistant_client::MediaStatus StatusLocked();
  // Under |mutex_|, for a control that changes nothing: says so.
  void Unchanged(const char* control);
  // Under |lock| of |mutex_|: moves to |state| on track |index|, from
  // |position_ms|, posts the new status to the listeners and releases the
  // lock.
  void Move(assistant_client::PlaybackState state,
            size_t index,
            int64_t position_ms,
            const char* control,
            std::unique_lock<std::mutex>* lock);

  TaskRunner* const runner_;
  std::mutex mutex_;                  // Guards everything below.
  std::vector<Listener*> listeners_;  // Borrowed; outlive the manager.
  std::vector<assistant_client::MediaMetadata> tracks_;
  size_t index_ = 0;
  assistant_client::PlaybackState state_ =
      assistant_client::PlaybackState::kIdle;
  int64_t position_ms_ = 0;          // Where the track was when it last moved.
  Clock::time_point playing_since_;  // While |state_| is kPlaying.
};

}  // namespace vantor_host

#endif  // HOST_MEDIA_PLAYLIST_H_
