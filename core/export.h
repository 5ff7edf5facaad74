// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Symbol visibility for the deliverables.
//
// Everything is built with -fvisibility=hidden; the few functions and classes
// that each deliverable documents as exported carry VANTOR_EXPORT. Private
// parts of an exported class (a nested helper class, a constructor taking a
// private type) carry VANTOR_HIDDEN, since members inherit the class's
// visibility.
#ifndef CORE_EXPORT_H_
#define CORE_EXPORT_H_

#define VANTOR_EXPORT __attribute__((visibility("default")))
#define VANTOR_HIDDEN __attribute__((visibility("hidden")))

#endif  // CORE_EXPORT_H_
