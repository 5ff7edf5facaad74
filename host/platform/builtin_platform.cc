// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/platform/builtin_platform.h"

#include <string>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "core/synchronization.h"
#include "platform/utils/file_utils.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: a stand-in full of overrides.

// Files live under the assistant root folder; absolute paths are taken as
// they are.
std::string ResolvePath(const std::string& path) {
  if (!path.empty() && path[0] == '/')
    return path;
  return assistant_reference::GetAssistantRootPath() + "/" + path;
}

class BuiltinFileProvider : public FileProvider {
 public:
  std::string ReadFile(const std::string& path) override {
    return assistant_reference::ReadFile(ResolvePath(path), false);
  }
  bool WriteFile(const std::string& path, const std::string& data) override {
    return assistant_reference::WriteFile(ResolvePath(path), data);
  }
  std::string ReadSecureFile(const std::string& path) override {
    return ReadFile(path);
  }
  bool WriteSecureFile(const std::string& path,
                       const std::string& data) override {
    return WriteFile(path, data);
  }
  bool GetResource(uint16_t id, std::string* out) override {
    out->clear();
    LOG(INFO) << "No built-in resource " << id;
    return false;
  }
  void CleanAssistantData() override { LOG(INFO) << "CleanAssistantData()"; }
};

class BuiltinNetworkProvider : public NetworkProvider {
 public:
  ConnectionStatus GetConnectionStatus() override { return UNKNOWN; }
  MdnsResponder* GetMdnsResponder() override { return nullptr; }
};

class BuiltinSystemProvider : public SystemProvider {
 public:
  int GetMicMuteState() override { return 0; }
  void RegisterMicMuteChangeCallback(Callback<true> callback) override {
    // The built-in microphone never changes; keep the callback for the
    // provider's life as the contract says.
    core::AutoLock lock(&mutex_);
    callbacks_.push_back(std::move(callback));
  }
  void UpdateTimezoneAndLocale(const std::string&,
                               const std::string&) override {}
  void ProcessTpm(TpmProcessingType,
                  const std::string& data,
                  Callback<false, std::string> callback) override {
    callback(data);
  }

 private:
  core::Mutex mutex_;
  std::vector<Callback<true>> callbacks_ CORE_GUARDED_BY(mutex_);
};

// A device without credentials: every signing request is refused.
class BuiltinAuthProvider : public AuthProvider {
 public:
  std::string GetAuthClientId() override { return "vantor-stand-in"; }
  std::vector<std::string> GetClientCertificateChain() override { return {}; }
  std::string GetAttestationCertFingerprint() override { return ""; }
  void CreateCredentialAttestationJwt(
      const std::string&,
      const std::vector<std::pair<std::string, std::string>>&,
      CredentialCallback callback) override {
    callback(kUnsupported, "", "");
  }
  void CreateRefreshAssertionJwt(
      const std::string&,
      const std::vector<std::pair<std::string, std::string>>&,
      AssertionCallback callback) override {
    callback(kUnsupported, "");
  }
  void CreateDeviceAttestationJwt(
      const std::vector<std::pair<std::string, std::string>>&,
      AssertionCallback callback) override {
    callback(kUnsupported, "");
  }
  void RemoveCredentialKey(const std::string&) override {}
  void Reset() override {}
};

}  // namespace

BuiltinPlatform::BuiltinPlatform(AudioMakers audio)
    : audio_(std::move(audio)),
      auth_(std::make_unique<BuiltinAuthProvider>()),
      file_(std::make_unique<BuiltinFileProvider>()),
      network_(std::make_unique<BuiltinNetworkProvider>()),
      system_(std::make_unique<BuiltinSystemProvider>()) {}

BuiltinPlatform::~BuiltinPlatform() = default;

void BuiltinPlatform::Choose(const Chosen& chosen) {
  core::AutoLock lock(&mutex_);
  chosen_ = chosen;
}

AudioInputProvider* BuiltinPlatform::GetAudioInputProvider() {
  core::AutoLock lock(&mutex_);
  if (chosen_.audio_input)
    return chosen_.audio_input;
  if (!audio_input_)
    audio_input_ = audio_.input();
  return audio_input_.get();
}

AudioOutputProvider* BuiltinPlatform::GetAudioOutputProvider() {
  core::AutoLock lock(&mutex_);
  if (chosen_.audio_output)
    return chosen_.audio_output;
  if (!audio_output_)
    audio_output_ = audio_.output();
  return audio_output_.get();
}

AuthProvider* BuiltinPlatform::GetAuthProvider() {
  core::AutoLock lock(&mutex_);
  return chosen_.auth ? chosen_.auth : auth_.get();
}

FileProvider* BuiltinPlatform::GetFileProvider() {
  core::AutoLock lock(&mutex_);
  return chosen_.file ? chosen_.file : file_.get();
}

NetworkProvider* BuiltinPlatform::GetNetworkProvider() {
  core::AutoLock lock(&mutex_);
  return chosen_.network ? chosen_.network : network_.get();
}

SystemProvider* BuiltinPlatform::GetSystemProvider() {
  core::AutoLock lock(&mutex_);
  return chosen_.system ? chosen_.system : system_.get();
}

}  // namespace vantor_host
