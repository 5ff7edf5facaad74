// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The platform's storage for the assistant's files, secure files and bundled
// resources.
//
// Implemented by the device maker and handed to the host library through a
// PlatformFactory or a PlatformApi. Paths and contents are byte strings and
// may contain NUL bytes. May be called from any of the host library's
// threads.
#ifndef PREBUILT_LIB_FILE_PROVIDER_H_
#define PREBUILT_LIB_FILE_PROVIDER_H_

#include <cstdint>
#include <string>

namespace assistant_client {

class FileProvider {
 public:
  FileProvider() = default;
  FileProvider(const FileProvider&) = delete;
  FileProvider& operator=(const FileProvider&) = delete;
  virtual ~FileProvider() = default;

  // The empty string when the file cannot be read.
  virtual std::string ReadFile(const std::string& path) = 0;
  virtual bool WriteFile(const std::string& path, const std::string& data) = 0;
  virtual std::string ReadSecureFile(const std::string& path) = 0;
  virtual bool WriteSecureFile(const std::string& path,
                               const std::string& data) = 0;
  // |out| is owned by the caller and never null. Whatever is left in it
  // reaches the host library even when this returns false.
  virtual bool GetResource(uint16_t id, std::string* out) = 0;
  virtual void CleanAssistantData() = 0;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_FILE_PROVIDER_H_
