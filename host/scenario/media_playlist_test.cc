// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The playlist's moves and what its listeners hear of them.
#include "host/scenario/media_playlist.h"

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace vantor_host {
namespace {

using assistant_client::MediaManager;
using assistant_client::MediaMetadata;
using assistant_client::MediaStatus;
using assistant_client::PlaybackState;
using assistant_client::TrackType;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

MediaMetadata Track(const std::string& title) {
  MediaMetadata track;
  track.title = title;
  track.artist = "artist of " + title;
  track.album = "album";
  track.album_art_url = "http://art/" + title;
  track.duration_ms = 60000;
  return track;
}

// "playing a" for every change heard.
class Heard : public MediaManager::Listener {
 public:
  void OnPlaybackStateChange(const MediaStatus& status) override {
    static const char* const kStates[] = {"idle",      "playing", "paused",
                                          "buffering", "stopped", "error"};
    changes.push_back(
        std::string(kStates[static_cast<int>(status.playback_state)]) + " " +
        status.metadata.title);
    last = status;
  }
  std::vector<std::string> changes;
  MediaStatus last;
};

class MediaPlaylistTest : public ::testing::Test {
 protected:
  MediaPlaylistTest() : media_(&runner_, {Track("a"), Track("b"), Track("c")}) {
    media_.AddListener(&first_);
    media_.AddListener(&second_);
  }
  InlineTaskRunner runner_;
  HostMediaManager media_;
  Heard first_;
  Heard second_;
};

TEST_F(MediaPlaylistTest, ControlsMoveThroughThePlaylist) {
  EXPECT_EQ(PlaybackState::kIdle, media_.GetStatus().playback_state);
  media_.Resume();
  media_.Pause();
  media_.Resume();
  media_.Next();
  media_.Next();
  media_.Previous();
  media_.Next();
  media_.Next();  // Past the last track.
  EXPECT_THAT(first_.changes,
              ElementsAre("playing a", "paused a", "playing a", "playing b",
                          "playing c", "playing b", "playing c", "stopped c"));
  EXPECT_EQ(first_.changes, second_.changes);
  // A status carries the whole track.
  EXPECT_EQ(TrackType::kMusic, first_.last.track_type);
  EXPECT_EQ("artist of c", first_.last.metadata.artist);
  EXPECT_EQ("http://art/c", first_.last.metadata.album_art_url);
  EXPECT_EQ(60000, first_.last.metadata.duration_ms);
}

TEST_F(MediaPlaylistTest, PreviousOnTheFirstTrackStartsItOver) {
  media_.Previous();
  media_.Previous();
  EXPECT_THAT(first_.changes, ElementsAre("playing a", "playing a"));
  EXPECT_EQ(0, first_.last.position_ms);
}

TEST_F(MediaPlaylistTest, APausedTrackResumesWhereItWas) {
  media_.Resume();
  media_.Pause();
  const int64_t paused_at = first_.last.position_ms;
  EXPECT_GE(paused_at, 0);
  media_.Resume();
  EXPECT_EQ(paused_at, first_.last.position_ms);
  media_.Next();
  EXPECT_EQ(0, first_.last.position_ms);
}

TEST_F(MediaPlaylistTest, ControlsThatChangeNothingTellNobody) {
  media_.Pause();  // Idle.
  media_.Next();
  media_.Next();
  media_.Next();  // Stopped after the last track.
  media_.Next();
  media_.Resume();
  media_.Resume();  // Playing already.
  EXPECT_THAT(first_.changes,
              ElementsAre("playing b", "playing c", "stopped c", "playing c"));
}

TEST_F(MediaPlaylistTest, AClearedPlaylistHasNothingToPlay) {
  media_.Resume();
  media_.StopAndClearPlaylist();
  ASSERT_THAT(first_.changes, ElementsAre("playing a", "stopped "));
  EXPECT_EQ(TrackType::kUnknown, first_.last.track_type);
  EXPECT_EQ(0, first_.last.metadata.duration_ms);
  first_.changes.clear();
  media_.StopAndClearPlaylist();
  media_.Resume();
  media_.Next();
  media_.Previous();
  media_.Pause();
  EXPECT_THAT(first_.changes, IsEmpty());
}

TEST_F(MediaPlaylistTest, ControlsByName) {
  for (const char* control : {"resume", "next", "pause", "previous", "stop"})
    media_.Control(control);
  media_.Control("rewind");  // Unknown: nothing.
  EXPECT_THAT(first_.changes, ElementsAre("playing a", "playing b", "paused b",
                                          "playing a", "stopped "));
}

TEST(MediaPlaylistSchedulerTest, ListenersHearOnTheSchedulersThread) {
  Scheduler scheduler("VantorHost");
  HostMediaManager media(&scheduler, HostMediaManager::DefaultTracks());
  struct ThreadCheck : MediaManager::Listener {
    explicit ThreadCheck(Scheduler* s) : scheduler(s) {}
    void OnPlaybackStateChange(const MediaStatus&) override {
      on_scheduler = scheduler->IsCurrentThread();
      heard = true;
    }
    Scheduler* scheduler;
    std::atomic<bool> on_scheduler{false};
    std::atomic<bool> heard{false};
  } check(&scheduler);
  media.AddListener(&check);
  media.Resume();
  scheduler.Stop();  // Runs what is due.
  EXPECT_TRUE(check.heard);
  EXPECT_TRUE(check.on_scheduler);
}

}  // namespace
}  // namespace vantor_host
