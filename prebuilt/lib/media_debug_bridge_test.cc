// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The media manager with its listeners and status snapshots, and the debug
// interface with its handler callbacks and request contexts.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"
#include "testing/death_test_style.h"

namespace assistant_client {
namespace {

using namespace internal_api;
using namespace testing_util;
using namespace std::string_literals;
using Method = DebugHttpContext::Method;

// ---- Media ------------------------------------------------------------------

class FakeMediaManager : public MediaManager {
 public:
  void AddListener(Listener* listener) override {
    listeners.push_back(listener);
  }
  void Next() override { controls.push_back("next"); }
  void Previous() override { controls.push_back("previous"); }
  void Resume() override { controls.push_back("resume"); }
  void Pause() override { controls.push_back("pause"); }
  void StopAndClearPlaylist() override { controls.push_back("stop"); }

  std::vector<Listener*> listeners;
  std::vector<std::string> controls;
};

class RecordingListener : public MediaManager::Listener {
 public:
  void OnPlaybackStateChange(const MediaStatus& status) override {
    statuses.push_back(status);
  }
  std::vector<MediaStatus> statuses;
};

MediaStatus SampleStatus() {
  MediaStatus status;
  status.playback_state = PlaybackState::kBuffering;
  status.track_type = TrackType::kPodcast;
  status.position_ms = -(1ll << 40);
  status.metadata.album = "Al\0bum"s;
  status.metadata.album_art_url = "";
  status.metadata.artist = "Artist";
  status.metadata.title = "\0"s;
  status.metadata.duration_ms = 0;
  return status;
}

void ExpectSameMetadata(const MediaMetadata& actual,
                        const MediaMetadata& expected) {
  EXPECT_EQ(actual.album, expected.album);
  EXPECT_EQ(actual.album_art_url, expected.album_art_url);
  EXPECT_EQ(actual.artist, expected.artist);
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.duration_ms, expected.duration_ms);
}

void ExpectSameStatus(const MediaStatus& actual, const MediaStatus& expected) {
  EXPECT_EQ(actual.playback_state, expected.playback_state);
  EXPECT_EQ(actual.track_type, expected.track_type);
  EXPECT_EQ(actual.position_ms, expected.position_ms);
  ExpectSameMetadata(actual.metadata, expected.metadata);
}

TEST(MediaBridgeTest, ControlsAndListenersCrossAndStatusArrivesWhole) {
  FakeMediaManager media;
  C_API_MediaManager* c = MediaManagerToC(&media, 0);
  std::unique_ptr<MediaManager> wrapper(MediaManagerFromC(c));
  wrapper->Next();
  wrapper->Previous();
  wrapper->Resume();
  wrapper->Pause();
  wrapper->StopAndClearPlaylist();
  EXPECT_EQ(media.controls,
            (std::vector<std::string>{"next", "previous", "resume", "pause",
                                      "stop"}));

  RecordingListener listener;
  wrapper->AddListener(&listener);
  ASSERT_EQ(media.listeners.size(), 1u);
  MediaStatus other;
  other.metadata.duration_ms = 1ll << 36;
  media.listeners[0]->OnPlaybackStateChange(SampleStatus());
  media.listeners[0]->OnPlaybackStateChange(other);
  ASSERT_EQ(listener.statuses.size(), 2u);
  ExpectSameStatus(listener.statuses[0], SampleStatus());
  ExpectSameStatus(listener.statuses[1], other);

  wrapper.reset();  // Calls nothing on the peer.
  DestroyMediaManagerInC(c);
}

TEST(MediaBridgeTest, SnapshotsAreWholeCopiesOwnedByTheReceiver) {
  C_API_MediaStatus* c = MediaStatusToC(SampleStatus(), 4);
  EXPECT_EQ(c->descriptor.peer_api_version, 4);
  MediaStatus out;
  MediaStatusFromC(c, &out);
  ExpectSameStatus(out, SampleStatus());

  // Every call builds a new metadata structure; each stands alone.
  C_API_MediaMetadata* first = c->GetMediaMetadata(c);
  C_API_MediaMetadata* second = c->GetMediaMetadata(c);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->descriptor.peer_api_version, 4);
  DestroyMediaMetadataInC(first);
  DestroyMediaStatusInC(c);
  MediaMetadata metadata;
  MediaMetadataFromC(second, &metadata);
  ExpectSameMetadata(metadata, SampleStatus().metadata);
  DestroyMediaMetadataInC(second);
}

TEST(MediaBridgeTest, StructureSideListenerReadsAndFreesTheSnapshot) {
  RecordingListener listener;
  C_API_MediaManagerListener* c = MediaManagerListenerToC(&listener, 0);
  c->OnPlaybackStateChange(c, MediaStatusToC(SampleStatus(), 0));
  ASSERT_EQ(listener.statuses.size(), 1u);
  ExpectSameStatus(listener.statuses[0], SampleStatus());
  c->Destroy(c);  // Leaves the listener alone.
  DestroyMediaManagerListenerInC(nullptr);
}

TEST(MediaBridgeTest, FreeingTheManagerReleasesListenersInRegistrationOrder) {
  EventLog log;
  FakeMediaManager media;
  RecordingListener listener;
  C_API_MediaManager* c = MediaManagerToC(&media, 0);
  for (const char* name : {"first", "second"}) {
    C_API_MediaManagerListener* l = MediaManagerListenerToC(&listener, 0);
    DestroySpy::Watch(l, &log, name);
    c->AddListener(c, l);
  }
  ASSERT_EQ(media.listeners.size(), 2u);
  media.listeners[1]->OnPlaybackStateChange(MediaStatus());
  EXPECT_EQ(listener.statuses.size(), 1u);
  EXPECT_TRUE(log.entries().empty());
  DestroyMediaManagerInC(c);
  EXPECT_EQ(log.entries(), (std::vector<std::string>{"first", "second"}));
}

// ---- Debug ------------------------------------------------------------------

class FakeContext : public DebugHttpContext, private DeletionCounted {
 public:
  FakeContext(Deletions* d, std::string path)
      : DeletionCounted(d), path_(std::move(path)) {}
  Method GetMethod() const override { return kPut; }
  std::string GetPath() const override { return path_; }
  std::string GetData() const override { return "da\0ta"s; }
  bool HasParam(const std::string& name) const override {
    return params.count(name) != 0;
  }
  bool GetParamValue(const std::string& name,
                     std::string* value) const override {
    auto it = params.find(name);
    if (it == params.end())
      return false;
    *value = it->second;
    return true;
  }
  bool HasHeader(const std::string& name) const override {
    return headers.count(name) != 0;
  }
  bool GetHeaderValue(const std::string& name,
                      std::string* value) const override {
    auto it = headers.find(name);
    if (it == headers.end())
      return false;
    *value = it->second;
    return true;
  }
  void ReplyOk(const std::string& body) override {
    replies.push_back("200 " + body);
  }
  void ReplyBadRequest(const std::string& body) override {
    replies.push_back("400 " + body);
  }
  void ReplyNotFound() override { replies.push_back("404"); }
  void ReplyInternalServerError(const std::string& body) override {
    replies.push_back("500 " + body);
  }
  void ReplyChunked(const std::string& body) override {
    replies.push_back("chunk " + body);
  }
  bool IsClosed() const override { return closed; }

  std::map<std::string, std::string> params;
  std::map<std::string, std::string> headers;
  std::vector<std::string> replies;
  bool closed = false;

 private:
  const std::string path_;
};

TEST(DebugContextBridgeTest, EveryOperationCrossesAndDeleteDestroysTheContext) {
  Deletions deletions;
  auto* fake = new FakeContext(&deletions, "/a\0"s);
  fake->params["k"] = "v\0"s;
  fake->headers["Host"] = "device";
  std::unique_ptr<DebugHttpContext> context(
      DebugHttpContextFromC(DebugHttpContextToC(fake, 0)));
  EXPECT_EQ(context->GetMethod(), DebugHttpContext::kPut);
  EXPECT_EQ(context->GetPath(), "/a\0"s);
  EXPECT_EQ(context->GetData(), "da\0ta"s);
  EXPECT_TRUE(context->HasParam("k"));
  EXPECT_FALSE(context->HasParam("k\0"s));

  std::string value = "stale";
  EXPECT_FALSE(context->GetParamValue("missing", &value));
  EXPECT_EQ(value, "");  // The empty text was still stored.
  EXPECT_TRUE(context->GetParamValue("k", &value));
  EXPECT_EQ(value, "v\0"s);
  EXPECT_TRUE(context->HasHeader("Host"));
  EXPECT_FALSE(context->HasHeader("host"));
  value = "stale";
  EXPECT_FALSE(context->GetHeaderValue("Missing", &value));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(context->GetHeaderValue("Host", &value));
  EXPECT_EQ(value, "device");

  context->ReplyOk("b\0dy"s);
  context->ReplyBadRequest("");
  context->ReplyNotFound();
  context->ReplyInternalServerError("e");
  context->ReplyChunked("c");
  EXPECT_EQ(fake->replies,
            (std::vector<std::string>{"200 b\0dy"s, "400 ", "404", "500 e",
                                      "chunk c"}));
  EXPECT_FALSE(context->IsClosed());
  fake->closed = true;
  EXPECT_TRUE(context->IsClosed());

  EXPECT_EQ(deletions.count, 0);
  context.reset();
  EXPECT_EQ(deletions.count, 1);
}

class FakeDebugInterface : public DebugInterface {
 public:
  struct Registration {
    std::string path;
    HandlerCallback handler;
    std::vector<Method> methods;
  };
  void RegisterUriPath(const std::string& path,
                       HandlerCallback handler,
                       const std::vector<Method>& methods) override {
    registrations.push_back({path, std::move(handler), methods});
  }
  void SetDebugVariable(const std::string& name,
                        const std::string& value) override {
    variables.push_back(name + "=" + value);
  }

  std::vector<Registration> registrations;
  std::vector<std::string> variables;
};

TEST(DebugInterfaceBridgeTest, RegistrationsAndVariablesCross) {
  FakeDebugInterface debug;
  C_API_DebugInterface* c = DebugInterfaceToC(&debug, 0);
  std::unique_ptr<DebugInterface> wrapper(DebugInterfaceFromC(c));
  wrapper->RegisterUriPath("/st\0at"s,
                           [](DebugHttpContext* ctx) { delete ctx; },
                           {DebugHttpContext::kGet, DebugHttpContext::kHead});
  wrapper->RegisterUriPath("/none", [](DebugHttpContext* ctx) { delete ctx; },
                           {});
  wrapper->SetDebugVariable("n\0"s, "");
  ASSERT_EQ(debug.registrations.size(), 2u);
  EXPECT_EQ(debug.registrations[0].path, "/st\0at"s);
  EXPECT_EQ(
      debug.registrations[0].methods,
      (std::vector<Method>{DebugHttpContext::kGet, DebugHttpContext::kHead}));
  EXPECT_EQ(debug.registrations[1].path, "/none");
  EXPECT_TRUE(debug.registrations[1].methods.empty());
  EXPECT_EQ(debug.variables, std::vector<std::string>{"n\0="s});
  wrapper.reset();
  DestroyDebugInterfaceInC(c);
}

TEST(DebugInterfaceBridgeTest, HandlerGetsADistinctContextPerRequest) {
  FakeDebugInterface debug;
  C_API_DebugInterface* c = DebugInterfaceToC(&debug, 0);
  std::unique_ptr<DebugInterface> wrapper(DebugInterfaceFromC(c));
  CallCounts handler_state;
  std::vector<std::unique_ptr<DebugHttpContext>> received;
  wrapper->RegisterUriPath(
      "/h",
      [&, probe = Probe(&handler_state)](DebugHttpContext* context) mutable {
        probe();
        context->ReplyOk(context->GetPath());
        received.emplace_back(context);  // The handler owns each context.
      },
      {DebugHttpContext::kPost});

  Deletions deletions;
  std::vector<FakeContext*> requests;
  for (int i = 0; i < 3; ++i) {
    requests.push_back(new FakeContext(&deletions, "/h/" + std::to_string(i)));
    debug.registrations[0].handler(requests.back());
  }
  ASSERT_EQ(received.size(), 3u);
  EXPECT_NE(received[0].get(), received[1].get());
  EXPECT_NE(received[1].get(), received[2].get());
  EXPECT_NE(received[0].get(), received[2].get());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(requests[i]->replies,
              std::vector<std::string>{"200 /h/" + std::to_string(i)});
  }
  EXPECT_EQ(deletions.count, 0);
  received.erase(received.begin() + 1);
  EXPECT_EQ(deletions.count, 1);
  received.clear();
  EXPECT_EQ(deletions.count, 3);

  EXPECT_EQ(handler_state.runs, 3);
  EXPECT_EQ(handler_state.releases, 0);
  debug.registrations.clear();  // The debug service lets go of the handler.
  EXPECT_EQ(handler_state.releases, 1);
  wrapper.reset();
  DestroyDebugInterfaceInC(c);
}

// A peer's handler callback structure with implementation version 7.
struct FakePeerHandler {
  C_API_DebugInterfaceHandlerCallback c;
  std::vector<int> context_versions;
  int destroys = 0;

  FakePeerHandler() {
    c.descriptor = {C_API_DESCRIPTOR_MAGIC, 7, 0, 0};
    c.Destroy = [](void* self) {
      ++static_cast<FakePeerHandler*>(self)->destroys;
    };
    c.Invoke = [](void* self, C_API_DebugHttpContext* context) {
      static_cast<FakePeerHandler*>(self)->context_versions.push_back(
          context->descriptor.peer_api_version);
      context->Destroy(context);  // The handler owns each context.
    };
  }
};

TEST(DebugInterfaceBridgeTest, ContextsBuiltForAPeerHandlerCarryItsVersion) {
  FakePeerHandler peer;
  Deletions deletions;
  {
    DebugInterface::HandlerCallback handler =
        DebugInterfaceHandlerCallbackFromC(&peer.c);
    handler(new FakeContext(&deletions, "/1"));
    handler(new FakeContext(&deletions, "/2"));
    EXPECT_EQ(peer.destroys, 0);
  }
  EXPECT_EQ(peer.context_versions, (std::vector<int>{7, 7}));
  EXPECT_EQ(deletions.count, 2);
  EXPECT_EQ(peer.destroys, 1);
}

TEST(DebugInterfaceBridgeDeathTest, NullValueTargetOrHandlerStructureAborts) {
  testing_support::UseFreshDeathTestProcesses();
  Deletions deletions;
  std::unique_ptr<DebugHttpContext> context(DebugHttpContextFromC(
      DebugHttpContextToC(new FakeContext(&deletions, "/"), 0)));
  // Opaque to the optimizer, which would otherwise follow the null inward.
  std::string* volatile null_target = nullptr;
  EXPECT_BRIDGE_DEATH(context->GetParamValue("k", null_target));
  EXPECT_BRIDGE_DEATH(context->GetHeaderValue("k", null_target));

  FakeDebugInterface debug;
  C_API_DebugInterface* c = DebugInterfaceToC(&debug, 0);
  EXPECT_BRIDGE_DEATH(
      c->RegisterUriPath(c, StringToC("/"), nullptr, nullptr, 0));
  DestroyDebugInterfaceInC(c);
}

}  // namespace
}  // namespace assistant_client
