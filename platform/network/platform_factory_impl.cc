// The network plug-in's factory and its exported entry point.
#include "platform/utils/plugin_factory.h"
#include "prebuilt/lib/api_wrappers.h"

namespace assistant_reference {
namespace {

// Offers nothing yet.
class PlatformFactoryImpl : public PluginFactory {};

}  // namespace
}  // namespace assistant_reference

extern "C" __attribute__((visibility("default"))) C_API_PlatformFactory*
NewVantorPlatformEntrypoint(int version) {
  return assistant_client::CreatePlatformEntrypoint(
      version, new assistant_reference::PlatformFactoryImpl());
}
