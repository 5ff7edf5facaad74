// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/network_reactions.h"

#include <algorithm>
#include <iomanip>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "core/synchronization.h"
#include "host/network/kept_name.h"
#include "host/network/network_view.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/file_utils.h"
#include "prebuilt/lib/enum_names.h"

namespace vantor_host {
namespace {

using assistant_reference::ConfigInspector;

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;

constexpr char kDefaultServiceType[] = "_vantor._tcp";
constexpr char kDefaultInstanceName[] = "Vantor Device";
constexpr int kDefaultPort = 8009;

// Optional keys: absent is not worth a warning, another type is.
std::string OptionalString(const assistant_reference::ConfigAccessor& config,
                           const std::string& key,
                           const std::string& default_value) {
  return ConfigInspector::HasKey(config, key)
             ? config.GetString(key, default_value)
             : default_value;
}

uint16_t OptionalPort(const assistant_reference::ConfigAccessor& config,
                      const std::string& key,
                      int default_value) {
  const int port = ConfigInspector::HasKey(config, key)
                       ? config.GetInt(key, default_value)
                       : default_value;
  if (port < 1 || port > 65535) {
    LOG(WARNING) << "mdns_port " << port << " is not a port; using "
                 << default_value;
    return static_cast<uint16_t>(default_value);
  }
  return static_cast<uint16_t>(port);
}

// Where the name the network gave the device is kept for its next start.
std::string KeptNamePath() {
  return assistant_reference::GetAssistantRootPath() + "/host/mdns_name";
}

unsigned Jitter() {
  static std::mt19937 random{std::random_device()()};
  static core::Mutex mutex;
  core::AutoLock lock(&mutex);
  return static_cast<unsigned>(random());
}

std::string RunToken() {
  std::random_device random;
  std::ostringstream token;
  token << std::hex << std::setfill('0') << std::setw(8) << random();
  return token.str();
}

// DNS TXT record data: each string behind its one-byte length.
std::string TxtRecord(const std::vector<std::string>& strings) {
  std::string wire;
  for (const std::string& s : strings) {
    const std::string kept = s.substr(0, 255);
    wire += static_cast<char>(kept.size());
    wire += kept;
  }
  return wire;
}

}  // namespace

struct NetworkReactions::Advertisement {
  enum class State {
    kAsked,       // A request awaits its answer.
    kAdvertised,  // SUCCESS.
    kWaiting,     // NON_FATAL_ERROR: a new try is planned.
    kRefused,     // FATAL_ERROR: given up.
  };

  core::Mutex mutex;
  State state CORE_GUARDED_BY(mutex) = State::kAsked;
  // The name of the last request.
  std::string asked CORE_GUARDED_BY(mutex);
  int failures CORE_GUARDED_BY(mutex) = 0;
  Scheduler::TaskId retry CORE_GUARDED_BY(mutex) = 0;
  // Null once the owner is going: answers after that change nothing.
  NetworkReactions* owner CORE_GUARDED_BY(mutex) = nullptr;
};

std::string NetworkReactions::FreeName(const std::string& preferred,
                                       const std::string& configured,
                                       const std::set<std::string>& shown,
                                       size_t skip) {
  if (!shown.count(preferred) && skip == 0)
    return preferred;
  for (size_t n = 1;; ++n) {
    std::string name =
        n == 1 ? configured : configured + " #" + std::to_string(n);
    if (!shown.count(name) && skip-- == 0)
      return name;
  }
}

std::chrono::milliseconds NetworkReactions::RetryDelay(const Options& options,
                                                       int attempt) {
  std::chrono::milliseconds delay = options.first_retry;
  for (int i = 1; i < attempt && delay < options.max_retry; ++i)
    delay *= 2;
  return std::min(delay, options.max_retry);
}

NetworkReactions::NetworkReactions(
    NetworkProvider* provider,
    const assistant_reference::ConfigAccessor& host_config,
    const std::string& device_id,
    Options options)
    : provider_(provider),
      responder_(provider->GetMdnsResponder()),
      options_(options),
      service_type_(OptionalString(host_config,
                                   "mdns_service_type",
                                   kDefaultServiceType)),
      configured_name_(OptionalString(host_config,
                                      "mdns_instance_name",
                                      kDefaultInstanceName)),
      instance_name_(KeptName(KeptNamePath()).NameToAsk(configured_name_)),
      port_(OptionalPort(host_config, "mdns_port", kDefaultPort)),
      run_text_("run=" + RunToken()),
      txt_record_(TxtRecord({"id=" + device_id, run_text_})),
      advertisement_(std::make_shared<Advertisement>()),
      retry_("VantorMdnsRetry") {
  LOG(INFO) << "Connection status: "
            << assistant_client::EnumName(provider_->GetConnectionStatus());
  if (!responder_) {
    LOG(INFO) << "The network provider has no mDNS responder; the device is "
                 "not advertised";
    return;
  }
  {
    core::AutoLock lock(&advertisement_->mutex);
    advertisement_->owner = this;
    advertisement_->asked = instance_name_;
  }
  LOG(INFO) << "Advertising " << instance_name_ << "." << service_type_
            << " on port " << port_;
  // The view comes first: it brings up the bus library on this thread before
  // the responder's thread first uses it, as that library's lazy set-up is
  // not safe to race.
  if (options_.watch_network)
    MakeView(device_id);
  Request();
}

void NetworkReactions::MakeView(const std::string& device_id) {
  NetworkView::Listener listener;
  // A daemon that starts to serve is worth a try at once, however long the
  // planned pause.
  listener.daemon_serves = [advertisement = advertisement_] {
    core::AutoLock lock(&advertisement->mutex);
    NetworkReactions* owner = advertisement->owner;
    if (!owner || advertisement->state != Advertisement::State::kWaiting ||
        !owner->retry_.Cancel(advertisement->retry)) {
      return;
    }
    LOG(INFO) << "The mDNS daemon serves: advertising again now";
    advertisement->retry = owner->retry_.Post([owner] { owner->Request(); });
  };
  // A device keeps the name the network gave it (RFC 6762, 9): asked for
  // again at its next start, it does not move among its namesakes.
  listener.shown =
      [configured = configured_name_, kept = instance_name_,
       file = KeptName(KeptNamePath())](const std::string& name) mutable {
        if (name == kept)
          return;
        if (!file.Keep(configured, name)) {
          LOG(WARNING) << "mDNS: the name '" << name
                       << "' could not be kept in " << file.path();
          return;
        }
        kept = name;
      };
  view_ = std::make_unique<NetworkView>(service_type_, "id=" + device_id,
                                        run_text_, std::move(listener));
}

NetworkReactions::~NetworkReactions() {
  if (!responder_)
    return;
  {
    core::AutoLock lock(&advertisement_->mutex);
    advertisement_->owner = nullptr;
  }
  // A try under way finishes asking; planned ones are dropped. The view
  // goes after it: a try reads the names it shows.
  retry_.Stop();
  view_.reset();
  Advertisement::State state;
  std::string asked;
  {
    core::AutoLock lock(&advertisement_->mutex);
    state = advertisement_->state;
    asked = advertisement_->asked;
  }
  if (state != Advertisement::State::kAsked &&
      state != Advertisement::State::kAdvertised) {
    return;
  }
  // Also when the answer has not come yet: the removal runs after it.
  LOG(INFO) << "Withdrawing " << asked << "." << service_type_;
  responder_->RemoveService(service_type_, asked);
}

void NetworkReactions::Request() {
  std::string name;
  {
    core::AutoLock lock(&advertisement_->mutex);
    if (!advertisement_->owner)
      return;
    advertisement_->state = Advertisement::State::kAsked;
    if (advertisement_->failures > 0 && view_) {
      // Spread over the first few free names: namesakes refused together
      // would otherwise all ask for the same one.
      const std::set<std::string> shown = view_->Names();
      advertisement_->asked = FreeName(instance_name_, configured_name_, shown,
                                       Jitter() % (1 + shown.size() / 4));
    }
    name = advertisement_->asked;
  }
  const std::string service = name + "." + service_type_;
  const Options options = options_;
  responder_->AddService(
      service_type_, name, port_, txt_record_,
      [advertisement = advertisement_, service, options](
          MdnsResponder::Result result, std::string message) {
        core::AutoLock lock(&advertisement->mutex);
        NetworkReactions* owner = advertisement->owner;
        if (result == MdnsResponder::SUCCESS) {
          advertisement->state = Advertisement::State::kAdvertised;
          LOG(INFO) << "Advertised " << service << ": SUCCESS";
          // Not under this lock: the view's thread takes it in its
          // callbacks.
          if (owner && owner->view_)
            owner->retry_.Post([owner] { owner->view_->LookForOwn(); });
          return;
        }
        if (result != MdnsResponder::NON_FATAL_ERROR || !owner) {
          advertisement->state = Advertisement::State::kRefused;
          LOG(WARNING) << "Advertising " << service
                       << " failed: " << assistant_client::EnumName(result)
                       << " " << message;
          return;
        }
        // Jittered, so that namesakes refused together do not ask again
        // in step.
        const std::chrono::milliseconds delay =
            RetryDelay(options, ++advertisement->failures) *
            (750 + Jitter() % 500) / 1000;
        LOG(WARNING) << "Advertising " << service
                     << " failed: " << assistant_client::EnumName(result) << " "
                     << message << "; trying again in " << delay.count()
                     << " ms";
        advertisement->state = Advertisement::State::kWaiting;
        advertisement->retry =
            owner->retry_.PostDelayed(delay, [owner] { owner->Request(); });
      });
}

}  // namespace vantor_host
