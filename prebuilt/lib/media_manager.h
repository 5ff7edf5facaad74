// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Media playback control of a running assistant and notification of
// playback changes.
//
//   MediaManager* media = manager->GetMediaManager();  // Owned by |manager|.
//   media->AddListener(&listener);  // |listener| must outlive |manager|.
//   media->Pause();
//
// Implemented by the host library. Listener calls arrive on the host
// library's threads.
#ifndef PREBUILT_LIB_MEDIA_MANAGER_H_
#define PREBUILT_LIB_MEDIA_MANAGER_H_

#include <cstdint>
#include <string>

namespace assistant_client {

// Crosses between binaries as its number.
enum class PlaybackState : int {
  kIdle = 0,
  kPlaying = 1,
  kPaused = 2,
  kBuffering = 3,
  kStopped = 4,
  kError = 5,
};

// Crosses between binaries as its number.
enum class TrackType : int {
  kUnknown = 0,
  kMusic = 1,
  kPodcast = 2,
  kAudiobook = 3,
  kRadio = 4,
  kNews = 5,
};

struct MediaMetadata {
  std::string album;
  std::string album_art_url;
  std::string artist;
  std::string title;
  int64_t duration_ms = 0;
};

struct MediaStatus {
  PlaybackState playback_state = PlaybackState::kIdle;
  MediaMetadata metadata;
  TrackType track_type = TrackType::kUnknown;
  int64_t position_ms = 0;
};

class MediaManager {
 public:
  class Listener {
   public:
    Listener() = default;
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // |status| is borrowed for the call only.
    virtual void OnPlaybackStateChange(const MediaStatus& /*status*/) {}

    // After the operations: the destructor's vtable slots come last here.
    virtual ~Listener() = default;
  };

  MediaManager() = default;
  MediaManager(const MediaManager&) = delete;
  MediaManager& operator=(const MediaManager&) = delete;

  // |listener| is borrowed and must outlive the assistant manager; there is
  // no way to remove it.
  virtual void AddListener(Listener* listener) = 0;
  virtual void Next() = 0;
  virtual void Previous() = 0;
  virtual void Resume() = 0;
  virtual void Pause() = 0;
  virtual void StopAndClearPlaylist() = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~MediaManager() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_MEDIA_MANAGER_H_
