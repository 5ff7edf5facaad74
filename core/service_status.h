// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the plug-ins tell the program they run in about the service's state,
// for one line such as `systemctl status` shows. A program hears it by
// defining and exporting (from its executable's dynamic symbol table)
//
//   extern "C" void vantor_service_status(const char* topic,
//                                         const char* text);
//
// which is called on the plug-in's own thread whenever a topic's text
// changes: "mdns" ("advertised as 'Kitchen'", "not advertised: ...") and
// "microphone" ("muted", "on"). It must return soon and may not call back
// into the plug-ins. In a program without it, reports go nowhere.
#ifndef CORE_SERVICE_STATUS_H_
#define CORE_SERVICE_STATUS_H_

#include <string>

namespace core {

// The C function a program defines to hear the reports.
inline constexpr char kServiceStatusFunction[] = "vantor_service_status";
using ServiceStatusFunction = void (*)(const char* topic, const char* text);

// Calls the program's vantor_service_status, when there is one.
void ReportServiceStatus(const char* topic, const std::string& text);

}  // namespace core

#endif  // CORE_SERVICE_STATUS_H_
