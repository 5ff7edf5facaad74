// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/service_status.h"

#include <dlfcn.h>

namespace core {

void ReportServiceStatus(const char* topic, const std::string& text) {
  // Looked up each time: reports are rare, and a program may be a test that
  // has none.
  auto function = reinterpret_cast<ServiceStatusFunction>(
      dlsym(RTLD_DEFAULT, kServiceStatusFunction));
  if (function)
    function(topic, text.c_str());
}

}  // namespace core
