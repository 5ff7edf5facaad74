#include "host/builtin_platform.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/logging.h"
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
    std::lock_guard<std::mutex> lock(mutex_);
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
  std::mutex mutex_;
  std::vector<Callback<true>> callbacks_;
};

// An input that never delivers a buffer: the microphone of a device that
// has none.
class SilentAudioInput : public AudioInput {
 public:
  BufferFormat GetFormat() const override { return BufferFormat(); }
  void AddObserver(Observer* observer) override {
    std::lock_guard<std::mutex> lock(mutex_);
    observers_.push_back(observer);
  }
  void RemoveObserver(Observer* observer) override {
    std::lock_guard<std::mutex> lock(mutex_);
    observers_.erase(
        std::remove(observers_.begin(), observers_.end(), observer),
        observers_.end());
  }

 private:
  std::mutex mutex_;
  std::vector<Observer*> observers_;  // Borrowed.
};

class SilentAudioInputProvider : public AudioInputProvider {
 public:
  AudioInput* GetAudioInput() override { return &input_; }
  int64_t GetCurrentAudioTime() override { return 0; }

 private:
  SilentAudioInput input_;
};

// Accepts a stream and plays nothing; Stop ends it as a real sink would.
class NullAudioOutput : public AudioOutput {
 public:
  explicit NullAudioOutput(OutputStreamType type) : type_(type) {}
  ~NullAudioOutput() override { Stop(); }
  OutputStreamType GetType() override { return type_; }
  void Start(Delegate* delegate) override {
    Stop();
    delegate_ = delegate;
  }
  void Stop() override {
    if (Delegate* delegate = std::exchange(delegate_, nullptr))
      delegate->OnStopped();
  }

 private:
  const OutputStreamType type_;
  Delegate* delegate_ = nullptr;  // Until OnStopped.
};

class BuiltinVolumeControl : public VolumeControl {
 public:
  void SetAudioFocus(OutputStreamType) override {}
  float GetSystemVolume() override { return system_volume_; }
  void SetSystemVolume(float volume, bool) override { system_volume_ = volume; }
  float GetAlarmVolume() override { return alarm_volume_; }
  void SetAlarmVolume(float volume, bool) override { alarm_volume_ = volume; }
  bool IsSystemMuted() override { return muted_; }
  void SetSystemMuted(bool muted) override { muted_ = muted; }

 private:
  float system_volume_ = 0.5f;
  float alarm_volume_ = 0.5f;
  bool muted_ = false;
};

class NullAudioOutputProvider : public AudioOutputProvider {
 public:
  AudioOutput* CreateAudioOutput(OutputStreamType type,
                                 const OutputStreamFormat&) override {
    return new NullAudioOutput(type);
  }
  std::vector<OutputStreamEncoding> GetSupportedStreamEncodings() override {
    return {OutputStreamEncoding::kPcm};
  }
  AudioInput* GetReferenceInput() override { return nullptr; }
  bool SupportsPlaybackTimestamp() const override { return false; }
  VolumeControl* GetVolumeControl() override { return &volume_; }

 private:
  BuiltinVolumeControl volume_;
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

BuiltinPlatform::BuiltinPlatform()
    : audio_input_(std::make_unique<SilentAudioInputProvider>()),
      audio_output_(std::make_unique<NullAudioOutputProvider>()),
      auth_(std::make_unique<BuiltinAuthProvider>()),
      file_(std::make_unique<BuiltinFileProvider>()),
      network_(std::make_unique<BuiltinNetworkProvider>()),
      system_(std::make_unique<BuiltinSystemProvider>()) {}

BuiltinPlatform::~BuiltinPlatform() = default;

void BuiltinPlatform::SetNetworkProvider(NetworkProvider* provider) {
  network_override_ = provider;
}

void BuiltinPlatform::SetSystemProvider(SystemProvider* provider) {
  system_override_ = provider;
}

AudioInputProvider* BuiltinPlatform::GetAudioInputProvider() {
  return audio_input_.get();
}
AudioOutputProvider* BuiltinPlatform::GetAudioOutputProvider() {
  return audio_output_.get();
}
AuthProvider* BuiltinPlatform::GetAuthProvider() {
  return auth_.get();
}
FileProvider* BuiltinPlatform::GetFileProvider() {
  return file_.get();
}
NetworkProvider* BuiltinPlatform::GetNetworkProvider() {
  return network_override_ ? network_override_ : network_.get();
}
SystemProvider* BuiltinPlatform::GetSystemProvider() {
  return system_override_ ? system_override_ : system_.get();
}

}  // namespace vantor_host
