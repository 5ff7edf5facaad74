// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A host may unload a plug-in once its objects are gone; a thread the
// responder leaves behind (a withdrawal or a registration waiting on a
// frozen daemon) still runs this library's code. Pinning keeps the library
// loaded for the rest of the process.
#ifndef PLATFORM_NET_BONJOUR_LIBRARY_PIN_H_
#define PLATFORM_NET_BONJOUR_LIBRARY_PIN_H_

namespace assistant_reference {

// Any thread; idempotent.
void PinThisLibrary();

}  // namespace assistant_reference

#endif  // PLATFORM_NET_BONJOUR_LIBRARY_PIN_H_
