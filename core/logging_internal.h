// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Test hooks of the logger; not part of the installed headers.
#ifndef CORE_LOGGING_INTERNAL_H_
#define CORE_LOGGING_INTERNAL_H_

namespace core {
namespace internal {

// Whether stderr is the journal is decided at the first line a process
// writes there; this makes the next line decide again.
void ResetJournalCheckForTesting();

}  // namespace internal
}  // namespace core

#endif  // CORE_LOGGING_INTERNAL_H_
