// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The smallest complete client of the host library: reads the configuration
// file named on the command line, starts an assistant with listening on,
// and starts one voice interaction for every character on standard input.
// At the end of input it shuts the assistant down and exits with 0.
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>

#include "core/version.h"
#include "platform/utils/file_utils.h"
#include "prebuilt/lib/assistant_manager.h"
#include "sample/service_notifier.h"
#include "sample/service_status.h"

namespace {

// Also the source of the manual page (help2man), so it reads as one.
void PrintUsage() {
  printf(
      "Usage: assistant_sample CONFIG\n"
      "Runs a voice assistant on the host library with the configuration\n"
      "file CONFIG, the host's and the plug-ins' JSON configuration.\n"
      "Every character read from standard input (the line end included)\n"
      "starts one voice interaction; at the end of input the assistant is\n"
      "shut down and the program exits with status 0.\n"
      "\n"
      "  -h, --help     print this help and exit\n"
      "      --version  print the version and exit\n"
      "\n"
      "Exit status: 0 at the end of input, 1 when CONFIG is missing or\n"
      "cannot be read.\n");
}

}  // namespace

int main(int argc, char** argv) {
  // Only as the sole argument: a configuration file may have any name.
  if (argc == 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
    PrintUsage();
    return 0;
  }
  if (argc == 2 && !strcmp(argv[1], "--version")) {
    printf("assistant_sample %s\n", core::kVersion);
    return 0;
  }
  if (argc < 2) {
    printf("Too few arguments: %s config_path\n", argv[0]);
    return 1;
  }
  const std::string config_path(argv[1]);
  const std::string config_str =
      assistant_reference::ReadFile(config_path, false);
  if (config_str.empty()) {
    printf("|config_str| could not be loaded from '%s'\n", config_path.c_str());
    return 1;
  }

  std::unique_ptr<assistant_client::AssistantManager> manager(
      assistant_client::AssistantManager::Create(nullptr, config_str));
  ServiceNotifier notifier(manager.get());
  // Before Start(): the plug-ins report while the host makes the providers.
  ServiceStatus status(&notifier);
  manager->EnableListening(true);
  // Returns once the host has loaded the plug-ins and made the providers.
  manager->Start();
  notifier.Ready();

  // Every character, the line end included, starts one interaction. Without
  // this end the loop would spin on EOF, so end of input ends the program.
  while (getchar() != EOF) {
    manager->StartAssistantInteraction();
    status.CountInteraction();
  }
  notifier.Stopping();
  return 0;
}
