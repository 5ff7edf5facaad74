// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A third-party client in one file: starts an assistant from a configuration
// file, lets it run a number of interactions and shuts it down. Built only
// against the installed SDK (see CMakeLists.txt beside it).
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/utils/file_utils.h"
#include "prebuilt/lib/assistant_client.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s config.json [interactions]\n", argv[0]);
    return 2;
  }
  const std::string config = assistant_reference::ReadFile(argv[1], false);
  if (config.empty()) {
    fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  const int interactions = argc > 2 ? atoi(argv[2]) : 1;

  std::unique_ptr<assistant_client::AssistantManager> manager(
      assistant_client::AssistantManager::Create(/*platform=*/nullptr, config));
  manager->EnableListening(true);
  manager->Start();
  for (int i = 0; i < interactions; ++i)
    manager->StartAssistantInteraction();
  printf("device %s ran %d interaction(s)\n", manager->GetDeviceId().c_str(),
         interactions);
  return 0;
}
