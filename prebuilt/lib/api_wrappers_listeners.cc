// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Bridges of the device action handler and the two listener kinds.
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/wrapper_base.h"

namespace assistant_client {
namespace internal_api {
namespace {

using C_Handler = C_API_DeviceActionHandler;
using C_Device = C_API_DeviceStateListener;
using C_Conversation = C_API_ConversationStateListener;
using D = DeviceStateListener;
using Conversation = ConversationStateListener;

class C_API_DeviceActionHandlerImpl
    : public StructWrapper<C_API_DeviceActionHandlerImpl,
                           C_Handler,
                           DeviceActionHandler> {
 public:
  C_API_DeviceActionHandlerImpl(DeviceActionHandler* handler, int version)
      : StructWrapper(handler, /*owned=*/true, version) {
    Forward<&C_Handler::GetContext, &DeviceActionHandler::GetContext>();
    Forward<&C_Handler::Execute, &DeviceActionHandler::Execute>();
  }
};

class DeviceActionHandlerImpl : public DeviceActionHandler,
                                public PeerWrapper<C_Handler> {
 public:
  explicit DeviceActionHandlerImpl(C_Handler* c) : PeerWrapper(c) {}
  std::string GetContext() const override {
    return Call<&C_Handler::GetContext, std::string>();
  }
  void Execute(const std::string& action) override {
    Call<&C_Handler::Execute>(action);
  }
};

class C_API_DeviceStateListenerImpl
    : public StructWrapper<C_API_DeviceStateListenerImpl, C_Device, D> {
 public:
  C_API_DeviceStateListenerImpl(D* listener, int version)
      : StructWrapper(listener, /*owned=*/false, version) {
    Forward<&C_Device::OnStartFinished, &D::OnStartFinished>();
    Forward<&C_Device::OnAuthenticationReceived,
            &D::OnAuthenticationReceived>();
    Forward<&C_Device::OnAlarmSoundingStarted, &D::OnAlarmSoundingStarted>();
    Forward<&C_Device::OnAlarmSoundingFinished, &D::OnAlarmSoundingFinished>();
    Forward<&C_Device::OnTimerSoundingStarted, &D::OnTimerSoundingStarted>();
    Forward<&C_Device::OnTimerSoundingFinished, &D::OnTimerSoundingFinished>();
    Forward<&C_Device::OnNotificationTrigger, &D::OnNotificationTrigger>();
    Forward<&C_Device::OnNotificationClear, &D::OnNotificationClear>();
    Forward<&C_Device::OnHoldStarted, &D::OnHoldStarted>();
    Forward<&C_Device::OnHoldFinished, &D::OnHoldFinished>();
    Forward<&C_Device::OnMicMutedChange, &D::OnMicMutedChange>();
    Forward<&C_Device::OnStopTopInteraction, &D::OnStopTopInteraction>();
  }
};

class DeviceStateListenerImpl : public D, public PeerWrapper<C_Device> {
 public:
  explicit DeviceStateListenerImpl(C_Device* c) : PeerWrapper(c) {}
  void OnStartFinished() override { Call<&C_Device::OnStartFinished>(); }
  void OnAuthenticationReceived(bool value) override {
    Call<&C_Device::OnAuthenticationReceived>(value);
  }
  void OnAlarmSoundingStarted() override {
    Call<&C_Device::OnAlarmSoundingStarted>();
  }
  void OnAlarmSoundingFinished() override {
    Call<&C_Device::OnAlarmSoundingFinished>();
  }
  void OnTimerSoundingStarted() override {
    Call<&C_Device::OnTimerSoundingStarted>();
  }
  void OnTimerSoundingFinished() override {
    Call<&C_Device::OnTimerSoundingFinished>();
  }
  void OnNotificationTrigger() override {
    Call<&C_Device::OnNotificationTrigger>();
  }
  void OnNotificationClear() override {
    Call<&C_Device::OnNotificationClear>();
  }
  void OnHoldStarted() override { Call<&C_Device::OnHoldStarted>(); }
  void OnHoldFinished() override { Call<&C_Device::OnHoldFinished>(); }
  void OnMicMutedChange(bool value) override {
    Call<&C_Device::OnMicMutedChange>(value);
  }
  void OnStopTopInteraction() override {
    Call<&C_Device::OnStopTopInteraction>();
  }
};

class C_API_ConversationStateListenerImpl
    : public StructWrapper<C_API_ConversationStateListenerImpl,
                           C_Conversation,
                           Conversation> {
 public:
  C_API_ConversationStateListenerImpl(Conversation* listener, int version)
      : StructWrapper(listener, /*owned=*/false, version) {
    Forward<&C_Conversation::OnConversationTurnStarted,
            &Conversation::OnConversationTurnStarted>();
    Forward<&C_Conversation::OnConversationTurnFinished,
            &Conversation::OnConversationTurnFinished>();
    c_api_.OnRecognitionStateChanged =
        [](C_Conversation* self, unsigned int state, C_API_String text_1,
           C_API_String text_2, C_API_String text_3) {
          GuardSlot(__PRETTY_FUNCTION__, [&] {
            Conversation::RecognitionResult result;
            result.text_1 = StringFromC(text_1);
            result.text_2 = StringFromC(text_2);
            result.text_3 = StringFromC(text_3);
            From(self)->object_->OnRecognitionStateChanged(
                static_cast<Conversation::RecognitionState>(state), result);
          });
        };
    Forward<&C_Conversation::OnRespondingStarted,
            &Conversation::OnRespondingStarted>();
    Forward<&C_Conversation::OnRespondingFinished,
            &Conversation::OnRespondingFinished>();
  }
};

class ConversationStateListenerImpl : public Conversation,
                                      public PeerWrapper<C_Conversation> {
 public:
  explicit ConversationStateListenerImpl(C_Conversation* c) : PeerWrapper(c) {}
  void OnConversationTurnStarted(bool value) override {
    Call<&C_Conversation::OnConversationTurnStarted>(value);
  }
  void OnConversationTurnFinished(Resolution resolution) override {
    Call<&C_Conversation::OnConversationTurnFinished>(resolution);
  }
  void OnRecognitionStateChanged(RecognitionState state,
                                 const RecognitionResult& result) override {
    Call<&C_Conversation::OnRecognitionStateChanged>(
        state, result.text_1, result.text_2, result.text_3);
  }
  void OnRespondingStarted(bool value) override {
    Call<&C_Conversation::OnRespondingStarted>(value);
  }
  void OnRespondingFinished() override {
    Call<&C_Conversation::OnRespondingFinished>();
  }
};

}  // namespace

C_API_DeviceActionHandler* DeviceActionHandlerToC(DeviceActionHandler* handler,
                                                  int version) {
  return (new C_API_DeviceActionHandlerImpl(handler, version))->c_struct();
}

DeviceActionHandler* DeviceActionHandlerFromC(C_API_DeviceActionHandler* c) {
  return new DeviceActionHandlerImpl(c);
}

C_API_DeviceStateListener* DeviceStateListenerToC(DeviceStateListener* listener,
                                                  int version) {
  return (new C_API_DeviceStateListenerImpl(listener, version))->c_struct();
}

DeviceStateListener* DeviceStateListenerFromC(C_API_DeviceStateListener* c) {
  return new DeviceStateListenerImpl(c);
}

void DestroyDeviceStateListenerInC(DeviceStateListener* listener) {
  delete listener;
}

C_API_ConversationStateListener* ConversationStateListenerToC(
    ConversationStateListener* listener,
    int version) {
  return (new C_API_ConversationStateListenerImpl(listener, version))
      ->c_struct();
}

ConversationStateListener* ConversationStateListenerFromC(
    C_API_ConversationStateListener* c) {
  return new ConversationStateListenerImpl(c);
}

void DestroyConversationStateListenerInC(ConversationStateListener* listener) {
  delete listener;
}

}  // namespace internal_api
}  // namespace assistant_client
