// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Bridges of the file, network, DNS-SD responder, system, power-manager and
// authentication providers, with their callback structures.
#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/wrapper_base.h"

namespace assistant_client {
namespace internal_api {
namespace {

using C_File = C_API_FileProvider;
using C_Network = C_API_NetworkProvider;
using C_Mdns = C_API_MdnsResponder;
using C_System = C_API_SystemProvider;
using C_Power = C_API_PowerManagerProvider;
using C_Auth = C_API_AuthProvider;

// ---- FileProvider -----------------------------------------------------------

class C_API_FileProviderImpl
    : public StructWrapper<C_API_FileProviderImpl, C_File, FileProvider> {
 public:
  C_API_FileProviderImpl(FileProvider* provider, bool owned, int version)
      : StructWrapper(provider, owned, version) {
    Forward<&C_File::ReadFile, &FileProvider::ReadFile>();
    Forward<&C_File::WriteFile, &FileProvider::WriteFile>();
    Forward<&C_File::ReadSecureFile, &FileProvider::ReadSecureFile>();
    Forward<&C_File::WriteSecureFile, &FileProvider::WriteSecureFile>();
    c_api_.GetResource = [](C_File* self, uint16_t id,
                            C_API_StringResult result) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        // The text is delivered whatever the answer, as the peer may read it.
        std::string resource;
        bool found = From(self)->object_->GetResource(id, &resource);
        AssignStringResult(resource, result);
        return found ? 1 : 0;
      });
    };
    Forward<&C_File::CleanAssistantData, &FileProvider::CleanAssistantData>();
  }
};

class FileProviderImpl : public FileProvider, public PeerWrapper<C_File> {
 public:
  explicit FileProviderImpl(C_File* c) : PeerWrapper(c) {}
  std::string ReadFile(const std::string& path) override {
    return Call<&C_File::ReadFile, std::string>(path);
  }
  bool WriteFile(const std::string& path, const std::string& data) override {
    return Call<&C_File::WriteFile, bool>(path, data);
  }
  std::string ReadSecureFile(const std::string& path) override {
    return Call<&C_File::ReadSecureFile, std::string>(path);
  }
  bool WriteSecureFile(const std::string& path,
                       const std::string& data) override {
    return Call<&C_File::WriteSecureFile, bool>(path, data);
  }
  bool GetResource(uint16_t id, std::string* out) override {
    VANTOR_API_ASSERT(out);
    return c_object_->GetResource(c_object_, id, StringResultFromCpp(out)) != 0;
  }
  void CleanAssistantData() override { Call<&C_File::CleanAssistantData>(); }
};

// ---- NetworkProvider and MdnsResponder --------------------------------------

class C_API_NetworkProviderImpl
    : public StructWrapper<C_API_NetworkProviderImpl,
                           C_Network,
                           NetworkProvider> {
 public:
  C_API_NetworkProviderImpl(NetworkProvider* provider, bool owned, int version)
      : StructWrapper(provider, owned, version) {
    Forward<&C_Network::GetConnectionStatus,
            &NetworkProvider::GetConnectionStatus>();
    c_api_.GetMdnsResponder = [](C_Network* self) -> C_Mdns* {
      return GuardSlot(__PRETTY_FUNCTION__, [&]() -> C_Mdns* {
        // A new non-owning structure at every call; the responder stays with
        // the provider.
        C_API_NetworkProviderImpl* me = From(self);
        MdnsResponder* responder = me->object_->GetMdnsResponder();
        return responder ? MdnsResponderToC(responder, me->peer_api_version())
                         : nullptr;
      });
    };
  }
};

class NetworkProviderImpl : public NetworkProvider,
                            public PeerWrapper<C_Network> {
 public:
  explicit NetworkProviderImpl(C_Network* c) : PeerWrapper(c) {}
  ~NetworkProviderImpl() override {
    ReleasePeer();
    DestroyMdnsResponderInC(mdns_responder_.get());
  }

  ConnectionStatus GetConnectionStatus() override {
    return Call<&C_Network::GetConnectionStatus, ConnectionStatus>();
  }
  MdnsResponder* GetMdnsResponder() override {
    return CallCached<&C_Network::GetMdnsResponder, &MdnsResponderFromC,
                      Nullable::kYes>(&mdns_responder_);
  }

 private:
  Cached<MdnsResponder> mdns_responder_;
};

class C_API_MdnsResponderImpl
    : public StructWrapper<C_API_MdnsResponderImpl, C_Mdns, MdnsResponder> {
 public:
  C_API_MdnsResponderImpl(MdnsResponder* responder, int version)
      : StructWrapper(responder, /*owned=*/false, version) {
    Forward<&C_Mdns::AddService, &MdnsResponder::AddService>();
    Forward<&C_Mdns::RemoveService, &MdnsResponder::RemoveService>();
    Forward<&C_Mdns::UpdateTxtRecord, &MdnsResponder::UpdateTxtRecord>();
  }
};

class MdnsResponderImpl : public MdnsResponder, public PeerWrapper<C_Mdns> {
 public:
  explicit MdnsResponderImpl(C_Mdns* c) : PeerWrapper(c) {}
  void AddService(const std::string& service_type,
                  const std::string& instance_name,
                  uint16_t port,
                  const std::string& txt_record,
                  ResultCallback callback) override {
    Call<&C_Mdns::AddService>(service_type, instance_name, port, txt_record,
                              std::move(callback));
  }
  void RemoveService(const std::string& service_type,
                     const std::string& instance_name) override {
    Call<&C_Mdns::RemoveService>(service_type, instance_name);
  }
  void UpdateTxtRecord(const std::string& service_type,
                       const std::string& instance_name,
                       const std::string& txt_record,
                       ResultCallback callback) override {
    Call<&C_Mdns::UpdateTxtRecord>(service_type, instance_name, txt_record,
                                   std::move(callback));
  }
};

// ---- SystemProvider and PowerManagerProvider --------------------------------

class C_API_SystemProviderImpl
    : public StructWrapper<C_API_SystemProviderImpl, C_System, SystemProvider> {
 public:
  C_API_SystemProviderImpl(SystemProvider* provider, bool owned, int version)
      : StructWrapper(provider, owned, version) {
    Forward<&C_System::GetMicMuteState, &SystemProvider::GetMicMuteState>();
    Forward<&C_System::RegisterMicMuteChangeCallback,
            &SystemProvider::RegisterMicMuteChangeCallback>();
    c_api_.GetPowerManagerProvider = [](C_System* self) -> C_Power* {
      return GuardSlot(__PRETTY_FUNCTION__, [&]() -> C_Power* {
        C_API_SystemProviderImpl* me = From(self);
        PowerManagerProvider* provider = me->object_->GetPowerManagerProvider();
        return provider
                   ? PowerManagerProviderToC(provider, me->peer_api_version())
                   : nullptr;
      });
    };
    c_api_.GetBatteryState = [](C_System* self, int* first, int* second) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        SystemProvider::BatteryState state;
        bool known = From(self)->object_->GetBatteryState(&state);
        // Null out-parameters from a careless peer are skipped, not written.
        if (first)
          *first = state.is_charging ? 1 : 0;
        if (second)
          *second = state.charge_percent;
        return known;
      });
    };
    Forward<&C_System::UpdateTimezoneAndLocale,
            &SystemProvider::UpdateTimezoneAndLocale>();
    Forward<&C_System::ProcessTpm, &SystemProvider::ProcessTpm>();
  }
};

class SystemProviderImpl : public SystemProvider, public PeerWrapper<C_System> {
 public:
  explicit SystemProviderImpl(C_System* c) : PeerWrapper(c) {}
  ~SystemProviderImpl() override {
    ReleasePeer();
    DestroyPowerManagerProviderInC(power_manager_provider_.get());
  }

  int GetMicMuteState() override {
    return Call<&C_System::GetMicMuteState, int>();
  }
  void RegisterMicMuteChangeCallback(Callback<true> callback) override {
    Call<&C_System::RegisterMicMuteChangeCallback>(std::move(callback));
  }
  PowerManagerProvider* GetPowerManagerProvider() override {
    return CallCached<&C_System::GetPowerManagerProvider,
                      &PowerManagerProviderFromC, Nullable::kYes>(
        &power_manager_provider_);
  }
  bool GetBatteryState(BatteryState* state) override {
    int first = 0;
    int second = 0;
    bool known = c_object_->GetBatteryState(c_object_, &first, &second);
    if (state) {
      state->is_charging = first != 0;
      state->charge_percent = second;
    }
    return known;
  }
  void UpdateTimezoneAndLocale(const std::string& timezone,
                               const std::string& locale) override {
    Call<&C_System::UpdateTimezoneAndLocale>(timezone, locale);
  }
  void ProcessTpm(TpmProcessingType type,
                  const std::string& data,
                  Callback<false, std::string> callback) override {
    Call<&C_System::ProcessTpm>(type, data, std::move(callback));
  }

 private:
  Cached<PowerManagerProvider> power_manager_provider_;
};

class C_API_PowerManagerProviderImpl
    : public StructWrapper<C_API_PowerManagerProviderImpl,
                           C_Power,
                           PowerManagerProvider> {
 public:
  using P = PowerManagerProvider;
  C_API_PowerManagerProviderImpl(P* provider, int version)
      : StructWrapper(provider, /*owned=*/false, version) {
    Forward<&C_Power::AddWakeAlarm, &P::AddWakeAlarm>();
    Forward<&C_Power::ExpireWakeAlarmNow, &P::ExpireWakeAlarmNow>();
    Forward<&C_Power::AcquireWakeLock, &P::AcquireWakeLock>();
    Forward<&C_Power::ReleaseWakeLock, &P::ReleaseWakeLock>();
  }
};

class PowerManagerProviderImpl : public PowerManagerProvider,
                                 public PeerWrapper<C_Power> {
 public:
  explicit PowerManagerProviderImpl(C_Power* c) : PeerWrapper(c) {}
  int64_t AddWakeAlarm(unsigned long long first,
                       unsigned long long second,
                       Callback<false> callback) override {
    return Call<&C_Power::AddWakeAlarm, int64_t>(first, second,
                                                 std::move(callback));
  }
  void ExpireWakeAlarmNow(unsigned long long alarm) override {
    Call<&C_Power::ExpireWakeAlarmNow>(alarm);
  }
  void AcquireWakeLock() override { Call<&C_Power::AcquireWakeLock>(); }
  void ReleaseWakeLock() override { Call<&C_Power::ReleaseWakeLock>(); }
};

// ---- AuthProvider -----------------------------------------------------------

class C_API_AuthProviderImpl
    : public StructWrapper<C_API_AuthProviderImpl, C_Auth, AuthProvider> {
 public:
  using A = AuthProvider;
  C_API_AuthProviderImpl(A* provider, bool owned, int version)
      : StructWrapper(provider, owned, version) {
    Forward<&C_Auth::GetAuthClientId, &A::GetAuthClientId>();
    Forward<&C_Auth::GetClientCertificateChain,
            &A::GetClientCertificateChain>();
    Forward<&C_Auth::GetAttestationCertFingerprint,
            &A::GetAttestationCertFingerprint>();
    Forward<&C_Auth::CreateCredentialAttestationJwt,
            &A::CreateCredentialAttestationJwt>();
    Forward<&C_Auth::CreateRefreshAssertionJwt,
            &A::CreateRefreshAssertionJwt>();
    Forward<&C_Auth::CreateDeviceAttestationJwt,
            &A::CreateDeviceAttestationJwt>();
    Forward<&C_Auth::RemoveCredentialKey, &A::RemoveCredentialKey>();
    Forward<&C_Auth::Reset, &A::Reset>();
  }
};

class AuthProviderImpl : public AuthProvider, public PeerWrapper<C_Auth> {
 public:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  explicit AuthProviderImpl(C_Auth* c) : PeerWrapper(c) {}
  std::string GetAuthClientId() override {
    return Call<&C_Auth::GetAuthClientId, std::string>();
  }
  std::vector<std::string> GetClientCertificateChain() override {
    return Call<&C_Auth::GetClientCertificateChain, std::vector<std::string>>();
  }
  std::string GetAttestationCertFingerprint() override {
    return Call<&C_Auth::GetAttestationCertFingerprint, std::string>();
  }
  void CreateCredentialAttestationJwt(const std::string& text,
                                      const Pairs& pairs,
                                      CredentialCallback callback) override {
    Call<&C_Auth::CreateCredentialAttestationJwt>(text, pairs,
                                                  std::move(callback));
  }
  void CreateRefreshAssertionJwt(const std::string& text,
                                 const Pairs& pairs,
                                 AssertionCallback callback) override {
    Call<&C_Auth::CreateRefreshAssertionJwt>(text, pairs, std::move(callback));
  }
  void CreateDeviceAttestationJwt(const Pairs& pairs,
                                  AssertionCallback callback) override {
    Call<&C_Auth::CreateDeviceAttestationJwt>(pairs, std::move(callback));
  }
  void RemoveCredentialKey(const std::string& key) override {
    Call<&C_Auth::RemoveCredentialKey>(key);
  }
  void Reset() override { Call<&C_Auth::Reset>(); }
};

}  // namespace

C_API_FileProvider* FileProviderToC(FileProvider* provider,
                                    bool owned,
                                    int version) {
  return (new C_API_FileProviderImpl(provider, owned, version))->c_struct();
}
FileProvider* FileProviderFromC(C_API_FileProvider* c) {
  return new FileProviderImpl(c);
}
void DestroyFileProviderInC(C_API_FileProvider* c) {
  DeleteStruct<C_API_FileProviderImpl>(c);
}

C_API_NetworkProvider* NetworkProviderToC(NetworkProvider* provider,
                                          bool owned,
                                          int version) {
  return (new C_API_NetworkProviderImpl(provider, owned, version))->c_struct();
}
NetworkProvider* NetworkProviderFromC(C_API_NetworkProvider* c) {
  return new NetworkProviderImpl(c);
}
void DestroyNetworkProviderInC(C_API_NetworkProvider* c) {
  DeleteStruct<C_API_NetworkProviderImpl>(c);
}

C_API_MdnsResponder* MdnsResponderToC(MdnsResponder* responder, int version) {
  return (new C_API_MdnsResponderImpl(responder, version))->c_struct();
}
MdnsResponder* MdnsResponderFromC(C_API_MdnsResponder* c) {
  return new MdnsResponderImpl(c);
}
void DestroyMdnsResponderInC(MdnsResponder* responder) {
  delete responder;
}

C_API_MdnsResponderResultCallback* MdnsResponderResultCallbackToC(
    MdnsResponder::ResultCallback callback,
    int version) {
  return CallbackStructImpl<
      C_API_MdnsResponderResultCallback,
      MdnsResponder::ResultCallback>::New(std::move(callback), version);
}
MdnsResponder::ResultCallback MdnsResponderResultCallbackFromC(
    C_API_MdnsResponderResultCallback* c) {
  return PeerCallback<C_API_MdnsResponderResultCallback,
                      MdnsResponder::ResultCallback>::Wrap(c);
}

C_API_SystemProvider* SystemProviderToC(SystemProvider* provider,
                                        bool owned,
                                        int version) {
  return (new C_API_SystemProviderImpl(provider, owned, version))->c_struct();
}
SystemProvider* SystemProviderFromC(C_API_SystemProvider* c) {
  return new SystemProviderImpl(c);
}
void DestroySystemProviderInC(C_API_SystemProvider* c) {
  DeleteStruct<C_API_SystemProviderImpl>(c);
}

C_API_PowerManagerProvider* PowerManagerProviderToC(
    PowerManagerProvider* provider,
    int version) {
  return (new C_API_PowerManagerProviderImpl(provider, version))->c_struct();
}
PowerManagerProvider* PowerManagerProviderFromC(C_API_PowerManagerProvider* c) {
  return new PowerManagerProviderImpl(c);
}
void DestroyPowerManagerProviderInC(PowerManagerProvider* provider) {
  delete provider;
}

C_API_AuthProvider* AuthProviderToC(AuthProvider* provider,
                                    bool owned,
                                    int version) {
  return (new C_API_AuthProviderImpl(provider, owned, version))->c_struct();
}
AuthProvider* AuthProviderFromC(C_API_AuthProvider* c) {
  return new AuthProviderImpl(c);
}
void DestroyAuthProviderInC(C_API_AuthProvider* c) {
  DeleteStruct<C_API_AuthProviderImpl>(c);
}

C_API_AuthProviderCredentialCallback* AuthProviderCredentialCallbackToC(
    AuthProvider::CredentialCallback callback,
    int version) {
  return CallbackStructImpl<
      C_API_AuthProviderCredentialCallback,
      AuthProvider::CredentialCallback>::New(std::move(callback), version);
}
AuthProvider::CredentialCallback AuthProviderCredentialCallbackFromC(
    C_API_AuthProviderCredentialCallback* c) {
  return PeerCallback<C_API_AuthProviderCredentialCallback,
                      AuthProvider::CredentialCallback>::Wrap(c);
}
C_API_AuthProviderAssertionCallback* AuthProviderAssertionCallbackToC(
    AuthProvider::AssertionCallback callback,
    int version) {
  return CallbackStructImpl<
      C_API_AuthProviderAssertionCallback,
      AuthProvider::AssertionCallback>::New(std::move(callback), version);
}
AuthProvider::AssertionCallback AuthProviderAssertionCallbackFromC(
    C_API_AuthProviderAssertionCallback* c) {
  return PeerCallback<C_API_AuthProviderAssertionCallback,
                      AuthProvider::AssertionCallback>::Wrap(c);
}

}  // namespace internal_api
}  // namespace assistant_client
