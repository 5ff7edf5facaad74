// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The plug-ins' factory base: each kind reaches its Make* hook with the
// configuration text, and the platform wrapper of every request is released
// once, whether or not a provider came of it. A single-provider factory
// offers exactly the kind its provider implements.
#include "prebuilt/lib/plugin_factory.h"

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/bridge_test_util.h"
#include "prebuilt/lib/plugin_entrypoint.h"

namespace assistant_reference {
namespace {

using assistant_client::testing_util::Deletions;
using assistant_client::testing_util::InertFileProvider;
using assistant_client::testing_util::InertPlatformApi;
using assistant_client::testing_util::InertSystemProvider;

// A platform wrapper as the bridge hands one to a factory: on the heap.
class CountedPlatform : public InertPlatformApi {
 public:
  explicit CountedPlatform(Deletions* deletions) : deletions_(deletions) {}
  ~CountedPlatform() override { ++deletions_->count; }

 private:
  Deletions* deletions_;
};

// Offers the file and system kinds, as a device maker's plug-in would offer
// some; records which configuration each hook saw.
class TwoKindFactory : public PluginFactory {
 public:
  std::vector<std::string> configs;

 protected:
  assistant_client::FileProvider* MakeFileProvider(
      const std::string& config) override {
    configs.push_back("file:" + config);
    return new InertFileProvider();
  }
  assistant_client::SystemProvider* MakeSystemProvider(
      const std::string& config) override {
    configs.push_back("system:" + config);
    return new InertSystemProvider();
  }
};

TEST(PluginFactoryTest, OffersItsKindsAndReleasesEveryPlatformOnce) {
  TwoKindFactory factory;
  Deletions platforms;
  auto platform = [&] { return new CountedPlatform(&platforms); };

  std::unique_ptr<assistant_client::FileProvider> file(
      factory.NewFileProvider("f", platform()));
  std::unique_ptr<assistant_client::SystemProvider> system(
      factory.NewSystemProvider("s", platform()));
  EXPECT_NE(nullptr, file);
  EXPECT_NE(nullptr, system);
  EXPECT_EQ((std::vector<std::string>{"file:f", "system:s"}), factory.configs);

  EXPECT_EQ(nullptr, factory.NewAuthProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewAudioInputProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewAudioOutputProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewNetworkProvider("", platform()));
  EXPECT_EQ(6, platforms.count);
}

struct ConfiguredSystemProvider : InertSystemProvider {
  explicit ConfiguredSystemProvider(const std::string& config)
      : config(config) {}
  const std::string config;
};

TEST(PluginFactoryTest, SingleProviderFactoryOffersItsProvidersKindOnly) {
  SingleProviderFactory<ConfiguredSystemProvider> factory;
  Deletions platforms;
  auto platform = [&] { return new CountedPlatform(&platforms); };
  EXPECT_EQ(nullptr, factory.NewAuthProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewAudioInputProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewAudioOutputProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewFileProvider("", platform()));
  EXPECT_EQ(nullptr, factory.NewNetworkProvider("", platform()));
  std::unique_ptr<assistant_client::SystemProvider> system(
      factory.NewSystemProvider("the config", platform()));
  ASSERT_NE(nullptr, system);
  EXPECT_EQ("the config",
            static_cast<ConfiguredSystemProvider*>(system.get())->config);
  EXPECT_EQ(6, platforms.count);
}

}  // namespace
}  // namespace assistant_reference
