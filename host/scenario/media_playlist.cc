// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/scenario/media_playlist.h"

#include <algorithm>
#include <utility>

#include "core/logging.h"
#include "prebuilt/lib/enum_names.h"

namespace vantor_host {
namespace {

using assistant_client::MediaMetadata;
using assistant_client::MediaStatus;
using assistant_client::PlaybackState;
using assistant_client::TrackType;

MediaMetadata Track(const char* title, const char* artist, int64_t ms) {
  MediaMetadata track;
  track.title = title;
  track.artist = artist;
  track.album = "Development Host Sessions";
  track.album_art_url = "http://127.0.0.1/vantor-host/cover.png";
  track.duration_ms = ms;
  return track;
}

}  // namespace

HostMediaManager::HostMediaManager(TaskRunner* runner,
                                   std::vector<MediaMetadata> tracks)
    : runner_(runner), tracks_(std::move(tracks)) {}

std::vector<MediaMetadata> HostMediaManager::DefaultTracks() {
  return {Track("Morning Test Tone", "The Stand-ins", 184000),
          Track("Loopback Blues", "The Stand-ins", 201000),
          Track("Silence in 16 kHz", "Quiet Buffer", 97000)};
}

void HostMediaManager::AddListener(Listener* listener) {
  core::AutoLock lock(&mutex_);
  listeners_.push_back(listener);
  LOG(INFO) << "MediaManager::AddListener: " << listeners_.size()
            << " listener(s)";
}

void HostMediaManager::Next() {
  core::AutoLock lock(&mutex_);
  if (tracks_.empty() || state_ == PlaybackState::kStopped)
    return Unchanged("Next");
  if (index_ + 1 >= tracks_.size())
    return Move(PlaybackState::kStopped, index_, 0, "Next");
  Move(PlaybackState::kPlaying, index_ + 1, 0, "Next");
}

void HostMediaManager::Previous() {
  core::AutoLock lock(&mutex_);
  if (tracks_.empty())
    return Unchanged("Previous");
  Move(PlaybackState::kPlaying, index_ > 0 ? index_ - 1 : 0, 0, "Previous");
}

void HostMediaManager::Resume() {
  core::AutoLock lock(&mutex_);
  if (tracks_.empty() || state_ == PlaybackState::kPlaying)
    return Unchanged("Resume");
  // Paused: from where it was; idle or stopped: the track from its start.
  const int64_t from = state_ == PlaybackState::kPaused ? position_ms_ : 0;
  Move(PlaybackState::kPlaying, index_, from, "Resume");
}

void HostMediaManager::Pause() {
  core::AutoLock lock(&mutex_);
  if (state_ != PlaybackState::kPlaying)
    return Unchanged("Pause");
  Move(PlaybackState::kPaused, index_, StatusLocked().position_ms, "Pause");
}

void HostMediaManager::StopAndClearPlaylist() {
  core::AutoLock lock(&mutex_);
  if (tracks_.empty() && state_ == PlaybackState::kStopped)
    return Unchanged("StopAndClearPlaylist");
  tracks_.clear();
  Move(PlaybackState::kStopped, 0, 0, "StopAndClearPlaylist");
}

void HostMediaManager::Control(const std::string& control) {
  if (control == "next")
    Next();
  else if (control == "previous")
    Previous();
  else if (control == "resume")
    Resume();
  else if (control == "pause")
    Pause();
  else if (control == "stop")
    StopAndClearPlaylist();
  else
    LOG(WARNING) << "MediaManager: no control " << control;
}

MediaStatus HostMediaManager::GetStatus() {
  core::AutoLock lock(&mutex_);
  return StatusLocked();
}

MediaStatus HostMediaManager::StatusLocked() {
  MediaStatus status;
  status.playback_state = state_;
  status.position_ms = position_ms_;
  if (index_ < tracks_.size()) {
    status.metadata = tracks_[index_];
    status.track_type = TrackType::kMusic;
    if (state_ == PlaybackState::kPlaying) {
      status.position_ms +=
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                playing_since_)
              .count();
      status.position_ms =
          std::min(status.position_ms, status.metadata.duration_ms);
    }
  }
  return status;
}

void HostMediaManager::Unchanged(const char* control) {
  LOG(INFO) << "MediaManager::" << control << "(): still "
            << assistant_client::EnumName(state_);
}

void HostMediaManager::Move(PlaybackState state,
                            size_t index,
                            int64_t position_ms,
                            const char* control) {
  state_ = state;
  index_ = index;
  position_ms_ = position_ms;
  playing_since_ = Clock::now();
  const MediaStatus status = StatusLocked();
  if (status.metadata.title.empty()) {
    LOG(INFO) << "MediaManager::" << control
              << "(): " << assistant_client::EnumName(state);
  } else {
    LOG(INFO) << "MediaManager::" << control
              << "(): " << assistant_client::EnumName(state) << " \""
              << status.metadata.title << "\" by " << status.metadata.artist;
  }
  // Posted under the lock, so listeners hear the changes in their order.
  runner_->PostTask([listeners = listeners_, status] {
    for (Listener* listener : listeners)
      listener->OnPlaybackStateChange(status);
  });
}

}  // namespace vantor_host
