// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The C ABI bridge: turns interface objects into C structures (…ToC) and C
// structures into interface objects (…FromC).
//
//   C_API_NetworkProvider* c = NetworkProviderToC(provider, /*owned=*/true, 0);
//   NetworkProvider* peer = NetworkProviderFromC(c);  // calls through |c|
//   delete peer;                                       // c->Destroy(c)
//
// Rules shared by every interface:
// - …ToC never returns null and asserts a non-null object; …FromC asserts a
//   non-null structure. Neither unwraps: a round trip stacks two wrappers.
// - The structure built by …ToC is released through its Destroy slot, or by
//   Destroy<X>InC for structures without one. A wrapper from …FromC releases
//   the peer's structure (its Destroy slot) when deleted.
// - |version| is the API version of the side the structure is built for; it
//   lands in the descriptor's peer_api_version. This bridge is version 0.
// - Broken preconditions abort through the C library's assertion routine.
//
// The bridge has no threads; caches and listener lists are guarded by a lock
// per wrapper. Callbacks are not synchronized.
#ifndef PREBUILT_LIB_API_WRAPPERS_H_
#define PREBUILT_LIB_API_WRAPPERS_H_

#include <pthread.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "core/export.h"
#include "prebuilt/lib/assistant_client.h"
#include "prebuilt/lib/c_api.h"
#include "prebuilt/lib/vantor_entrypoint.h"

namespace assistant_client {
namespace internal_api {

// The API version this bridge writes into impl_api_version.
constexpr int kApiVersion = VANTOR_API_VERSION;

// ---- Descriptor -------------------------------------------------------------

void InitDescriptor(C_API_Descriptor* descriptor, int version);
// Asserts |s| is non-null and starts with the descriptor magic.
C_API_Descriptor* GetDescriptor(void* s);
int GetImplApiVersion(void* s);

// ---- Lock -------------------------------------------------------------------

// A non-recursive mutex whose failures are fatal.
class Lock {
 public:
  Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock();
  void Acquire();
  void Release();

 private:
  pthread_mutex_t mutex_;
};

class AutoLock {
 public:
  explicit AutoLock(Lock* lock) : lock_(lock) { lock_->Acquire(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { lock_->Release(); }

 private:
  Lock* const lock_;
};

// ---- Strings ----------------------------------------------------------------

// The conversions every crossing string pays for are inline.

// A view of |s|, valid while |s| lives unchanged.
inline C_API_String StringToC(const std::string& s) {
  return {s.data(), static_cast<uint32_t>(s.size())};
}
inline std::string StringFromC(const C_API_String& c) {
  // A peer's null view can only mean "nothing".
  return c.data ? std::string(c.data, c.size) : std::string();
}
C_API_StringResult StringResultFromCpp(std::string* out);
void StoreCStringInCpp(C_API_String value, void* target);
inline void AssignStringResult(const std::string& s,
                               C_API_StringResult result) {
  result.store(StringToC(s), result.target);
}

// ---- Volumes ----------------------------------------------------------------

// 0.5f -> 50; truncates toward zero, so 0.999f -> 99.
int PackVolume(float volume);
float UnpackVolume(int volume);

// ---- Entry point and assistant manager --------------------------------------

C_API_VantorEntrypoint* VantorEntrypointToC(VantorEntrypoint* entrypoint,
                                            int version);
VantorEntrypoint* VantorEntrypointFromC(C_API_VantorEntrypoint* c);

C_API_AssistantManager* AssistantManagerToC(AssistantManager* manager,
                                            int version);
AssistantManager* AssistantManagerFromC(C_API_AssistantManager* c);
// The host structure behind a manager made by AssistantManagerFromC.
C_API_AssistantManager* GetAssistantManagerBehindCpp(AssistantManager* manager);
// The object behind a structure made by AssistantManagerToC.
AssistantManager* GetAssistantManagerBehindC(C_API_AssistantManager* manager);

// ---- Platform factory and platform bundle -----------------------------------

C_API_PlatformFactory* PlatformFactoryToC(PlatformFactory* factory,
                                          int version);
PlatformFactory* PlatformFactoryFromC(C_API_PlatformFactory* c);
// Wraps the untyped result of a plug-in's NewVantorPlatformEntrypoint.
VANTOR_EXPORT PlatformFactory* NewPlatformFactoryForEntrypoint(void* entry);

C_API_PlatformApi* PlatformApiToC(PlatformApi* platform, int version);
PlatformApi* PlatformApiFromC(C_API_PlatformApi* c);
void DestroyPlatformApiInC(PlatformApi* platform);

// ---- Listeners --------------------------------------------------------------

C_API_DeviceActionHandler* DeviceActionHandlerToC(DeviceActionHandler* handler,
                                                  int version);
DeviceActionHandler* DeviceActionHandlerFromC(C_API_DeviceActionHandler* c);

C_API_DeviceStateListener* DeviceStateListenerToC(DeviceStateListener* listener,
                                                  int version);
DeviceStateListener* DeviceStateListenerFromC(C_API_DeviceStateListener* c);
void DestroyDeviceStateListenerInC(DeviceStateListener* listener);

C_API_ConversationStateListener* ConversationStateListenerToC(
    ConversationStateListener* listener,
    int version);
ConversationStateListener* ConversationStateListenerFromC(
    C_API_ConversationStateListener* c);
void DestroyConversationStateListenerInC(ConversationStateListener* listener);

// ---- Providers --------------------------------------------------------------

C_API_FileProvider* FileProviderToC(FileProvider* provider,
                                    bool owned,
                                    int version);
FileProvider* FileProviderFromC(C_API_FileProvider* c);
void DestroyFileProviderInC(C_API_FileProvider* c);

C_API_NetworkProvider* NetworkProviderToC(NetworkProvider* provider,
                                          bool owned,
                                          int version);
NetworkProvider* NetworkProviderFromC(C_API_NetworkProvider* c);
void DestroyNetworkProviderInC(C_API_NetworkProvider* c);

C_API_MdnsResponder* MdnsResponderToC(MdnsResponder* responder, int version);
MdnsResponder* MdnsResponderFromC(C_API_MdnsResponder* c);
void DestroyMdnsResponderInC(MdnsResponder* responder);

C_API_MdnsResponderResultCallback* MdnsResponderResultCallbackToC(
    MdnsResponder::ResultCallback callback,
    int version);
MdnsResponder::ResultCallback MdnsResponderResultCallbackFromC(
    C_API_MdnsResponderResultCallback* c);

C_API_SystemProvider* SystemProviderToC(SystemProvider* provider,
                                        bool owned,
                                        int version);
SystemProvider* SystemProviderFromC(C_API_SystemProvider* c);
void DestroySystemProviderInC(C_API_SystemProvider* c);

C_API_PowerManagerProvider* PowerManagerProviderToC(
    PowerManagerProvider* provider,
    int version);
PowerManagerProvider* PowerManagerProviderFromC(C_API_PowerManagerProvider* c);
void DestroyPowerManagerProviderInC(PowerManagerProvider* provider);

C_API_AuthProvider* AuthProviderToC(AuthProvider* provider,
                                    bool owned,
                                    int version);
AuthProvider* AuthProviderFromC(C_API_AuthProvider* c);
void DestroyAuthProviderInC(C_API_AuthProvider* c);

C_API_AuthProviderCredentialCallback* AuthProviderCredentialCallbackToC(
    AuthProvider::CredentialCallback callback,
    int version);
AuthProvider::CredentialCallback AuthProviderCredentialCallbackFromC(
    C_API_AuthProviderCredentialCallback* c);
C_API_AuthProviderAssertionCallback* AuthProviderAssertionCallbackToC(
    AuthProvider::AssertionCallback callback,
    int version);
AuthProvider::AssertionCallback AuthProviderAssertionCallbackFromC(
    C_API_AuthProviderAssertionCallback* c);

// ---- Audio ------------------------------------------------------------------

C_API_BufferFormat AudioBufferFormatToC(const BufferFormat& format);
BufferFormat AudioBufferFormatFromC(const C_API_BufferFormat& format);

C_API_AudioBuffer* AudioBufferToC(AudioBuffer* buffer, bool owned, int version);
AudioBuffer* AudioBufferFromC(C_API_AudioBuffer* c, bool owned);
void DestroyAudioBufferInC(C_API_AudioBuffer* c);
void DestroyAudioBufferInC(AudioBuffer* buffer);

C_API_AudioInput* AudioInputToC(AudioInput* input, int version);
AudioInput* AudioInputFromC(C_API_AudioInput* c);
void DestroyAudioInputInC(C_API_AudioInput* c);
void DestroyAudioInputInC(AudioInput* input);

C_API_AudioInputObserver* AudioInputObserverToC(AudioInput::Observer* observer,
                                                int version);
AudioInput::Observer* AudioInputObserverFromC(C_API_AudioInputObserver* c);
void DestroyAudioInputObserverInC(C_API_AudioInputObserver* c);
void DestroyAudioInputObserverInC(AudioInput::Observer* observer);
// Whether |c|, built by AudioInputObserverToC, wraps |observer|.
bool IsAudioInputObserverBackedByCpp(const C_API_AudioInputObserver* c,
                                     const AudioInput::Observer* observer);

C_API_AudioInputProvider* AudioInputProviderToC(AudioInputProvider* provider,
                                                bool owned,
                                                int version);
AudioInputProvider* AudioInputProviderFromC(C_API_AudioInputProvider* c);
void DestroyAudioInputProviderInC(C_API_AudioInputProvider* c);

C_API_AudioOutput* AudioOutputToC(AudioOutput* output, int version);
AudioOutput* AudioOutputFromC(C_API_AudioOutput* c);

C_API_AudioOutputDelegate* AudioOutputDelegateToC(
    AudioOutput::Delegate* delegate,
    int version);
AudioOutput::Delegate* AudioOutputDelegateFromC(C_API_AudioOutputDelegate* c);

C_API_AudioOutputProvider* AudioOutputProviderToC(AudioOutputProvider* provider,
                                                  bool owned,
                                                  int version);
AudioOutputProvider* AudioOutputProviderFromC(C_API_AudioOutputProvider* c);
void DestroyAudioOutputProviderInC(C_API_AudioOutputProvider* c);

C_API_VolumeControl* VolumeControlToC(VolumeControl* control, int version);
VolumeControl* VolumeControlFromC(C_API_VolumeControl* c);
void DestroyVolumeControlInC(C_API_VolumeControl* c);
void DestroyVolumeControlInC(VolumeControl* control);

// ---- Media and debug --------------------------------------------------------

C_API_MediaManager* MediaManagerToC(MediaManager* manager, int version);
MediaManager* MediaManagerFromC(C_API_MediaManager* c);
void DestroyMediaManagerInC(C_API_MediaManager* c);
void DestroyMediaManagerInC(MediaManager* manager);

C_API_MediaManagerListener* MediaManagerListenerToC(
    MediaManager::Listener* listener,
    int version);
MediaManager::Listener* MediaManagerListenerFromC(
    C_API_MediaManagerListener* c);
void DestroyMediaManagerListenerInC(MediaManager::Listener* listener);

// Snapshots: the structure holds a copy; FromC reads it through the getters.
C_API_MediaStatus* MediaStatusToC(const MediaStatus& status, int version);
void MediaStatusFromC(C_API_MediaStatus* c, MediaStatus* out);
void DestroyMediaStatusInC(C_API_MediaStatus* c);
C_API_MediaMetadata* MediaMetadataToC(const MediaMetadata& metadata,
                                      int version);
void MediaMetadataFromC(C_API_MediaMetadata* c, MediaMetadata* out);
void DestroyMediaMetadataInC(C_API_MediaMetadata* c);

C_API_DebugInterface* DebugInterfaceToC(DebugInterface* debug, int version);
DebugInterface* DebugInterfaceFromC(C_API_DebugInterface* c);
void DestroyDebugInterfaceInC(C_API_DebugInterface* c);
void DestroyDebugInterfaceInC(DebugInterface* debug);

C_API_DebugInterfaceHandlerCallback* DebugInterfaceHandlerCallbackToC(
    DebugInterface::HandlerCallback callback,
    int version);
DebugInterface::HandlerCallback DebugInterfaceHandlerCallbackFromC(
    C_API_DebugInterfaceHandlerCallback* c);

C_API_DebugHttpContext* DebugHttpContextToC(DebugHttpContext* context,
                                            int version);
DebugHttpContext* DebugHttpContextFromC(C_API_DebugHttpContext* c);

// ---- Sizes ------------------------------------------------------------------

// Every C structure of the ABI with its slot count (Destroy included).
#define VANTOR_C_API_STRUCTS(X)        \
  X(VantorEntrypoint, 4)               \
  X(AssistantManager, 20)              \
  X(PlatformFactory, 7)                \
  X(DeviceActionHandler, 3)            \
  X(DeviceStateListener, 13)           \
  X(ConversationStateListener, 6)      \
  X(PlatformApi, 7)                    \
  X(FileProvider, 7)                   \
  X(NetworkProvider, 3)                \
  X(MdnsResponder, 4)                  \
  X(MdnsResponderResultCallback, 2)    \
  X(SystemProvider, 7)                 \
  X(PowerManagerProvider, 5)           \
  X(AuthProvider, 9)                   \
  X(AuthProviderCredentialCallback, 2) \
  X(AuthProviderAssertionCallback, 2)  \
  X(AudioBuffer, 5)                    \
  X(AudioInput, 3)                     \
  X(AudioInputObserver, 3)             \
  X(AudioInputProvider, 3)             \
  X(AudioOutput, 4)                    \
  X(AudioOutputDelegate, 4)            \
  X(AudioOutputProvider, 7)            \
  X(VolumeControl, 7)                  \
  X(MediaManager, 6)                   \
  X(MediaManagerListener, 2)           \
  X(MediaStatus, 5)                    \
  X(MediaMetadata, 6)                  \
  X(DebugInterface, 2)                 \
  X(DebugHttpContext, 14)              \
  X(DebugInterfaceHandlerCallback, 2)  \
  X(Callback, 2)

#define VANTOR_DECLARE_STRUCT_SIZE(Name, slots) \
  int Get##Name##StructSizeForTest();
VANTOR_C_API_STRUCTS(VANTOR_DECLARE_STRUCT_SIZE)
#undef VANTOR_DECLARE_STRUCT_SIZE

}  // namespace internal_api
}  // namespace assistant_client

#endif  // PREBUILT_LIB_API_WRAPPERS_H_
