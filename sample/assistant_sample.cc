// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The smallest complete client of the host library: reads the configuration
// file named on the command line, starts an assistant with listening on,
// and starts one voice interaction for every character on standard input.
// At the end of input it shuts the assistant down and exits with 0.
#include <stdio.h>

#include <memory>
#include <string>

#include "platform/utils/file_utils.h"
#include "prebuilt/lib/assistant_manager.h"

int main(int argc, char** argv) {
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
  manager->EnableListening(true);
  manager->Start();

  // Every character, the line end included, starts one interaction. Without
  // this end the loop would spin on EOF, so end of input ends the program.
  while (getchar() != EOF)
    manager->StartAssistantInteraction();
  return 0;
}
