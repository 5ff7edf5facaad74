// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/network_view.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>
#include <dbus/dbus.h>
#include <pthread.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "core/logging.h"
#include "host/network/own_instance.h"

namespace vantor_host {
namespace {

// Without a system bus there is nothing to follow; trying again now and
// then is all that is left.
constexpr int kReconnectSeconds = 5;
// Looks for our registration after it succeeded, this many, this far apart.
constexpr int kLooks = 4;
constexpr int kLookPauseSeconds = 3;

}  // namespace

struct NetworkView::Core {
  Core(const std::string& service_type,
       const std::string& id_text,
       const std::string& run_text,
       Listener listener)
      : service_type_(service_type),
        id_text_(id_text),
        run_text_(run_text),
        listener_(std::move(listener)),
        own_(service_type) {}

  // The view's thread only, or while it does not run.
  void Connect();
  void ClientState(AvahiClient* client, int state);
  void Browsed(int interface,
               int protocol,
               int event,
               const std::string& name,
               bool local);
  void Resolved(AvahiServiceResolver* resolver,
                const std::string& name,
                bool found,
                bool ours);
  void LookForOwn();
  // One look of LookForOwn's, and the next one planned.
  void Look();
  // Frees the browser and the resolvers; the daemon took them along.
  void DropLookups();
  // Tells the listener that this process's instance is shown as |name|.
  void Shown(const std::string& name);
  void Reconnect();
  void DaemonServes();
  // Any thread: |listener_| is called no more once this returns.
  void Silence();
  // Stops the thread and frees what the daemon holds for the view.
  void TearDown();

  const std::string service_type_;
  const std::string id_text_;   // "id=" and the device id.
  const std::string run_text_;  // This process's token.
  const Listener listener_;
  std::mutex listener_mutex_;  // Guards |silenced_|, held while it runs.
  bool silenced_ = false;
  AvahiThreadedPoll* poll_ = nullptr;  // Owns the thread.
  AvahiClient* client_ = nullptr;
  AvahiTimeout* reconnect_ = nullptr;
  // Looks again while our registration is not shown: an answer from a
  // cache may still name a name's previous owner.
  AvahiTimeout* look_again_ = nullptr;
  int looks_left_ = 0;
  AvahiServiceBrowser* browser_ = nullptr;
  // Names of the type on the network -> the (interface, protocol) pairs
  // they are shown on.
  std::map<std::string, std::set<std::pair<int, int>>> present_;
  // The names of |present_|, for other threads.
  mutable std::mutex names_mutex_;
  std::set<std::string> names_;  // Guarded by |names_mutex_|.
  // The local instances and the resolver that follows each one's data.
  std::map<std::string, AvahiServiceResolver*> resolvers_;
  // Other instances resolved once by LookForOwn, until they answer.
  std::map<std::string, AvahiServiceResolver*> looks_;
  OwnInstance own_;
  bool daemon_serving_ = false;
  // The current client was in a state other than failure.
  bool client_worked_ = false;
};

struct NetworkView::Callbacks {
  static void ClientState(AvahiClient* client,
                          AvahiClientState state,
                          void* self) {
    static_cast<NetworkView::Core*>(self)->ClientState(client, state);
  }

  static void Reconnect(AvahiTimeout* /*timeout*/, void* self) {
    static_cast<NetworkView::Core*>(self)->Reconnect();
  }

  static void LookAgain(AvahiTimeout* /*timeout*/, void* self) {
    static_cast<NetworkView::Core*>(self)->Look();
  }

  static void Start(AvahiTimeout* /*timeout*/, void* self) {
    pthread_setname_np(pthread_self(), "VantorMdnsView");
    static_cast<NetworkView::Core*>(self)->Connect();
  }

  static void Browse(AvahiServiceBrowser* /*browser*/,
                     AvahiIfIndex interface,
                     AvahiProtocol protocol,
                     AvahiBrowserEvent event,
                     const char* name,
                     const char* /*type*/,
                     const char* /*domain*/,
                     AvahiLookupResultFlags flags,
                     void* self) {
    static_cast<NetworkView::Core*>(self)->Browsed(
        interface, protocol, event, name ? name : "",
        (flags & AVAHI_LOOKUP_RESULT_LOCAL) != 0);
  }

  static void Resolve(AvahiServiceResolver* resolver,
                      AvahiIfIndex /*interface*/,
                      AvahiProtocol /*protocol*/,
                      AvahiResolverEvent event,
                      const char* name,
                      const char* /*type*/,
                      const char* /*domain*/,
                      const char* /*host_name*/,
                      const AvahiAddress* /*address*/,
                      uint16_t /*port*/,
                      AvahiStringList* txt,
                      AvahiLookupResultFlags /*flags*/,
                      void* self) {
    auto* view = static_cast<NetworkView::Core*>(self);
    bool id = false, run = false;
    for (AvahiStringList* item = txt; item; item = item->next) {
      const std::string text(reinterpret_cast<const char*>(item->text),
                             item->size);
      id = id || text == view->id_text_;
      run = run || text == view->run_text_;
    }
    view->Resolved(resolver, name ? name : "", event == AVAHI_RESOLVER_FOUND,
                   id && run);
  }
};

NetworkView::NetworkView(const std::string& service_type,
                         const std::string& id_text,
                         const std::string& run_text,
                         Listener listener,
                         std::chrono::milliseconds stop_wait)
    : stop_wait_(stop_wait),
      core_(new Core(service_type, id_text, run_text, std::move(listener))) {
  // The bus library's lazy set-up is not safe to race: done here, before
  // this view's thread or the responder's can first use it.
  dbus_threads_init_default();
  core_->poll_ = avahi_threaded_poll_new();
  if (!core_->poll_) {
    LOG(WARNING) << "mDNS: cannot watch the network: no event loop";
    return;
  }
  const AvahiPoll* api = avahi_threaded_poll_get(core_->poll_);
  timeval now;
  api->timeout_new(api, avahi_elapse_time(&now, 0, 0), &Callbacks::Start,
                   core_);
  core_->reconnect_ =
      api->timeout_new(api, nullptr, &Callbacks::Reconnect, core_);
  core_->look_again_ =
      api->timeout_new(api, nullptr, &Callbacks::LookAgain, core_);
  if (avahi_threaded_poll_start(core_->poll_) < 0)
    LOG(WARNING) << "mDNS: cannot watch the network: no thread";
}

NetworkView::~NetworkView() {
  core_->Silence();
  struct Stopped {
    std::mutex mutex;
    std::condition_variable done;
    bool stopped = false;
  };
  auto stopped = std::make_shared<Stopped>();
  std::thread([core = core_, stopped] {
    pthread_setname_np(pthread_self(), "VantorMdnsStop");
    core->TearDown();
    delete core;
    std::lock_guard<std::mutex> lock(stopped->mutex);
    stopped->stopped = true;
    stopped->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(stopped->mutex);
  if (!stopped->done.wait_for(lock, stop_wait_,
                              [&stopped] { return stopped->stopped; })) {
    LOG(WARNING) << "mDNS: stopped watching the network without the daemon: "
                    "it did not answer within "
                 << stop_wait_.count() << " ms";
  }
}

void NetworkView::LookForOwn() {
  if (!core_->poll_)
    return;
  avahi_threaded_poll_lock(core_->poll_);
  core_->LookForOwn();
  avahi_threaded_poll_unlock(core_->poll_);
}

std::set<std::string> NetworkView::Names() const {
  std::lock_guard<std::mutex> lock(core_->names_mutex_);
  return core_->names_;
}

void NetworkView::Core::Silence() {
  std::lock_guard<std::mutex> lock(listener_mutex_);
  silenced_ = true;
}

void NetworkView::Core::DaemonServes() {
  std::lock_guard<std::mutex> lock(listener_mutex_);
  if (!silenced_ && listener_.daemon_serves)
    listener_.daemon_serves();
}

void NetworkView::Core::TearDown() {
  if (!poll_)
    return;
  avahi_threaded_poll_stop(poll_);
  DropLookups();
  if (client_)
    avahi_client_free(client_);
  // The timeouts go with the loop.
  avahi_threaded_poll_free(poll_);
}

void NetworkView::Core::Connect() {
  client_worked_ = false;
  int error = 0;
  client_ =
      avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL,
                       &Callbacks::ClientState, this, &error);
  if (client_)
    return;
  LOG(WARNING) << "mDNS: cannot reach the system bus (" << avahi_strerror(error)
               << "); trying again in " << kReconnectSeconds << " s";
  const AvahiPoll* api = avahi_threaded_poll_get(poll_);
  timeval at;
  api->timeout_update(reconnect_,
                      avahi_elapse_time(&at, kReconnectSeconds * 1000, 0));
}

void NetworkView::Core::Reconnect() {
  const AvahiPoll* api = avahi_threaded_poll_get(poll_);
  api->timeout_update(reconnect_, nullptr);
  DropLookups();
  if (client_)
    avahi_client_free(client_);
  client_ = nullptr;
  Connect();
}

void NetworkView::Core::ClientState(AvahiClient* client, int state) {
  const bool worked = client_worked_;
  client_worked_ = state != AVAHI_CLIENT_FAILURE;
  switch (state) {
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_RUNNING:
      if (!browser_) {
        browser_ = avahi_service_browser_new(
            client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, service_type_.c_str(),
            nullptr, static_cast<AvahiLookupFlags>(0), &Callbacks::Browse,
            this);
        if (!browser_) {
          LOG(WARNING) << "mDNS: cannot browse " << service_type_ << ": "
                       << avahi_strerror(avahi_client_errno(client));
        }
      }
      if (state == AVAHI_CLIENT_S_RUNNING && !daemon_serving_) {
        daemon_serving_ = true;
        DaemonServes();
      }
      return;
    case AVAHI_CLIENT_CONNECTING:
    case AVAHI_CLIENT_FAILURE:
      daemon_serving_ = false;
      // Avahi's client tells a daemon that went from a bus that did only
      // at its start; either way the daemon is out of reach.
      own_.DaemonGone();
      DropLookups();
      if (state == AVAHI_CLIENT_FAILURE) {
        // The client is spent; a new one is made outside its callback, at
        // once unless this one failed from the start.
        const AvahiPoll* api = avahi_threaded_poll_get(poll_);
        timeval at;
        api->timeout_update(
            reconnect_,
            avahi_elapse_time(&at, worked ? 0 : kReconnectSeconds * 1000, 0));
      }
      return;
  }
}

void NetworkView::Core::Browsed(int interface,
                                int protocol,
                                int event,
                                const std::string& name,
                                bool local) {
  switch (event) {
    case AVAHI_BROWSER_NEW: {
      present_[name].insert({interface, protocol});
      {
        std::lock_guard<std::mutex> lock(names_mutex_);
        names_.insert(name);
      }
      // Another device's instance needs no look: only the local daemon
      // announces ours.
      if (!local || resolvers_.count(name))
        return;
      // Kept open: it reports every change of the instance's data, such as
      // another process's registration taking the name over.
      AvahiServiceResolver* resolver = avahi_service_resolver_new(
          client_, interface, protocol, name.c_str(), service_type_.c_str(),
          nullptr, AVAHI_PROTO_UNSPEC, static_cast<AvahiLookupFlags>(0),
          &Callbacks::Resolve, this);
      if (resolver)
        resolvers_[name] = resolver;
      return;
    }
    case AVAHI_BROWSER_REMOVE: {
      auto it = present_.find(name);
      if (it == present_.end())
        return;
      it->second.erase({interface, protocol});
      if (!it->second.empty())
        return;
      present_.erase(it);
      {
        std::lock_guard<std::mutex> lock(names_mutex_);
        names_.erase(name);
      }
      for (auto* lookups : {&resolvers_, &looks_}) {
        auto resolver = lookups->find(name);
        if (resolver != lookups->end()) {
          avahi_service_resolver_free(resolver->second);
          lookups->erase(resolver);
        }
      }
      own_.Withdrawn(name);
      return;
    }
    case AVAHI_BROWSER_FAILURE:
      LOG(WARNING) << "mDNS: browsing " << service_type_ << " failed";
      DropLookups();
      return;
    default:  // The cache's ends say nothing about the instances.
      return;
  }
}

void NetworkView::Core::Resolved(AvahiServiceResolver* resolver,
                                 const std::string& name,
                                 bool found,
                                 bool ours) {
  auto look = looks_.find(name);
  if (look != looks_.end() && look->second == resolver) {
    looks_.erase(look);
    avahi_service_resolver_free(resolver);
  }
  if (!found)
    return;  // Unanswered for now; a local instance's resolver goes on.
  if (std::optional<std::string> shown = own_.Answered(name, ours))
    Shown(*shown);
}

void NetworkView::Core::LookForOwn() {
  looks_left_ = kLooks;
  Look();
}

void NetworkView::Core::Look() {
  const AvahiPoll* api = avahi_threaded_poll_get(poll_);
  api->timeout_update(look_again_, nullptr);
  if (own_.shown() || !client_ || looks_left_ <= 0)
    return;
  if (--looks_left_ > 0) {
    timeval at;
    api->timeout_update(look_again_,
                        avahi_elapse_time(&at, kLookPauseSeconds * 1000, 0));
  }
  for (const auto& entry : present_) {
    const std::string& name = entry.first;
    if (resolvers_.count(name) || looks_.count(name) || entry.second.empty())
      continue;
    const std::pair<int, int> where = *entry.second.begin();
    AvahiServiceResolver* resolver = avahi_service_resolver_new(
        client_, where.first, where.second, name.c_str(), service_type_.c_str(),
        nullptr, AVAHI_PROTO_UNSPEC, static_cast<AvahiLookupFlags>(0),
        &Callbacks::Resolve, this);
    if (resolver)
      looks_[name] = resolver;
  }
}

void NetworkView::Core::DropLookups() {
  for (auto* lookups : {&resolvers_, &looks_}) {
    for (const auto& entry : *lookups)
      avahi_service_resolver_free(entry.second);
    lookups->clear();
  }
  present_.clear();
  {
    std::lock_guard<std::mutex> lock(names_mutex_);
    names_.clear();
  }
  if (browser_)
    avahi_service_browser_free(browser_);
  browser_ = nullptr;
}

void NetworkView::Core::Shown(const std::string& name) {
  std::lock_guard<std::mutex> lock(listener_mutex_);
  if (!silenced_ && listener_.shown)
    listener_.shown(name);
}

}  // namespace vantor_host
