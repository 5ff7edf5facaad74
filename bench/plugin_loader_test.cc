// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/plugin_loader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace bench {
namespace {

TEST(PluginLoaderTest, SaysWhyALibraryCannotBeLoaded) {
  Plugin missing("/nonexistent/libvantor_none.so");
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.error().find("libvantor_none.so"), std::string::npos)
      << missing.error();

  // A real library without the entry point.
  Plugin not_a_plugin("libc.so.6");
  EXPECT_FALSE(not_a_plugin.ok());
  EXPECT_NE(not_a_plugin.error().find("NewVantorPlatformEntrypoint"),
            std::string::npos)
      << not_a_plugin.error();
}

TEST(PluginLoaderTest, MakesTheProvidersThePluginOffers) {
  Plugin plugin(VANTOR_SYSTEM_PLUGIN);
  ASSERT_TRUE(plugin.ok()) << plugin.error();

  char folder[] = "/tmp/vantor-plugin-loader-test.XXXXXX";
  ASSERT_TRUE(mkdtemp(folder));
  const std::string path = std::string(folder) + "/mic_state";
  std::ofstream(path) << "off";
  {
    auto provider = plugin.NewSystemProvider(
        "{\"platform_config\": {\"mic_state_path\": \"" + path + "\"}}");
    ASSERT_TRUE(provider);
    // Through the plug-in's structure: its provider read the file.
    EXPECT_EQ(provider->GetMicMuteState(), 1);
  }
  EXPECT_FALSE(plugin.NewNetworkProvider("{}"));
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
}  // namespace bench
