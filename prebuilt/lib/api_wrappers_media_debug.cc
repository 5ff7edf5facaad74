// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Bridges of the media manager with its listeners and status snapshots, and
// of the debug interface with its handler callbacks and request contexts.
#include <vector>

#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/wrapper_base.h"

namespace assistant_client {
namespace internal_api {
namespace {

using C_Media = C_API_MediaManager;
using C_Listener = C_API_MediaManagerListener;
using C_Status = C_API_MediaStatus;
using C_Metadata = C_API_MediaMetadata;
using C_Debug = C_API_DebugInterface;
using C_Context = C_API_DebugHttpContext;
using Listener = MediaManager::Listener;
using Context = DebugHttpContext;

// ---- MediaManager and its listeners -----------------------------------------

class C_API_MediaManagerImpl
    : public StructWrapper<C_API_MediaManagerImpl, C_Media, MediaManager> {
 public:
  C_API_MediaManagerImpl(MediaManager* manager, int version)
      : StructWrapper(manager, /*owned=*/false, version) {
    c_api_.AddListener = [](C_Media* self, C_Listener* listener) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // The lock spans the call so listeners reach the manager in order.
        C_API_MediaManagerImpl* me = From(self);
        AutoLock lock(&me->lock_);
        me->listeners_.push_back(MediaManagerListenerFromC(listener));
        me->object_->AddListener(me->listeners_.back());
      });
    };
    Forward<&C_Media::Next, &MediaManager::Next>();
    Forward<&C_Media::Previous, &MediaManager::Previous>();
    Forward<&C_Media::Resume, &MediaManager::Resume>();
    Forward<&C_Media::Pause, &MediaManager::Pause>();
    Forward<&C_Media::StopAndClearPlaylist,
            &MediaManager::StopAndClearPlaylist>();
  }
  ~C_API_MediaManagerImpl() {
    for (Listener* listener : listeners_)
      delete listener;  // Destroys the peer's listener structure.
  }

 private:
  std::vector<Listener*> listeners_;  // Wrappers of the peer's listeners.
  Lock lock_;                         // Guards |listeners_|.
};

class MediaManagerImpl : public MediaManager, public PeerWrapper<C_Media> {
 public:
  explicit MediaManagerImpl(C_Media* c) : PeerWrapper(c) {}
  void AddListener(Listener* listener) override {
    Call<&C_Media::AddListener>(listener);
  }
  void Next() override { Call<&C_Media::Next>(); }
  void Previous() override { Call<&C_Media::Previous>(); }
  void Resume() override { Call<&C_Media::Resume>(); }
  void Pause() override { Call<&C_Media::Pause>(); }
  void StopAndClearPlaylist() override {
    Call<&C_Media::StopAndClearPlaylist>();
  }
};

class C_API_MediaManagerListenerImpl
    : public StructWrapper<C_API_MediaManagerListenerImpl,
                           C_Listener,
                           Listener> {
 public:
  C_API_MediaManagerListenerImpl(Listener* listener, int version)
      : StructWrapper(listener, /*owned=*/false, version) {
    c_api_.OnPlaybackStateChange = [](C_Listener* self, C_Status* status) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // The snapshot belongs to the receiver, which frees it after reading.
        MediaStatus local;
        MediaStatusFromC(status, &local);
        From(self)->object_->OnPlaybackStateChange(local);
        DestroyMediaStatusInC(status);
      });
    };
  }
};

class MediaManagerListener : public Listener, public PeerWrapper<C_Listener> {
 public:
  explicit MediaManagerListener(C_Listener* c) : PeerWrapper(c) {}
  void OnPlaybackStateChange(const MediaStatus& status) override {
    c_object_->OnPlaybackStateChange(c_object_,
                                     MediaStatusToC(status, peer_version()));
  }
};

// ---- Status and metadata snapshots ------------------------------------------

// Holds its own copy of the value; every getter answers from it.
class C_API_MediaMetadataImpl
    : public StructWrapper<C_API_MediaMetadataImpl, C_Metadata, MediaMetadata> {
 public:
  C_API_MediaMetadataImpl(const MediaMetadata& metadata, int version)
      : StructWrapper(new MediaMetadata(metadata), /*owned=*/true, version) {
    c_api_.GetAlbum = &Get<&MediaMetadata::album>;
    c_api_.GetAlbumArtUrl = &Get<&MediaMetadata::album_art_url>;
    c_api_.GetArtist = &Get<&MediaMetadata::artist>;
    c_api_.GetTitle = &Get<&MediaMetadata::title>;
    c_api_.GetDurationMs = [](C_Metadata* self) -> long long {
      return GuardSlot(__PRETTY_FUNCTION__, [&]() -> long long {
        return From(self)->object_->duration_ms;
      });
    };
  }

 private:
  template <std::string MediaMetadata::*Member>
  static void Get(C_Metadata* self, C_API_StringResult result) {
    GuardSlot(__PRETTY_FUNCTION__, [&] {
      AssignStringResult(From(self)->object_->*Member, result);
    });
  }
};

class C_API_MediaStatusImpl
    : public StructWrapper<C_API_MediaStatusImpl, C_Status, MediaStatus> {
 public:
  C_API_MediaStatusImpl(const MediaStatus& status, int version)
      : StructWrapper(new MediaStatus(status), /*owned=*/true, version) {
    c_api_.GetPlaybackState = [](C_Status* self) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        return static_cast<int>(From(self)->object_->playback_state);
      });
    };
    c_api_.GetTrackType = [](C_Status* self) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        return static_cast<int>(From(self)->object_->track_type);
      });
    };
    c_api_.GetPositionMs = [](C_Status* self) -> long long {
      return GuardSlot(__PRETTY_FUNCTION__, [&]() -> long long {
        return From(self)->object_->position_ms;
      });
    };
    c_api_.GetMediaMetadata = [](C_Status* self) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // A new snapshot at every call; the caller frees it.
        C_API_MediaStatusImpl* me = From(self);
        return MediaMetadataToC(me->object_->metadata, me->peer_api_version());
      });
    };
  }
};

// ---- DebugInterface and request contexts ------------------------------------

class C_API_DebugInterfaceImpl
    : public StructWrapper<C_API_DebugInterfaceImpl, C_Debug, DebugInterface> {
 public:
  C_API_DebugInterfaceImpl(DebugInterface* debug, int version)
      : StructWrapper(debug, /*owned=*/false, version) {
    c_api_.RegisterUriPath = [](C_Debug* self, C_API_String path,
                                C_API_DebugInterfaceHandlerCallback* callback,
                                int* methods, int method_count) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        std::vector<Context::Method> method_list;
        for (int i = 0; methods && i < method_count; ++i)
          method_list.push_back(static_cast<Context::Method>(methods[i]));
        From(self)->object_->RegisterUriPath(
            StringFromC(path), DebugInterfaceHandlerCallbackFromC(callback),
            method_list);
      });
    };
    Forward<&C_Debug::SetDebugVariable, &DebugInterface::SetDebugVariable>();
  }
};

class DebugInterfaceImpl : public DebugInterface, public PeerWrapper<C_Debug> {
 public:
  explicit DebugInterfaceImpl(C_Debug* c) : PeerWrapper(c) {}
  void RegisterUriPath(const std::string& path,
                       HandlerCallback callback,
                       const std::vector<Context::Method>& methods) override {
    std::vector<int> c_methods(methods.begin(), methods.end());
    c_object_->RegisterUriPath(
        c_object_, StringToC(path),
        DebugInterfaceHandlerCallbackToC(std::move(callback), peer_version()),
        c_methods.data(), static_cast<int>(c_methods.size()));
  }
  void SetDebugVariable(const std::string& name,
                        const std::string& value) override {
    Call<&C_Debug::SetDebugVariable>(name, value);
  }
};

class C_API_DebugHttpContextImpl
    : public StructWrapper<C_API_DebugHttpContextImpl, C_Context, Context> {
 public:
  C_API_DebugHttpContextImpl(Context* context, int version)
      : StructWrapper(context, /*owned=*/true, version) {
    Forward<&C_Context::GetMethod, &Context::GetMethod>();
    Forward<&C_Context::GetPath, &Context::GetPath>();
    Forward<&C_Context::GetData, &Context::GetData>();
    Forward<&C_Context::HasParam, &Context::HasParam>();
    c_api_.GetParamValue = &GetValue<&Context::GetParamValue>;
    Forward<&C_Context::HasHeader, &Context::HasHeader>();
    c_api_.GetHeaderValue = &GetValue<&Context::GetHeaderValue>;
    Forward<&C_Context::ReplyOk, &Context::ReplyOk>();
    Forward<&C_Context::ReplyBadRequest, &Context::ReplyBadRequest>();
    Forward<&C_Context::ReplyNotFound, &Context::ReplyNotFound>();
    Forward<&C_Context::ReplyInternalServerError,
            &Context::ReplyInternalServerError>();
    Forward<&C_Context::ReplyChunked, &Context::ReplyChunked>();
    Forward<&C_Context::IsClosed, &Context::IsClosed>();
  }

 private:
  // The value is delivered whatever the answer.
  template <bool (Context::*Getter)(const std::string&, std::string*) const>
  static int GetValue(C_Context* self,
                      C_API_String name,
                      C_API_StringResult result) {
    return GuardSlot(__PRETTY_FUNCTION__, [&] {
      std::string value;
      bool found = (From(self)->object_->*Getter)(StringFromC(name), &value);
      AssignStringResult(value, result);
      return found ? 1 : 0;
    });
  }
};

class DebugHttpContextImpl : public Context, public PeerWrapper<C_Context> {
 public:
  explicit DebugHttpContextImpl(C_Context* c) : PeerWrapper(c) {}
  Method GetMethod() const override {
    return Call<&C_Context::GetMethod, Method>();
  }
  std::string GetPath() const override {
    return Call<&C_Context::GetPath, std::string>();
  }
  std::string GetData() const override {
    return Call<&C_Context::GetData, std::string>();
  }
  bool HasParam(const std::string& name) const override {
    return Call<&C_Context::HasParam, bool>(name);
  }
  bool GetParamValue(const std::string& name,
                     std::string* value) const override {
    VANTOR_API_ASSERT(value);
    return c_object_->GetParamValue(c_object_, StringToC(name),
                                    StringResultFromCpp(value)) != 0;
  }
  bool HasHeader(const std::string& name) const override {
    return Call<&C_Context::HasHeader, bool>(name);
  }
  bool GetHeaderValue(const std::string& name,
                      std::string* value) const override {
    VANTOR_API_ASSERT(value);
    return c_object_->GetHeaderValue(c_object_, StringToC(name),
                                     StringResultFromCpp(value)) != 0;
  }
  void ReplyOk(const std::string& body) override {
    Call<&C_Context::ReplyOk>(body);
  }
  void ReplyBadRequest(const std::string& body) override {
    Call<&C_Context::ReplyBadRequest>(body);
  }
  void ReplyNotFound() override { Call<&C_Context::ReplyNotFound>(); }
  void ReplyInternalServerError(const std::string& body) override {
    Call<&C_Context::ReplyInternalServerError>(body);
  }
  void ReplyChunked(const std::string& body) override {
    Call<&C_Context::ReplyChunked>(body);
  }
  bool IsClosed() const override { return Call<&C_Context::IsClosed, bool>(); }
};

}  // namespace

C_API_MediaManager* MediaManagerToC(MediaManager* manager, int version) {
  return (new C_API_MediaManagerImpl(manager, version))->c_struct();
}
MediaManager* MediaManagerFromC(C_API_MediaManager* c) {
  return new MediaManagerImpl(c);
}
void DestroyMediaManagerInC(C_API_MediaManager* c) {
  DeleteStruct<C_API_MediaManagerImpl>(c);
}
void DestroyMediaManagerInC(MediaManager* manager) {
  delete manager;
}

C_API_MediaManagerListener* MediaManagerListenerToC(Listener* listener,
                                                    int version) {
  return (new C_API_MediaManagerListenerImpl(listener, version))->c_struct();
}
Listener* MediaManagerListenerFromC(C_API_MediaManagerListener* c) {
  return new MediaManagerListener(c);
}
void DestroyMediaManagerListenerInC(Listener* listener) {
  delete listener;
}

C_API_MediaStatus* MediaStatusToC(const MediaStatus& status, int version) {
  return (new C_API_MediaStatusImpl(status, version))->c_struct();
}

void MediaStatusFromC(C_API_MediaStatus* c, MediaStatus* out) {
  out->playback_state = static_cast<PlaybackState>(c->GetPlaybackState(c));
  out->track_type = static_cast<TrackType>(c->GetTrackType(c));
  out->position_ms = c->GetPositionMs(c);
  C_API_MediaMetadata* metadata = c->GetMediaMetadata(c);
  MediaMetadataFromC(metadata, &out->metadata);
  DestroyMediaMetadataInC(metadata);
}

void DestroyMediaStatusInC(C_API_MediaStatus* c) {
  VANTOR_API_ASSERT(c);
  c->Destroy(c);
}

C_API_MediaMetadata* MediaMetadataToC(const MediaMetadata& metadata,
                                      int version) {
  return (new C_API_MediaMetadataImpl(metadata, version))->c_struct();
}

void MediaMetadataFromC(C_API_MediaMetadata* c, MediaMetadata* out) {
  c->GetAlbum(c, StringResultFromCpp(&out->album));
  c->GetAlbumArtUrl(c, StringResultFromCpp(&out->album_art_url));
  c->GetArtist(c, StringResultFromCpp(&out->artist));
  c->GetTitle(c, StringResultFromCpp(&out->title));
  out->duration_ms = c->GetDurationMs(c);
}

void DestroyMediaMetadataInC(C_API_MediaMetadata* c) {
  VANTOR_API_ASSERT(c);
  c->Destroy(c);
}

C_API_DebugInterface* DebugInterfaceToC(DebugInterface* debug, int version) {
  return (new C_API_DebugInterfaceImpl(debug, version))->c_struct();
}
DebugInterface* DebugInterfaceFromC(C_API_DebugInterface* c) {
  return new DebugInterfaceImpl(c);
}
void DestroyDebugInterfaceInC(C_API_DebugInterface* c) {
  DeleteStruct<C_API_DebugInterfaceImpl>(c);
}
void DestroyDebugInterfaceInC(DebugInterface* debug) {
  delete debug;
}

C_API_DebugInterfaceHandlerCallback* DebugInterfaceHandlerCallbackToC(
    DebugInterface::HandlerCallback callback,
    int version) {
  return CallbackStructImpl<
      C_API_DebugInterfaceHandlerCallback,
      DebugInterface::HandlerCallback>::New(std::move(callback), version);
}
DebugInterface::HandlerCallback DebugInterfaceHandlerCallbackFromC(
    C_API_DebugInterfaceHandlerCallback* c) {
  return PeerCallback<C_API_DebugInterfaceHandlerCallback,
                      DebugInterface::HandlerCallback>::Wrap(c);
}

C_API_DebugHttpContext* DebugHttpContextToC(DebugHttpContext* context,
                                            int version) {
  return (new C_API_DebugHttpContextImpl(context, version))->c_struct();
}
DebugHttpContext* DebugHttpContextFromC(C_API_DebugHttpContext* c) {
  return new DebugHttpContextImpl(c);
}

}  // namespace internal_api
}  // namespace assistant_client
