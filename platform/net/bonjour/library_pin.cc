// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/library_pin.h"

#include <dlfcn.h>

namespace assistant_reference {

void PinThisLibrary() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&PinThisLibrary), &info) == 0 ||
      !info.dli_fname) {
    return;
  }
  // The handle is never closed, and the library stays even when it is.
  (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace assistant_reference
