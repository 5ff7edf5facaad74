// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The device's identity: client id, certificate chain and signed tokens for
// credential and device attestation and refresh assertions.
//
// Implemented by the device maker and handed to the host library through a
// PlatformFactory or a PlatformApi. Every value passes between the host
// library and the provider unchanged. The Create* operations answer through
// a one-shot callback, which may run on any thread. May be called from any of
// the host library's threads.
#ifndef PREBUILT_LIB_AUTH_PROVIDER_H_
#define PREBUILT_LIB_AUTH_PROVIDER_H_

#include <string>
#include <utility>
#include <vector>

#include "prebuilt/lib/callback.h"

namespace assistant_client {

class AuthProvider {
 public:
  // Crosses between binaries as its number.
  enum Error : int {
    kOk = 0,
    kUnknownError = 1,
    kKeyNotFound = 2,  // No key for the credential or device.
    kUnsupported = 3,  // The device cannot make this token.
  };

  // Runs once with the error and two texts.
  using CredentialCallback = Callback<false, Error, std::string, std::string>;
  // Runs once with the error and the token.
  using AssertionCallback = Callback<false, Error, std::string>;

  AuthProvider() = default;
  AuthProvider(const AuthProvider&) = delete;
  AuthProvider& operator=(const AuthProvider&) = delete;
  virtual ~AuthProvider() = default;

  virtual std::string GetAuthClientId() = 0;
  // Entries reach the host library in this order, each whole.
  virtual std::vector<std::string> GetClientCertificateChain() = 0;
  virtual std::string GetAttestationCertFingerprint() = 0;
  virtual void CreateCredentialAttestationJwt(
      const std::string& text,
      const std::vector<std::pair<std::string, std::string>>& pairs,
      CredentialCallback callback) = 0;
  virtual void CreateRefreshAssertionJwt(
      const std::string& text,
      const std::vector<std::pair<std::string, std::string>>& pairs,
      AssertionCallback callback) = 0;
  virtual void CreateDeviceAttestationJwt(
      const std::vector<std::pair<std::string, std::string>>& pairs,
      AssertionCallback callback) = 0;
  virtual void RemoveCredentialKey(const std::string& key) = 0;
  virtual void Reset() = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_AUTH_PROVIDER_H_
