// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

/*
 * The C structures through which every object crosses between the device
 * code, the host assistant library and the platform plug-ins.
 *
 * Binaries built apart from each other exchange interface objects only as
 * these structures: a 16-byte versioned descriptor followed by one function
 * pointer per operation. Field order, offsets and sizes are a binary
 * interface with the host library; abi_layout_check.c pins every one of them
 * for the 32-bit ARM target. Slots may only ever be appended.
 *
 * Every slot takes its own structure as |self| (callback structures take it
 * as void*). Strings cross as borrowed C_API_String views that are valid only
 * during the call that received them; the receiver copies exactly |size|
 * bytes, which may include NULs. A structure with a Destroy slot is released
 * through that slot exactly once by whoever received it.
 *
 * Plain C11 on purpose (also valid C++17): the host library need not share
 * our compiler, our C++ runtime or our class layouts.
 */
#ifndef PREBUILT_LIB_C_API_H_
#define PREBUILT_LIB_C_API_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define C_API_DESCRIPTOR_MAGIC 0x1ab11ab1u

/* The API version of this bridge: what it writes into impl_api_version of
 * every structure it builds and passes to the host's NewVantorEntrypoint.
 * A plug-in's NewVantorPlatformEntrypoint(version) receives the host's own;
 * returning null refuses a host it cannot serve. */
#define VANTOR_API_VERSION 0

typedef struct C_API_Descriptor C_API_Descriptor;
typedef struct C_API_String C_API_String;
typedef struct C_API_StringResult C_API_StringResult;
typedef struct C_API_PairOfStrings C_API_PairOfStrings;
typedef struct C_API_Vector C_API_Vector;
typedef struct C_API_VectorResult C_API_VectorResult;
typedef struct C_API_BufferFormat C_API_BufferFormat;
typedef struct C_API_OutputStreamFormat C_API_OutputStreamFormat;

typedef struct C_API_VantorEntrypoint C_API_VantorEntrypoint;
typedef struct C_API_AssistantManager C_API_AssistantManager;
typedef struct C_API_PlatformFactory C_API_PlatformFactory;
typedef struct C_API_DeviceActionHandler C_API_DeviceActionHandler;
typedef struct C_API_DeviceStateListener C_API_DeviceStateListener;
typedef struct C_API_ConversationStateListener C_API_ConversationStateListener;
typedef struct C_API_PlatformApi C_API_PlatformApi;
typedef struct C_API_FileProvider C_API_FileProvider;
typedef struct C_API_NetworkProvider C_API_NetworkProvider;
typedef struct C_API_MdnsResponder C_API_MdnsResponder;
typedef struct C_API_MdnsResponderResultCallback
    C_API_MdnsResponderResultCallback;
typedef struct C_API_SystemProvider C_API_SystemProvider;
typedef struct C_API_PowerManagerProvider C_API_PowerManagerProvider;
typedef struct C_API_AuthProvider C_API_AuthProvider;
typedef struct C_API_AuthProviderCredentialCallback
    C_API_AuthProviderCredentialCallback;
typedef struct C_API_AuthProviderAssertionCallback
    C_API_AuthProviderAssertionCallback;
typedef struct C_API_AudioBuffer C_API_AudioBuffer;
typedef struct C_API_AudioInput C_API_AudioInput;
typedef struct C_API_AudioInputObserver C_API_AudioInputObserver;
typedef struct C_API_AudioInputProvider C_API_AudioInputProvider;
typedef struct C_API_AudioOutput C_API_AudioOutput;
typedef struct C_API_AudioOutputDelegate C_API_AudioOutputDelegate;
typedef struct C_API_AudioOutputProvider C_API_AudioOutputProvider;
typedef struct C_API_VolumeControl C_API_VolumeControl;
typedef struct C_API_MediaManager C_API_MediaManager;
typedef struct C_API_MediaManagerListener C_API_MediaManagerListener;
typedef struct C_API_MediaStatus C_API_MediaStatus;
typedef struct C_API_MediaMetadata C_API_MediaMetadata;
typedef struct C_API_DebugInterface C_API_DebugInterface;
typedef struct C_API_DebugHttpContext C_API_DebugHttpContext;
typedef struct C_API_DebugInterfaceHandlerCallback
    C_API_DebugInterfaceHandlerCallback;
typedef struct C_API_Callback C_API_Callback;

/* ---- Descriptor, carriers and records ---------------------------------- */

/* Head of every interface structure. */
struct C_API_Descriptor {
  uint32_t magic;           /* Always C_API_DESCRIPTOR_MAGIC. */
  int32_t impl_api_version; /* API version of the side that built it. */
  int32_t peer_api_version; /* API version of the side it was built for. */
  /* 0 when built. The structure-side audio input keeps its wrapper of a
   * peer's observer here, so a peer's observer may carry a value. One 32-bit
   * word: a 64-bit build cannot store a pointer in it. */
  int32_t reserved;
};

/* A borrowed view: not NUL-terminated, valid only during the call. */
struct C_API_String {
  const char* data;
  uint32_t size; /* Length in bytes. */
};

/* Where a string-returning slot delivers its answer: the callee calls
 * |store| at most once; not calling it means the empty string. */
struct C_API_StringResult {
  void (*store)(C_API_String value, void* target);
  void* target;
};

struct C_API_PairOfStrings {
  C_API_String first;
  C_API_String second;
};

/* A borrowed read-only vector; |get_element| writes the C form of element
 * |index| to |out_element|. */
struct C_API_Vector {
  uint32_t size; /* Element count. */
  void (*get_element)(const void* vector, int index, void* out_element);
  const void* vector;
};

/* Where a vector-returning slot delivers its answer: one |reserve|, then one
 * |append| per element in order; |element| is borrowed for the call. */
struct C_API_VectorResult {
  void (*reserve)(unsigned int size, void* target);
  void (*append)(const void* element, void* target);
  void* target;
};

/* Mirrors assistant_client::BufferFormat member by member. */
struct C_API_BufferFormat {
  int32_t sample_format;
  int32_t sample_rate;
  int32_t channel_layout;
};

/* Mirrors assistant_client::OutputStreamFormat member by member. */
struct C_API_OutputStreamFormat {
  int32_t encoding;
  int32_t sample_rate;
  int32_t channels;
};

/* ---- Callbacks ----------------------------------------------------------- */

/* Placeholder slot type. The real signature is
 * void (*)(void* self, <the callback's arguments as C types>) and depends on
 * which Callback instance the structure carries; the bridge casts to that
 * type before calling. Never call through this type directly. */
typedef void (*C_API_CallbackInvoke)(void);

/* The receiver calls Invoke zero or more times (at most once for one-shot
 * callbacks) and Destroy exactly once. */
struct C_API_Callback {
  C_API_Descriptor descriptor;
  void (*Destroy)(void* self);
  C_API_CallbackInvoke Invoke;
};

struct C_API_MdnsResponderResultCallback {
  C_API_Descriptor descriptor;
  void (*Destroy)(void* self);
  void (*Invoke)(void* self, int result, C_API_String message);
};

struct C_API_AuthProviderCredentialCallback {
  C_API_Descriptor descriptor;
  void (*Destroy)(void* self);
  void (*Invoke)(void* self,
                 int error,
                 C_API_String first,
                 C_API_String second);
};

struct C_API_AuthProviderAssertionCallback {
  C_API_Descriptor descriptor;
  void (*Destroy)(void* self);
  void (*Invoke)(void* self, int error, C_API_String text);
};

/* Repeatable: Invoke once per request; the context passes to the handler. */
struct C_API_DebugInterfaceHandlerCallback {
  C_API_Descriptor descriptor;
  void (*Destroy)(void* self);
  void (*Invoke)(void* self, C_API_DebugHttpContext* context);
};

/* ---- Entry point and assistant manager ----------------------------------- */

struct C_API_VantorEntrypoint {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_VantorEntrypoint* self);
  /* |platform| may be null. */
  C_API_AssistantManager* (*NewAssistantManager)(C_API_VantorEntrypoint* self,
                                                 C_API_String config,
                                                 C_API_PlatformApi* platform);
  C_API_PlatformFactory* (*NewPlatformLoader)(C_API_VantorEntrypoint* self);
  /* Opaque pointer of the host library. */
  void* (*GetAssistantManagerInternal)(C_API_VantorEntrypoint* self,
                                       C_API_AssistantManager* manager);
};

/* Slot order differs from assistant_client::AssistantManager's: listeners,
 * GetDeviceId and StopAllTts sit where the host library put them. */
struct C_API_AssistantManager {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_AssistantManager* self);
  void (*Start)(C_API_AssistantManager* self);
  /* Carries a Callback<false>. */
  void (*StartWithCallback)(C_API_AssistantManager* self, C_API_Callback* done);
  void (*RegisterDeviceActionHandler)(C_API_AssistantManager* self,
                                      C_API_DeviceActionHandler* handler);
  void (*AddDeviceStateListener)(C_API_AssistantManager* self,
                                 C_API_DeviceStateListener* listener);
  void (*AddConversationStateListener)(
      C_API_AssistantManager* self,
      C_API_ConversationStateListener* listener);
  void (*EnableListening)(C_API_AssistantManager* self, int enable);
  /* |type| is an OutputStreamType; |done| carries a Callback<false, bool>. */
  void (*PlayAudioWithFocus)(C_API_AssistantManager* self,
                             unsigned short id,
                             int type,
                             C_API_Callback* done);
  void (*StartAssistantInteraction)(C_API_AssistantManager* self);
  void (*StopAssistantInteraction)(C_API_AssistantManager* self);
  void (*StopTopInteraction)(C_API_AssistantManager* self);
  void (*StopAllInteractions)(C_API_AssistantManager* self);
  void (*StartPresetUpdateInteraction)(C_API_AssistantManager* self,
                                       C_API_String preset);
  void (*StartPresetExecuteInteraction)(C_API_AssistantManager* self,
                                        C_API_String preset);
  void (*GetDeviceId)(C_API_AssistantManager* self, C_API_StringResult result);
  /* Elements are C_API_PairOfStrings. */
  void (*SetAuthTokens)(C_API_AssistantManager* self, C_API_Vector tokens);
  void (*ResetAllDataAndShutdown)(C_API_AssistantManager* self);
  void (*StopAllTts)(C_API_AssistantManager* self);
  /* Both answer non-null and stay owned by the manager. */
  C_API_DebugInterface* (*GetDebugInterface)(C_API_AssistantManager* self);
  C_API_MediaManager* (*GetMediaManager)(C_API_AssistantManager* self);
};

/* ---- Platform factory and platform bundle -------------------------------- */

/* Each New*Provider answers a new structure owned by the caller, or null when
 * the factory offers no provider of that kind. |platform| is non-null. */
struct C_API_PlatformFactory {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_PlatformFactory* self);
  C_API_AuthProvider* (*NewAuthProvider)(C_API_PlatformFactory* self,
                                         C_API_String config,
                                         C_API_PlatformApi* platform);
  C_API_AudioInputProvider* (*NewAudioInputProvider)(
      C_API_PlatformFactory* self,
      C_API_String config,
      C_API_PlatformApi* platform);
  C_API_AudioOutputProvider* (*NewAudioOutputProvider)(
      C_API_PlatformFactory* self,
      C_API_String config,
      C_API_PlatformApi* platform);
  C_API_FileProvider* (*NewFileProvider)(C_API_PlatformFactory* self,
                                         C_API_String config,
                                         C_API_PlatformApi* platform);
  C_API_NetworkProvider* (*NewNetworkProvider)(C_API_PlatformFactory* self,
                                               C_API_String config,
                                               C_API_PlatformApi* platform);
  C_API_SystemProvider* (*NewSystemProvider)(C_API_PlatformFactory* self,
                                             C_API_String config,
                                             C_API_PlatformApi* platform);
};

/* Each getter answers a new non-owning structure, never null; the caller
 * releases it with its Destroy slot and the provider stays alive. */
struct C_API_PlatformApi {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_PlatformApi* self);
  C_API_AudioInputProvider* (*GetAudioInputProvider)(C_API_PlatformApi* self);
  C_API_AudioOutputProvider* (*GetAudioOutputProvider)(C_API_PlatformApi* self);
  C_API_AuthProvider* (*GetAuthProvider)(C_API_PlatformApi* self);
  C_API_FileProvider* (*GetFileProvider)(C_API_PlatformApi* self);
  C_API_NetworkProvider* (*GetNetworkProvider)(C_API_PlatformApi* self);
  C_API_SystemProvider* (*GetSystemProvider)(C_API_PlatformApi* self);
};

/* ---- Listeners ----------------------------------------------------------- */

struct C_API_DeviceActionHandler {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_DeviceActionHandler* self);
  void (*GetContext)(C_API_DeviceActionHandler* self,
                     C_API_StringResult result);
  void (*Execute)(C_API_DeviceActionHandler* self, C_API_String action);
};

struct C_API_DeviceStateListener {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_DeviceStateListener* self);
  void (*OnStartFinished)(C_API_DeviceStateListener* self);
  void (*OnAuthenticationReceived)(C_API_DeviceStateListener* self,
                                   unsigned int value);
  void (*OnAlarmSoundingStarted)(C_API_DeviceStateListener* self);
  void (*OnAlarmSoundingFinished)(C_API_DeviceStateListener* self);
  void (*OnTimerSoundingStarted)(C_API_DeviceStateListener* self);
  void (*OnTimerSoundingFinished)(C_API_DeviceStateListener* self);
  void (*OnNotificationTrigger)(C_API_DeviceStateListener* self);
  void (*OnNotificationClear)(C_API_DeviceStateListener* self);
  void (*OnHoldStarted)(C_API_DeviceStateListener* self);
  void (*OnHoldFinished)(C_API_DeviceStateListener* self);
  void (*OnMicMutedChange)(C_API_DeviceStateListener* self, unsigned int value);
  void (*OnStopTopInteraction)(C_API_DeviceStateListener* self);
};

struct C_API_ConversationStateListener {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_ConversationStateListener* self);
  void (*OnConversationTurnStarted)(C_API_ConversationStateListener* self,
                                    unsigned int value);
  void (*OnConversationTurnFinished)(C_API_ConversationStateListener* self,
                                     unsigned int resolution);
  void (*OnRecognitionStateChanged)(C_API_ConversationStateListener* self,
                                    unsigned int state,
                                    C_API_String text_1,
                                    C_API_String text_2,
                                    C_API_String text_3);
  void (*OnRespondingStarted)(C_API_ConversationStateListener* self,
                              unsigned int value);
  void (*OnRespondingFinished)(C_API_ConversationStateListener* self);
};

/* ---- Providers ----------------------------------------------------------- */

/* The int results are truth values: non-zero is true. */
struct C_API_FileProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_FileProvider* self);
  void (*ReadFile)(C_API_FileProvider* self,
                   C_API_String path,
                   C_API_StringResult result);
  int (*WriteFile)(C_API_FileProvider* self,
                   C_API_String path,
                   C_API_String data);
  void (*ReadSecureFile)(C_API_FileProvider* self,
                         C_API_String path,
                         C_API_StringResult result);
  int (*WriteSecureFile)(C_API_FileProvider* self,
                         C_API_String path,
                         C_API_String data);
  int (*GetResource)(C_API_FileProvider* self,
                     uint16_t id,
                     C_API_StringResult result);
  void (*CleanAssistantData)(C_API_FileProvider* self);
};

struct C_API_NetworkProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_NetworkProvider* self);
  int (*GetConnectionStatus)(C_API_NetworkProvider* self);
  /* New non-owning structure at every call, or null; the caller destroys it. */
  C_API_MdnsResponder* (*GetMdnsResponder)(C_API_NetworkProvider* self);
};

/* |port| is in host byte order. The callback structures are never null and
 * pass to the responder. */
struct C_API_MdnsResponder {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_MdnsResponder* self);
  void (*AddService)(C_API_MdnsResponder* self,
                     C_API_String service_type,
                     C_API_String instance_name,
                     uint16_t port,
                     C_API_String txt_record,
                     C_API_MdnsResponderResultCallback* callback);
  void (*RemoveService)(C_API_MdnsResponder* self,
                        C_API_String service_type,
                        C_API_String instance_name);
  void (*UpdateTxtRecord)(C_API_MdnsResponder* self,
                          C_API_String service_type,
                          C_API_String instance_name,
                          C_API_String txt_record,
                          C_API_MdnsResponderResultCallback* callback);
};

struct C_API_SystemProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_SystemProvider* self);
  int (*GetMicMuteState)(C_API_SystemProvider* self);
  /* Carries a repeatable Callback<true>. */
  void (*RegisterMicMuteChangeCallback)(C_API_SystemProvider* self,
                                        C_API_Callback* callback);
  /* New non-owning structure at every call, or null. */
  C_API_PowerManagerProvider* (*GetPowerManagerProvider)(
      C_API_SystemProvider* self);
  /* |first| gets the state's bool as 1 or 0, |second| its int. */
  bool (*GetBatteryState)(C_API_SystemProvider* self, int* first, int* second);
  void (*UpdateTimezoneAndLocale)(C_API_SystemProvider* self,
                                  C_API_String timezone,
                                  C_API_String locale);
  /* |type| is a TpmProcessingType; |callback| carries a
   * Callback<false, std::string>. */
  void (*ProcessTpm)(C_API_SystemProvider* self,
                     unsigned int type,
                     C_API_String data,
                     C_API_Callback* callback);
};

struct C_API_PowerManagerProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_PowerManagerProvider* self);
  /* |callback| carries a Callback<false>. */
  long long (*AddWakeAlarm)(C_API_PowerManagerProvider* self,
                            unsigned long long first,
                            unsigned long long second,
                            C_API_Callback* callback);
  void (*ExpireWakeAlarmNow)(C_API_PowerManagerProvider* self,
                             unsigned long long alarm);
  void (*AcquireWakeLock)(C_API_PowerManagerProvider* self);
  void (*ReleaseWakeLock)(C_API_PowerManagerProvider* self);
};

/* |pairs| elements are C_API_PairOfStrings; |error| is an
 * AuthProvider::Error. The callback structures are never null. */
struct C_API_AuthProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_AuthProvider* self);
  void (*GetAuthClientId)(C_API_AuthProvider* self, C_API_StringResult result);
  /* Elements are C_API_String. */
  void (*GetClientCertificateChain)(C_API_AuthProvider* self,
                                    C_API_VectorResult result);
  void (*GetAttestationCertFingerprint)(C_API_AuthProvider* self,
                                        C_API_StringResult result);
  void (*CreateCredentialAttestationJwt)(
      C_API_AuthProvider* self,
      C_API_String text,
      C_API_Vector pairs,
      C_API_AuthProviderCredentialCallback* callback);
  void (*CreateRefreshAssertionJwt)(
      C_API_AuthProvider* self,
      C_API_String text,
      C_API_Vector pairs,
      C_API_AuthProviderAssertionCallback* callback);
  void (*CreateDeviceAttestationJwt)(
      C_API_AuthProvider* self,
      C_API_Vector pairs,
      C_API_AuthProviderAssertionCallback* callback);
  void (*RemoveCredentialKey)(C_API_AuthProvider* self, C_API_String key);
  void (*Reset)(C_API_AuthProvider* self);
};

/* ---- Audio --------------------------------------------------------------- */

struct C_API_AudioBuffer {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_AudioBuffer* self);
  void (*GetFormat)(C_API_AudioBuffer* self, C_API_BufferFormat* format);
  /* The owner's memory, not a copy. */
  const void* (*GetData)(C_API_AudioBuffer* self);
  void* (*GetWritableData)(C_API_AudioBuffer* self);
  int (*GetFrameCount)(C_API_AudioBuffer* self);
};

/* No Destroy: an input belongs to its provider. */
struct C_API_AudioInput {
  C_API_Descriptor descriptor;
  void (*GetFormat)(C_API_AudioInput* self, C_API_BufferFormat* format);
  void (*AddObserver)(C_API_AudioInput* self,
                      C_API_AudioInputObserver* observer);
  void (*RemoveObserver)(C_API_AudioInput* self,
                         C_API_AudioInputObserver* observer);
};

/* No Destroy: the structure frees itself once OnStopped has run, so OnStopped
 * is the last call it may receive. */
struct C_API_AudioInputObserver {
  C_API_Descriptor descriptor;
  /* |buffer| is borrowed for the call. */
  void (*OnBufferAvailable)(C_API_AudioInputObserver* self,
                            C_API_AudioBuffer* buffer,
                            long long timestamp);
  /* |error| is an AudioInput::Error. */
  void (*OnError)(C_API_AudioInputObserver* self, unsigned int error);
  void (*OnStopped)(C_API_AudioInputObserver* self);
};

struct C_API_AudioInputProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_AudioInputProvider* self);
  /* The same structure at every call; owned by the provider structure. */
  C_API_AudioInput* (*GetAudioInput)(C_API_AudioInputProvider* self);
  long long (*GetCurrentAudioTime)(C_API_AudioInputProvider* self);
};

struct C_API_AudioOutput {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_AudioOutput* self);
  /* An OutputStreamType. */
  int (*GetType)(C_API_AudioOutput* self);
  void (*Start)(C_API_AudioOutput* self, C_API_AudioOutputDelegate* delegate);
  void (*Stop)(C_API_AudioOutput* self);
};

/* No Destroy: frees itself once OnStopped has run. */
struct C_API_AudioOutputDelegate {
  C_API_Descriptor descriptor;
  /* |buffer| is the caller's memory; |callback| carries a
   * Callback<false, int>. */
  void (*FillBuffer)(C_API_AudioOutputDelegate* self,
                     void* buffer,
                     int size,
                     long long timestamp,
                     C_API_Callback* callback);
  void (*OnEndOfStream)(C_API_AudioOutputDelegate* self);
  /* |error| is an AudioOutput::Error. */
  void (*OnError)(C_API_AudioOutputDelegate* self, int error);
  void (*OnStopped)(C_API_AudioOutputDelegate* self);
};

struct C_API_AudioOutputProvider {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_AudioOutputProvider* self);
  /* |type| is an OutputStreamType; |format| is borrowed for the call. The
   * caller owns the result. */
  C_API_AudioOutput* (*CreateAudioOutput)(
      C_API_AudioOutputProvider* self,
      int type,
      const C_API_OutputStreamFormat* format);
  /* Elements are int (OutputStreamEncoding). */
  void (*GetSupportedStreamEncodings)(C_API_AudioOutputProvider* self,
                                      C_API_VectorResult result);
  /* May be null; owned by the provider structure. */
  C_API_AudioInput* (*GetReferenceInput)(C_API_AudioOutputProvider* self);
  int (*SupportsPlaybackTimestamp)(C_API_AudioOutputProvider* self);
  /* Owned by the provider structure. */
  C_API_VolumeControl* (*GetVolumeControl)(C_API_AudioOutputProvider* self);
  /* Carries a repeatable Callback<true, bool>. */
  void (*RegisterAudioEmittingStateCallback)(C_API_AudioOutputProvider* self,
                                             C_API_Callback* callback);
};

/* No Destroy: belongs to its audio output provider. Volumes are packed as
 * the float times 100, truncated. */
struct C_API_VolumeControl {
  C_API_Descriptor descriptor;
  /* |type| is an OutputStreamType. */
  void (*SetAudioFocus)(C_API_VolumeControl* self, unsigned int type);
  int (*GetSystemVolume)(C_API_VolumeControl* self);
  void (*SetSystemVolume)(C_API_VolumeControl* self, int volume, bool flag);
  int (*GetAlarmVolume)(C_API_VolumeControl* self);
  void (*SetAlarmVolume)(C_API_VolumeControl* self, int volume, bool flag);
  int (*IsSystemMuted)(C_API_VolumeControl* self);
  void (*SetSystemMuted)(C_API_VolumeControl* self, unsigned int muted);
};

/* ---- Media --------------------------------------------------------------- */

/* No Destroy: belongs to the assistant manager. */
struct C_API_MediaManager {
  C_API_Descriptor descriptor;
  /* |listener| passes to the media manager. */
  void (*AddListener)(C_API_MediaManager* self,
                      C_API_MediaManagerListener* listener);
  void (*Next)(C_API_MediaManager* self);
  void (*Previous)(C_API_MediaManager* self);
  void (*Resume)(C_API_MediaManager* self);
  void (*Pause)(C_API_MediaManager* self);
  void (*StopAndClearPlaylist)(C_API_MediaManager* self);
};

struct C_API_MediaManagerListener {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_MediaManagerListener* self);
  /* |status| passes to the listener, which destroys it after reading. */
  void (*OnPlaybackStateChange)(C_API_MediaManagerListener* self,
                                C_API_MediaStatus* status);
};

/* An immutable snapshot owned by its receiver. */
struct C_API_MediaStatus {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_MediaStatus* self);
  int (*GetPlaybackState)(C_API_MediaStatus* self);
  int (*GetTrackType)(C_API_MediaStatus* self);
  long long (*GetPositionMs)(C_API_MediaStatus* self);
  /* A new snapshot at every call, never null; the caller destroys it. */
  C_API_MediaMetadata* (*GetMediaMetadata)(C_API_MediaStatus* self);
};

/* An immutable snapshot owned by its receiver. */
struct C_API_MediaMetadata {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_MediaMetadata* self);
  void (*GetAlbum)(C_API_MediaMetadata* self, C_API_StringResult result);
  void (*GetAlbumArtUrl)(C_API_MediaMetadata* self, C_API_StringResult result);
  void (*GetArtist)(C_API_MediaMetadata* self, C_API_StringResult result);
  void (*GetTitle)(C_API_MediaMetadata* self, C_API_StringResult result);
  long long (*GetDurationMs)(C_API_MediaMetadata* self);
};

/* ---- Debug service ------------------------------------------------------- */

/* No Destroy: belongs to the assistant manager. */
struct C_API_DebugInterface {
  C_API_Descriptor descriptor;
  /* |methods| holds |method_count| DebugHttpContext::Method values, borrowed
   * for the call; |callback| passes to the debug interface. */
  void (*RegisterUriPath)(C_API_DebugInterface* self,
                          C_API_String path,
                          C_API_DebugInterfaceHandlerCallback* callback,
                          int* methods,
                          int method_count);
  void (*SetDebugVariable)(C_API_DebugInterface* self,
                           C_API_String name,
                           C_API_String value);
};

/* One request, owned by the handler it was given to. The int results of
 * HasParam, GetParamValue, HasHeader, GetHeaderValue and IsClosed are truth
 * values. */
struct C_API_DebugHttpContext {
  C_API_Descriptor descriptor;
  void (*Destroy)(C_API_DebugHttpContext* self);
  /* A DebugHttpContext::Method. */
  int (*GetMethod)(C_API_DebugHttpContext* self);
  void (*GetPath)(C_API_DebugHttpContext* self, C_API_StringResult result);
  void (*GetData)(C_API_DebugHttpContext* self, C_API_StringResult result);
  int (*HasParam)(C_API_DebugHttpContext* self, C_API_String name);
  int (*GetParamValue)(C_API_DebugHttpContext* self,
                       C_API_String name,
                       C_API_StringResult result);
  int (*HasHeader)(C_API_DebugHttpContext* self, C_API_String name);
  int (*GetHeaderValue)(C_API_DebugHttpContext* self,
                        C_API_String name,
                        C_API_StringResult result);
  void (*ReplyOk)(C_API_DebugHttpContext* self, C_API_String body);
  void (*ReplyBadRequest)(C_API_DebugHttpContext* self, C_API_String body);
  void (*ReplyNotFound)(C_API_DebugHttpContext* self);
  void (*ReplyInternalServerError)(C_API_DebugHttpContext* self,
                                   C_API_String body);
  void (*ReplyChunked)(C_API_DebugHttpContext* self, C_API_String body);
  int (*IsClosed)(C_API_DebugHttpContext* self);
};

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* PREBUILT_LIB_C_API_H_ */
