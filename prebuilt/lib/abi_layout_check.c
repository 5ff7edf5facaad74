// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

/*
 * Compile-time proof of the C structures' layout.
 *
 * On the 32-bit target every number below is the one the host library was
 * built against. Elsewhere (64-bit test builds) the same rule must hold with
 * pointer-sized slots: slot i at 16 + i * sizeof(void*). Each STRUCT line
 * fixes the slot count through the size, and the SLOT lines that follow name
 * every index from 0 up, so a missing, extra, reordered or wrongly typed slot
 * fails the build.
 *
 * This translation unit defines nothing.
 */
#include <stddef.h>

#include "prebuilt/lib/c_api.h"

#define ABI_EXPECT(on_32_bit, otherwise) \
  (sizeof(void*) == 4 ? (size_t)(on_32_bit) : (size_t)(otherwise))

/* A value carrier or record field. */
#define FIELD(type, field, offset_32, offset_64)                            \
  _Static_assert(offsetof(type, field) == ABI_EXPECT(offset_32, offset_64), \
                 #type "." #field " is at the wrong offset")
#define SIZE(type, size_32, size_64)                           \
  _Static_assert(sizeof(type) == ABI_EXPECT(size_32, size_64), \
                 #type " has the wrong size")

/* An interface structure: the descriptor and |slot_count| slots. */
#define STRUCT(type, size_32, slot_count)                                     \
  _Static_assert((size_32) == 16 + 4 * (slot_count),                          \
                 #type ": size and slot count disagree");                     \
  _Static_assert(offsetof(type, descriptor) == 0,                             \
                 #type ": descriptor must come first");                       \
  _Static_assert(                                                             \
      sizeof(type) == ABI_EXPECT(size_32, 16 + (slot_count) * sizeof(void*)), \
      #type " has the wrong size")
#define SLOT(type, slot, offset_32, index)                                \
  _Static_assert((offset_32) == 16 + 4 * (index),                         \
                 #type "." #slot ": offset and index disagree");          \
  _Static_assert(sizeof(((type*)0)->slot) == sizeof(void*),               \
                 #type "." #slot " must be one pointer");                 \
  _Static_assert(offsetof(type, slot) ==                                  \
                     ABI_EXPECT(offset_32, 16 + (index) * sizeof(void*)), \
                 #type "." #slot " is at the wrong offset")

/* The descriptor is four 32-bit words on every target. */
SIZE(C_API_Descriptor, 16, 16);
FIELD(C_API_Descriptor, magic, 0, 0);
FIELD(C_API_Descriptor, impl_api_version, 4, 4);
FIELD(C_API_Descriptor, peer_api_version, 8, 8);
FIELD(C_API_Descriptor, reserved, 12, 12);
_Static_assert(C_API_DESCRIPTOR_MAGIC == 0x1ab11ab1u, "descriptor magic");
/* What the host and every plug-in have been built against so far. */
_Static_assert(VANTOR_API_VERSION == 0, "bridge API version");

/* Carriers: on 64-bit the uint32 sizes are padded to pointer alignment. */
SIZE(C_API_String, 8, 16);
FIELD(C_API_String, data, 0, 0);
FIELD(C_API_String, size, 4, 8);

SIZE(C_API_StringResult, 8, 16);
FIELD(C_API_StringResult, store, 0, 0);
FIELD(C_API_StringResult, target, 4, 8);

SIZE(C_API_PairOfStrings, 16, 32);
FIELD(C_API_PairOfStrings, first, 0, 0);
FIELD(C_API_PairOfStrings, second, 8, 16);

SIZE(C_API_Vector, 12, 24);
FIELD(C_API_Vector, size, 0, 0);
FIELD(C_API_Vector, get_element, 4, 8);
FIELD(C_API_Vector, vector, 8, 16);

SIZE(C_API_VectorResult, 12, 24);
FIELD(C_API_VectorResult, reserve, 0, 0);
FIELD(C_API_VectorResult, append, 4, 8);
FIELD(C_API_VectorResult, target, 8, 16);

/* Records of three 32-bit integers, the same everywhere. */
SIZE(C_API_BufferFormat, 12, 12);
FIELD(C_API_BufferFormat, sample_format, 0, 0);
FIELD(C_API_BufferFormat, sample_rate, 4, 4);
FIELD(C_API_BufferFormat, channel_layout, 8, 8);

SIZE(C_API_OutputStreamFormat, 12, 12);
FIELD(C_API_OutputStreamFormat, encoding, 0, 0);
FIELD(C_API_OutputStreamFormat, sample_rate, 4, 4);
FIELD(C_API_OutputStreamFormat, channels, 8, 8);

/* Interface structures. */
STRUCT(C_API_VantorEntrypoint, 32, 4);
SLOT(C_API_VantorEntrypoint, Destroy, 16, 0);
SLOT(C_API_VantorEntrypoint, NewAssistantManager, 20, 1);
SLOT(C_API_VantorEntrypoint, NewPlatformLoader, 24, 2);
SLOT(C_API_VantorEntrypoint, GetAssistantManagerInternal, 28, 3);

STRUCT(C_API_AssistantManager, 96, 20);
SLOT(C_API_AssistantManager, Destroy, 16, 0);
SLOT(C_API_AssistantManager, Start, 20, 1);
SLOT(C_API_AssistantManager, StartWithCallback, 24, 2);
SLOT(C_API_AssistantManager, RegisterDeviceActionHandler, 28, 3);
SLOT(C_API_AssistantManager, AddDeviceStateListener, 32, 4);
SLOT(C_API_AssistantManager, AddConversationStateListener, 36, 5);
SLOT(C_API_AssistantManager, EnableListening, 40, 6);
SLOT(C_API_AssistantManager, PlayAudioWithFocus, 44, 7);
SLOT(C_API_AssistantManager, StartAssistantInteraction, 48, 8);
SLOT(C_API_AssistantManager, StopAssistantInteraction, 52, 9);
SLOT(C_API_AssistantManager, StopTopInteraction, 56, 10);
SLOT(C_API_AssistantManager, StopAllInteractions, 60, 11);
SLOT(C_API_AssistantManager, StartPresetUpdateInteraction, 64, 12);
SLOT(C_API_AssistantManager, StartPresetExecuteInteraction, 68, 13);
SLOT(C_API_AssistantManager, GetDeviceId, 72, 14);
SLOT(C_API_AssistantManager, SetAuthTokens, 76, 15);
SLOT(C_API_AssistantManager, ResetAllDataAndShutdown, 80, 16);
SLOT(C_API_AssistantManager, StopAllTts, 84, 17);
SLOT(C_API_AssistantManager, GetDebugInterface, 88, 18);
SLOT(C_API_AssistantManager, GetMediaManager, 92, 19);

STRUCT(C_API_PlatformFactory, 44, 7);
SLOT(C_API_PlatformFactory, Destroy, 16, 0);
SLOT(C_API_PlatformFactory, NewAuthProvider, 20, 1);
SLOT(C_API_PlatformFactory, NewAudioInputProvider, 24, 2);
SLOT(C_API_PlatformFactory, NewAudioOutputProvider, 28, 3);
SLOT(C_API_PlatformFactory, NewFileProvider, 32, 4);
SLOT(C_API_PlatformFactory, NewNetworkProvider, 36, 5);
SLOT(C_API_PlatformFactory, NewSystemProvider, 40, 6);

STRUCT(C_API_DeviceActionHandler, 28, 3);
SLOT(C_API_DeviceActionHandler, Destroy, 16, 0);
SLOT(C_API_DeviceActionHandler, GetContext, 20, 1);
SLOT(C_API_DeviceActionHandler, Execute, 24, 2);

STRUCT(C_API_DeviceStateListener, 68, 13);
SLOT(C_API_DeviceStateListener, Destroy, 16, 0);
SLOT(C_API_DeviceStateListener, OnStartFinished, 20, 1);
SLOT(C_API_DeviceStateListener, OnAuthenticationReceived, 24, 2);
SLOT(C_API_DeviceStateListener, OnAlarmSoundingStarted, 28, 3);
SLOT(C_API_DeviceStateListener, OnAlarmSoundingFinished, 32, 4);
SLOT(C_API_DeviceStateListener, OnTimerSoundingStarted, 36, 5);
SLOT(C_API_DeviceStateListener, OnTimerSoundingFinished, 40, 6);
SLOT(C_API_DeviceStateListener, OnNotificationTrigger, 44, 7);
SLOT(C_API_DeviceStateListener, OnNotificationClear, 48, 8);
SLOT(C_API_DeviceStateListener, OnHoldStarted, 52, 9);
SLOT(C_API_DeviceStateListener, OnHoldFinished, 56, 10);
SLOT(C_API_DeviceStateListener, OnMicMutedChange, 60, 11);
SLOT(C_API_DeviceStateListener, OnStopTopInteraction, 64, 12);

STRUCT(C_API_ConversationStateListener, 40, 6);
SLOT(C_API_ConversationStateListener, Destroy, 16, 0);
SLOT(C_API_ConversationStateListener, OnConversationTurnStarted, 20, 1);
SLOT(C_API_ConversationStateListener, OnConversationTurnFinished, 24, 2);
SLOT(C_API_ConversationStateListener, OnRecognitionStateChanged, 28, 3);
SLOT(C_API_ConversationStateListener, OnRespondingStarted, 32, 4);
SLOT(C_API_ConversationStateListener, OnRespondingFinished, 36, 5);

STRUCT(C_API_PlatformApi, 44, 7);
SLOT(C_API_PlatformApi, Destroy, 16, 0);
SLOT(C_API_PlatformApi, GetAudioInputProvider, 20, 1);
SLOT(C_API_PlatformApi, GetAudioOutputProvider, 24, 2);
SLOT(C_API_PlatformApi, GetAuthProvider, 28, 3);
SLOT(C_API_PlatformApi, GetFileProvider, 32, 4);
SLOT(C_API_PlatformApi, GetNetworkProvider, 36, 5);
SLOT(C_API_PlatformApi, GetSystemProvider, 40, 6);

STRUCT(C_API_FileProvider, 44, 7);
SLOT(C_API_FileProvider, Destroy, 16, 0);
SLOT(C_API_FileProvider, ReadFile, 20, 1);
SLOT(C_API_FileProvider, WriteFile, 24, 2);
SLOT(C_API_FileProvider, ReadSecureFile, 28, 3);
SLOT(C_API_FileProvider, WriteSecureFile, 32, 4);
SLOT(C_API_FileProvider, GetResource, 36, 5);
SLOT(C_API_FileProvider, CleanAssistantData, 40, 6);

STRUCT(C_API_NetworkProvider, 28, 3);
SLOT(C_API_NetworkProvider, Destroy, 16, 0);
SLOT(C_API_NetworkProvider, GetConnectionStatus, 20, 1);
SLOT(C_API_NetworkProvider, GetMdnsResponder, 24, 2);

STRUCT(C_API_MdnsResponder, 32, 4);
SLOT(C_API_MdnsResponder, Destroy, 16, 0);
SLOT(C_API_MdnsResponder, AddService, 20, 1);
SLOT(C_API_MdnsResponder, RemoveService, 24, 2);
SLOT(C_API_MdnsResponder, UpdateTxtRecord, 28, 3);

STRUCT(C_API_MdnsResponderResultCallback, 24, 2);
SLOT(C_API_MdnsResponderResultCallback, Destroy, 16, 0);
SLOT(C_API_MdnsResponderResultCallback, Invoke, 20, 1);

STRUCT(C_API_SystemProvider, 44, 7);
SLOT(C_API_SystemProvider, Destroy, 16, 0);
SLOT(C_API_SystemProvider, GetMicMuteState, 20, 1);
SLOT(C_API_SystemProvider, RegisterMicMuteChangeCallback, 24, 2);
SLOT(C_API_SystemProvider, GetPowerManagerProvider, 28, 3);
SLOT(C_API_SystemProvider, GetBatteryState, 32, 4);
SLOT(C_API_SystemProvider, UpdateTimezoneAndLocale, 36, 5);
SLOT(C_API_SystemProvider, ProcessTpm, 40, 6);

STRUCT(C_API_PowerManagerProvider, 36, 5);
SLOT(C_API_PowerManagerProvider, Destroy, 16, 0);
SLOT(C_API_PowerManagerProvider, AddWakeAlarm, 20, 1);
SLOT(C_API_PowerManagerProvider, ExpireWakeAlarmNow, 24, 2);
SLOT(C_API_PowerManagerProvider, AcquireWakeLock, 28, 3);
SLOT(C_API_PowerManagerProvider, ReleaseWakeLock, 32, 4);

STRUCT(C_API_AuthProvider, 52, 9);
SLOT(C_API_AuthProvider, Destroy, 16, 0);
SLOT(C_API_AuthProvider, GetAuthClientId, 20, 1);
SLOT(C_API_AuthProvider, GetClientCertificateChain, 24, 2);
SLOT(C_API_AuthProvider, GetAttestationCertFingerprint, 28, 3);
SLOT(C_API_AuthProvider, CreateCredentialAttestationJwt, 32, 4);
SLOT(C_API_AuthProvider, CreateRefreshAssertionJwt, 36, 5);
SLOT(C_API_AuthProvider, CreateDeviceAttestationJwt, 40, 6);
SLOT(C_API_AuthProvider, RemoveCredentialKey, 44, 7);
SLOT(C_API_AuthProvider, Reset, 48, 8);

STRUCT(C_API_AuthProviderCredentialCallback, 24, 2);
SLOT(C_API_AuthProviderCredentialCallback, Destroy, 16, 0);
SLOT(C_API_AuthProviderCredentialCallback, Invoke, 20, 1);

STRUCT(C_API_AuthProviderAssertionCallback, 24, 2);
SLOT(C_API_AuthProviderAssertionCallback, Destroy, 16, 0);
SLOT(C_API_AuthProviderAssertionCallback, Invoke, 20, 1);

STRUCT(C_API_AudioBuffer, 36, 5);
SLOT(C_API_AudioBuffer, Destroy, 16, 0);
SLOT(C_API_AudioBuffer, GetFormat, 20, 1);
SLOT(C_API_AudioBuffer, GetData, 24, 2);
SLOT(C_API_AudioBuffer, GetWritableData, 28, 3);
SLOT(C_API_AudioBuffer, GetFrameCount, 32, 4);

STRUCT(C_API_AudioInput, 28, 3);
SLOT(C_API_AudioInput, GetFormat, 16, 0);
SLOT(C_API_AudioInput, AddObserver, 20, 1);
SLOT(C_API_AudioInput, RemoveObserver, 24, 2);

STRUCT(C_API_AudioInputObserver, 28, 3);
SLOT(C_API_AudioInputObserver, OnBufferAvailable, 16, 0);
SLOT(C_API_AudioInputObserver, OnError, 20, 1);
SLOT(C_API_AudioInputObserver, OnStopped, 24, 2);

STRUCT(C_API_AudioInputProvider, 28, 3);
SLOT(C_API_AudioInputProvider, Destroy, 16, 0);
SLOT(C_API_AudioInputProvider, GetAudioInput, 20, 1);
SLOT(C_API_AudioInputProvider, GetCurrentAudioTime, 24, 2);

STRUCT(C_API_AudioOutput, 32, 4);
SLOT(C_API_AudioOutput, Destroy, 16, 0);
SLOT(C_API_AudioOutput, GetType, 20, 1);
SLOT(C_API_AudioOutput, Start, 24, 2);
SLOT(C_API_AudioOutput, Stop, 28, 3);

STRUCT(C_API_AudioOutputDelegate, 32, 4);
SLOT(C_API_AudioOutputDelegate, FillBuffer, 16, 0);
SLOT(C_API_AudioOutputDelegate, OnEndOfStream, 20, 1);
SLOT(C_API_AudioOutputDelegate, OnError, 24, 2);
SLOT(C_API_AudioOutputDelegate, OnStopped, 28, 3);

STRUCT(C_API_AudioOutputProvider, 44, 7);
SLOT(C_API_AudioOutputProvider, Destroy, 16, 0);
SLOT(C_API_AudioOutputProvider, CreateAudioOutput, 20, 1);
SLOT(C_API_AudioOutputProvider, GetSupportedStreamEncodings, 24, 2);
SLOT(C_API_AudioOutputProvider, GetReferenceInput, 28, 3);
SLOT(C_API_AudioOutputProvider, SupportsPlaybackTimestamp, 32, 4);
SLOT(C_API_AudioOutputProvider, GetVolumeControl, 36, 5);
SLOT(C_API_AudioOutputProvider, RegisterAudioEmittingStateCallback, 40, 6);

STRUCT(C_API_VolumeControl, 44, 7);
SLOT(C_API_VolumeControl, SetAudioFocus, 16, 0);
SLOT(C_API_VolumeControl, GetSystemVolume, 20, 1);
SLOT(C_API_VolumeControl, SetSystemVolume, 24, 2);
SLOT(C_API_VolumeControl, GetAlarmVolume, 28, 3);
SLOT(C_API_VolumeControl, SetAlarmVolume, 32, 4);
SLOT(C_API_VolumeControl, IsSystemMuted, 36, 5);
SLOT(C_API_VolumeControl, SetSystemMuted, 40, 6);

STRUCT(C_API_MediaManager, 40, 6);
SLOT(C_API_MediaManager, AddListener, 16, 0);
SLOT(C_API_MediaManager, Next, 20, 1);
SLOT(C_API_MediaManager, Previous, 24, 2);
SLOT(C_API_MediaManager, Resume, 28, 3);
SLOT(C_API_MediaManager, Pause, 32, 4);
SLOT(C_API_MediaManager, StopAndClearPlaylist, 36, 5);

STRUCT(C_API_MediaManagerListener, 24, 2);
SLOT(C_API_MediaManagerListener, Destroy, 16, 0);
SLOT(C_API_MediaManagerListener, OnPlaybackStateChange, 20, 1);

STRUCT(C_API_MediaStatus, 36, 5);
SLOT(C_API_MediaStatus, Destroy, 16, 0);
SLOT(C_API_MediaStatus, GetPlaybackState, 20, 1);
SLOT(C_API_MediaStatus, GetTrackType, 24, 2);
SLOT(C_API_MediaStatus, GetPositionMs, 28, 3);
SLOT(C_API_MediaStatus, GetMediaMetadata, 32, 4);

STRUCT(C_API_MediaMetadata, 40, 6);
SLOT(C_API_MediaMetadata, Destroy, 16, 0);
SLOT(C_API_MediaMetadata, GetAlbum, 20, 1);
SLOT(C_API_MediaMetadata, GetAlbumArtUrl, 24, 2);
SLOT(C_API_MediaMetadata, GetArtist, 28, 3);
SLOT(C_API_MediaMetadata, GetTitle, 32, 4);
SLOT(C_API_MediaMetadata, GetDurationMs, 36, 5);

STRUCT(C_API_DebugInterface, 24, 2);
SLOT(C_API_DebugInterface, RegisterUriPath, 16, 0);
SLOT(C_API_DebugInterface, SetDebugVariable, 20, 1);

STRUCT(C_API_DebugHttpContext, 72, 14);
SLOT(C_API_DebugHttpContext, Destroy, 16, 0);
SLOT(C_API_DebugHttpContext, GetMethod, 20, 1);
SLOT(C_API_DebugHttpContext, GetPath, 24, 2);
SLOT(C_API_DebugHttpContext, GetData, 28, 3);
SLOT(C_API_DebugHttpContext, HasParam, 32, 4);
SLOT(C_API_DebugHttpContext, GetParamValue, 36, 5);
SLOT(C_API_DebugHttpContext, HasHeader, 40, 6);
SLOT(C_API_DebugHttpContext, GetHeaderValue, 44, 7);
SLOT(C_API_DebugHttpContext, ReplyOk, 48, 8);
SLOT(C_API_DebugHttpContext, ReplyBadRequest, 52, 9);
SLOT(C_API_DebugHttpContext, ReplyNotFound, 56, 10);
SLOT(C_API_DebugHttpContext, ReplyInternalServerError, 60, 11);
SLOT(C_API_DebugHttpContext, ReplyChunked, 64, 12);
SLOT(C_API_DebugHttpContext, IsClosed, 68, 13);

STRUCT(C_API_DebugInterfaceHandlerCallback, 24, 2);
SLOT(C_API_DebugInterfaceHandlerCallback, Destroy, 16, 0);
SLOT(C_API_DebugInterfaceHandlerCallback, Invoke, 20, 1);

STRUCT(C_API_Callback, 24, 2);
SLOT(C_API_Callback, Destroy, 16, 0);
SLOT(C_API_Callback, Invoke, 20, 1);
