// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Provider doubles that do nothing: every operation answers a fixed value;
// only deletion is counted. For tests about who owns a provider, or about an
// interface's defaults, not about its operations.
#ifndef TESTING_INERT_PROVIDERS_H_
#define TESTING_INERT_PROVIDERS_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "prebuilt/lib/assistant_client.h"

namespace testing_support {

// Counts the deletions of the objects that carry it.
struct Deletions {
  std::atomic<int> count{0};
};

class DeletionCounted {
 public:
  explicit DeletionCounted(Deletions* deletions) : deletions_(deletions) {}
  ~DeletionCounted() {
    if (deletions_)
      ++deletions_->count;
  }

 private:
  Deletions* deletions_;
};

class InertAudioInputProvider : public assistant_client::AudioInputProvider,
                                private DeletionCounted {
 public:
  explicit InertAudioInputProvider(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  assistant_client::AudioInput* GetAudioInput() override { return nullptr; }
  int64_t GetCurrentAudioTime() override { return 11; }
};

class InertAudioOutputProvider : public assistant_client::AudioOutputProvider,
                                 private DeletionCounted {
 public:
  explicit InertAudioOutputProvider(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  assistant_client::AudioOutput* CreateAudioOutput(
      assistant_client::OutputStreamType,
      const assistant_client::OutputStreamFormat&) override {
    return nullptr;
  }
  std::vector<assistant_client::OutputStreamEncoding>
  GetSupportedStreamEncodings() override {
    return {assistant_client::OutputStreamEncoding::kMp3};
  }
  assistant_client::AudioInput* GetReferenceInput() override { return nullptr; }
  bool SupportsPlaybackTimestamp() const override { return true; }
  assistant_client::VolumeControl* GetVolumeControl() override {
    return nullptr;
  }
};

class InertAuthProvider : public assistant_client::AuthProvider,
                          private DeletionCounted {
 public:
  explicit InertAuthProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string GetAuthClientId() override { return "auth"; }
  std::vector<std::string> GetClientCertificateChain() override { return {}; }
  std::string GetAttestationCertFingerprint() override { return {}; }
  void CreateCredentialAttestationJwt(
      const std::string&,
      const std::vector<std::pair<std::string, std::string>>&,
      CredentialCallback) override {}
  void CreateRefreshAssertionJwt(
      const std::string&,
      const std::vector<std::pair<std::string, std::string>>&,
      AssertionCallback) override {}
  void CreateDeviceAttestationJwt(
      const std::vector<std::pair<std::string, std::string>>&,
      AssertionCallback) override {}
  void RemoveCredentialKey(const std::string&) override {}
  void Reset() override {}
};

class InertFileProvider : public assistant_client::FileProvider,
                          private DeletionCounted {
 public:
  explicit InertFileProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string ReadFile(const std::string& path) override {
    return "file:" + path;
  }
  bool WriteFile(const std::string&, const std::string&) override {
    return true;
  }
  std::string ReadSecureFile(const std::string&) override { return {}; }
  bool WriteSecureFile(const std::string&, const std::string&) override {
    return false;
  }
  bool GetResource(uint16_t, std::string*) override { return false; }
  void CleanAssistantData() override {}
};

class InertNetworkProvider : public assistant_client::NetworkProvider,
                             private DeletionCounted {
 public:
  explicit InertNetworkProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  ConnectionStatus GetConnectionStatus() override { return CONNECTED; }
  assistant_client::MdnsResponder* GetMdnsResponder() override {
    return nullptr;
  }
};

class InertSystemProvider : public assistant_client::SystemProvider,
                            private DeletionCounted {
 public:
  explicit InertSystemProvider(Deletions* d = nullptr) : DeletionCounted(d) {}
  int GetMicMuteState() override { return 1; }
  void RegisterMicMuteChangeCallback(
      assistant_client::Callback<true>) override {}
  void UpdateTimezoneAndLocale(const std::string&,
                               const std::string&) override {}
  void ProcessTpm(TpmProcessingType,
                  const std::string&,
                  assistant_client::Callback<false, std::string>) override {}
};

// A platform of inert providers, one of each kind, for what is handed a
// platform and must not act on it.
class InertPlatform : public assistant_client::PlatformApi {
 public:
  assistant_client::AudioInputProvider* GetAudioInputProvider() override {
    return &audio_input_;
  }
  assistant_client::AudioOutputProvider* GetAudioOutputProvider() override {
    return &audio_output_;
  }
  assistant_client::AuthProvider* GetAuthProvider() override { return &auth_; }
  assistant_client::FileProvider* GetFileProvider() override { return &file_; }
  assistant_client::NetworkProvider* GetNetworkProvider() override {
    return &network_;
  }
  assistant_client::SystemProvider* GetSystemProvider() override {
    return &system_;
  }

 private:
  InertAudioInputProvider audio_input_;
  InertAudioOutputProvider audio_output_;
  InertAuthProvider auth_;
  InertFileProvider file_;
  InertNetworkProvider network_;
  InertSystemProvider system_;
};

}  // namespace testing_support

#endif  // TESTING_INERT_PROVIDERS_H_
