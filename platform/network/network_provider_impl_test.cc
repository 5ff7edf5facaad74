// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/network/network_provider_impl.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "testing/fake_dns_sd.h"
#include "platform/utils/file_utils.h"
#include "testing/file_tree.h"

namespace assistant_reference {
namespace {

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;

// A fresh folder for the state file, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/network_provider_test.XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempFolder() { testing_support::RemoveTree(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

long PeakResidentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0)
      return std::stol(line.substr(6));
  }
  return 0;
}

std::string ConfigWithPath(const std::string& path) {
  return "{\"platform_config\": {\"connection_status_path\": \"" + path +
         "\"}}";
}

TEST(NetworkProviderTest, ConnectionStatusFromTheStateFile) {
  TempFolder folder;
  const std::string path = folder.path() + "/network_state";
  NetworkProviderImpl provider(ConfigWithPath(path));

  EXPECT_EQ(provider.GetConnectionStatus(), NetworkProvider::UNKNOWN)
      << "missing file";
  const struct {
    const char* text;
    NetworkProvider::ConnectionStatus status;
  } kCases[] = {
      {"WIFI_NOT_CONFIGURED", NetworkProvider::WIFI_NOT_CONFIGURED},
      {"DISCONNECTED_FROM_WIFI", NetworkProvider::DISCONNECTED_FROM_WIFI},
      {"DISCONNECTED_FROM_INTERNET",
       NetworkProvider::DISCONNECTED_FROM_INTERNET},
      {"WIFI_ERROR", NetworkProvider::WIFI_ERROR},
      {"CONNECTING", NetworkProvider::CONNECTING},
      {"CONNECTED", NetworkProvider::CONNECTED},
      {"CONNECTED\n", NetworkProvider::CONNECTED},
      {" WIFI_ERROR \t", NetworkProvider::WIFI_ERROR},
      {"connected", NetworkProvider::UNKNOWN},
      {"CONNECTEDX", NetworkProvider::UNKNOWN},
      {"CONNECTED CONNECTED", NetworkProvider::UNKNOWN},
      {"UNKNOWN", NetworkProvider::UNKNOWN},
      {"", NetworkProvider::UNKNOWN},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(WriteFile(path, c.text));
    EXPECT_EQ(provider.GetConnectionStatus(), c.status)
        << "file holding '" << c.text << "'";
  }
}

// The status file is one word: anything larger is no status and is never
// read whole, however large (a 1 GiB sparse file here), nor blocks when it
// is a FIFO.
TEST(NetworkProviderTest, LargeFilesAndFifosAreUnknownAtOnce) {
  TempFolder folder;
  const std::string path = folder.path() + "/network_state";
  NetworkProviderImpl provider(ConfigWithPath(path));
  ASSERT_TRUE(WriteFile(path, "CONNECTED" + std::string(4000, ' ')));
  EXPECT_EQ(provider.GetConnectionStatus(), NetworkProvider::CONNECTED);
  ASSERT_TRUE(WriteFile(path, "CONNECTED" + std::string(5000, ' ')));
  EXPECT_EQ(provider.GetConnectionStatus(), NetworkProvider::UNKNOWN);

  ASSERT_EQ(0, truncate(path.c_str(), off_t{1} << 30));
  const long before = PeakResidentKib();
  EXPECT_EQ(provider.GetConnectionStatus(), NetworkProvider::UNKNOWN);
  EXPECT_LT(PeakResidentKib() - before, 1024);

  ASSERT_EQ(0, unlink(path.c_str()));
  ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
  EXPECT_EQ(provider.GetConnectionStatus(), NetworkProvider::UNKNOWN);
}

TEST(NetworkProviderTest, DefaultPathIsUnderTheRootFolder) {
  TempFolder folder;
  const char* old = getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  const std::string expected =
      GetAssistantRootPath() + "/assistant/network_state";
  // Both without the key and with a key of the wrong type.
  NetworkProviderImpl absent("{\"platform_config\": {}}");
  NetworkProviderImpl wrong_type(
      "{\"platform_config\": {\"connection_status_path\": 7}}");
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");

  ASSERT_EQ(expected.rfind(folder.path(), 0), 0u);
  EXPECT_EQ(absent.GetConnectionStatus(), NetworkProvider::UNKNOWN);
  ASSERT_TRUE(WriteFile(expected, "CONNECTING\n"));
  EXPECT_EQ(absent.GetConnectionStatus(), NetworkProvider::CONNECTING);
  EXPECT_EQ(wrong_type.GetConnectionStatus(), NetworkProvider::CONNECTING);
}

TEST(NetworkProviderTest, ResponderBelongsToTheProvider) {
  fake_dns_sd::Reset();
  // The daemon answers only after the provider has begun to go away.
  fake_dns_sd::Registration slow;
  slow.reply_delay = std::chrono::milliseconds(100);
  fake_dns_sd::ScriptNextRegistration(slow);
  std::vector<MdnsResponder::Result> results;
  {
    NetworkProviderImpl provider("{}");
    MdnsResponder* responder = provider.GetMdnsResponder();
    ASSERT_NE(responder, nullptr);
    EXPECT_EQ(provider.GetMdnsResponder(), responder);
    responder->AddService("_xyz._tcp", "Kitchen", 4242, "",
                          [&](MdnsResponder::Result result, std::string) {
                            results.push_back(result);
                          });
  }
  EXPECT_THAT(results, testing::ElementsAre(MdnsResponder::SUCCESS));
  EXPECT_THAT(fake_dns_sd::CalledFunctions(),
              testing::ElementsAre("DNSServiceRegister", "DNSServiceRefSockFD",
                                   "DNSServiceProcessResult",
                                   "DNSServiceRefDeallocate"));
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 0);
}

}  // namespace
}  // namespace assistant_reference
