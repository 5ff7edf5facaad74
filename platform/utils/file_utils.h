// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The assistant root folder, whole-file reads and atomic file replacement.
//
// None of these functions throws or aborts. Unreadable files read as empty
// text. WriteFile() replaces a file through a temporary sibling of its own
// and one rename, so readers see either the old or the new contents and
// concurrent writers each replace the file whole (the last one wins).
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

// Replaces the file's contents atomically and durably, creating missing
// parent folders (mode 0700): true only once the new contents would survive a
// power cut (data and folder synced). Empty |contents| deletes the file.
// Temporaries of |path| that dead writers left behind are removed. Returns
// false, leaving the old contents in place, when the write fails; when only
// the final folder sync fails, readers may already see the new contents.
VANTOR_EXPORT bool WriteFile(const std::string& path,
                             const std::string& contents);

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_FILE_UTILS_H_
