// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// File reading for the plug-ins' own use, beside the exported functions of
// file_utils.h: bounded, for files that hold one word.
#ifndef PLATFORM_UTILS_FILE_UTILS_INTERNAL_H_
#define PLATFORM_UTILS_FILE_UTILS_INTERNAL_H_

#include <stddef.h>

#include <string>

namespace assistant_reference {

// A state file holds one word; a larger file is no word with some blanks
// around it and is not worth reading whole on every change.
inline constexpr size_t kMaxStateFileBytes = 4096;

// Reads the regular file at |path| into |*contents|, through one
// descriptor, unless it is larger than |max_bytes|. False (and |*contents|
// empty) when it is missing, not a regular file, unreadable or too large.
// Never blocks on a FIFO or device and never throws.
bool ReadFileBounded(const std::string& path,
                     size_t max_bytes,
                     std::string* contents);

// The trimmed word of the state file at |path|, or "" when it is missing,
// not a regular file, unreadable or larger than kMaxStateFileBytes.
std::string ReadStateWord(const std::string& path);

}  // namespace assistant_reference

#endif  // PLATFORM_UTILS_FILE_UTILS_INTERNAL_H_
