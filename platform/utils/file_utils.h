// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The assistant root folder, whole-file reads and atomic file replacement.
//
// None of these functions throws, aborts or holds a lock. Unreadable files
// read as empty text. WriteFile() replaces a file through a ".tmp" sibling
// and one rename, so readers see either the old or the new contents; two
// writers of one path must not run at the same time.
#ifndef PLATFORM_UTILS_FILE_UTILS_H_
#define PLATFORM_UTILS_FILE_UTILS_H_

#include <string>

#include "core/export.h"

namespace assistant_reference {

// $XDG_CONFIG_HOME (or $HOME/.config, or /tmp) + "/vantor-data"; not created.
VANTOR_EXPORT std::string GetAssistantRootPath();

// The whole file, byte for byte; trimmed of "\n\t\r\f " at both ends when
// |trim|. Missing, unreadable and non-regular files read as "".
VANTOR_EXPORT std::string ReadFile(const std::string& path, bool trim);

// The file's lines that do not start with '#', joined without separators.
VANTOR_EXPORT std::string ktl_ReadFile(const std::string& path, bool trim);

// Replaces the file's contents atomically, creating missing parent folders
// (mode 0700). Empty |contents| deletes the file. Returns false, leaving the
// old contents in place, when anything fails.
VANTOR_EXPORT bool WriteFile(const std::string& path,
                             const std::string& contents);

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_FILE_UTILS_H_
