// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A client that hears everything the assistant tells it: it registers both
// listener kinds, a device action handler, debug handlers and a media
// listener, prints one line for every call it gets, and takes commands on
// standard input. Built against the installed SDK (CMakeLists.txt beside it);
// docs/development-host.md shows it at work with the stand-in host.
//
//   assistant_client config.json
//   > turn          start an interaction and wait for its end
//   > cancel        start one and stop it while it listens
//   > top           StopTopInteraction
//   > media next    next, previous, resume, pause or stop
//   > var NAME TEXT set a debug variable
//   > quit          (or the end of input) shut down and exit
//
// Debug paths: GET /hello?name=N (200 "hello N", 400 without a name),
// POST /echo (the body back), GET /count (three chunks), GET /wait (replies
// only when the client has gone: IsClosed()).
#include <stdarg.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/utils/file_utils.h"
#include "prebuilt/lib/assistant_client.h"
#include "prebuilt/lib/enum_names.h"

namespace {

using namespace assistant_client;  // NOLINT: an example full of overrides.
using std::chrono::seconds;

// Listener calls come on the host's threads: one line at a time.
std::mutex g_print_mutex;
void Print(const char* format, ...) {
  std::lock_guard<std::mutex> lock(g_print_mutex);
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fputc('\n', stdout);
  fflush(stdout);
}

// Lets the command loop wait for what the listeners heard.
class Events {
 public:
  void Count(int* counter) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++*counter;
    changed_.notify_all();
  }
  // Waits until |*counter| exceeds |before|; false after |timeout|.
  bool WaitPast(const int* counter, int before, seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return *counter > before; });
  }
  int Get(const int* counter) {
    std::lock_guard<std::mutex> lock(mutex_);
    return *counter;
  }

  int started = 0;        // OnStartFinished and the Start callback.
  int turns_begun = 0;    // OnConversationTurnStarted.
  int turns_ended = 0;    // OnConversationTurnFinished.
  int recognizing = 0;    // OnRecognitionStateChanged(kStarted).
  int media_changes = 0;  // OnPlaybackStateChange.

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

class DeviceListener : public DeviceStateListener {
 public:
  explicit DeviceListener(Events* events) : events_(events) {}
  void OnStartFinished() override {
    Print("device: OnStartFinished");
    events_->Count(&events_->started);
  }
  void OnAuthenticationReceived(bool authenticated) override {
    Print("device: OnAuthenticationReceived(%s)",
          authenticated ? "true" : "false");
  }
  void OnAlarmSoundingStarted() override {
    Print("device: OnAlarmSoundingStarted");
  }
  void OnAlarmSoundingFinished() override {
    Print("device: OnAlarmSoundingFinished");
  }
  void OnTimerSoundingStarted() override {
    Print("device: OnTimerSoundingStarted");
  }
  void OnTimerSoundingFinished() override {
    Print("device: OnTimerSoundingFinished");
  }
  void OnNotificationTrigger() override {
    Print("device: OnNotificationTrigger");
  }
  void OnNotificationClear() override { Print("device: OnNotificationClear"); }
  void OnHoldStarted() override { Print("device: OnHoldStarted"); }
  void OnHoldFinished() override { Print("device: OnHoldFinished"); }
  void OnMicMutedChange(bool muted) override {
    Print("device: OnMicMutedChange(%s)", muted ? "true" : "false");
  }
  void OnStopTopInteraction() override {
    Print("device: OnStopTopInteraction");
  }

 private:
  Events* const events_;
};

class ConversationListener : public ConversationStateListener {
 public:
  explicit ConversationListener(Events* events) : events_(events) {}
  void OnConversationTurnStarted(bool asked_for) override {
    Print("conversation: OnConversationTurnStarted(%s)",
          asked_for ? "true" : "false");
    events_->Count(&events_->turns_begun);
  }
  void OnConversationTurnFinished(Resolution resolution) override {
    Print("conversation: OnConversationTurnFinished(%s)", EnumName(resolution));
    events_->Count(&events_->turns_ended);
  }
  void OnRecognitionStateChanged(RecognitionState state,
                                 const RecognitionResult& result) override {
    Print("conversation: OnRecognitionStateChanged(%s, \"%s\")",
          EnumName(state), result.text_1.c_str());
    if (state == kStarted)
      events_->Count(&events_->recognizing);
  }
  void OnRespondingStarted(bool has_reply) override {
    Print("conversation: OnRespondingStarted(%s)",
          has_reply ? "true" : "false");
  }
  void OnRespondingFinished() override {
    Print("conversation: OnRespondingFinished");
  }

 private:
  Events* const events_;
};

// Owned by the assistant manager once registered: its destructor runs when
// the manager lets it go.
class ActionHandler : public DeviceActionHandler {
 public:
  ~ActionHandler() override { Print("released: device action handler"); }
  std::string GetContext() const override {
    Print("action: GetContext");
    return "{\"volume\": \"settable\"}";
  }
  void Execute(const std::string& action) override {
    Print("action: Execute %s", action.c_str());
  }
};

class MediaListener : public MediaManager::Listener {
 public:
  explicit MediaListener(Events* events) : events_(events) {}
  void OnPlaybackStateChange(const MediaStatus& status) override {
    Print("media: OnPlaybackStateChange(%s, \"%s\" by \"%s\", %lld ms)",
          EnumName(status.playback_state), status.metadata.title.c_str(),
          status.metadata.artist.c_str(),
          static_cast<long long>(status.metadata.duration_ms));
    events_->Count(&events_->media_changes);
  }

 private:
  Events* const events_;
};

// Counts the debug contexts the handlers were given and let go of.
struct ContextCount {
  std::atomic<int> received{0};
  std::atomic<int> deleted{0};
  void Delete(DebugHttpContext* context) {
    delete context;
    ++deleted;
  }
};

// Marks the release of a handler callback's state (the bridge releases it
// when the manager goes).
struct ReleaseNote {
  explicit ReleaseNote(const char* path) : path(path) {}
  ReleaseNote(const ReleaseNote&) = delete;
  ~ReleaseNote() { Print("released: debug handler %s", path); }
  const char* path;
};

void RegisterDebugHandlers(DebugInterface* debug,
                           ContextCount* contexts,
                           std::vector<std::thread>* waiters) {
  auto note = std::make_shared<ReleaseNote>("/hello");
  debug->RegisterUriPath("/hello",
                         [contexts, note](DebugHttpContext* context) {
                           ++contexts->received;
                           std::string name, agent;
                           context->GetHeaderValue("User-Agent", &agent);
                           Print("debug: GET %s (agent %s)",
                                 context->GetPath().c_str(),
                                 agent.empty() ? "none" : agent.c_str());
                           if (context->GetParamValue("name", &name))
                             context->ReplyOk("hello " + name + "\n");
                           else
                             context->ReplyBadRequest("name missing\n");
                           contexts->Delete(context);
                         },
                         {DebugHttpContext::kGet});
  debug->RegisterUriPath(
      "/echo",
      [contexts, note = std::make_shared<ReleaseNote>("/echo")](
          DebugHttpContext* context) {
        ++contexts->received;
        Print("debug: POST /echo %zu byte(s)", context->GetData().size());
        context->ReplyOk(context->GetData());
        contexts->Delete(context);
      },
      {DebugHttpContext::kPost, DebugHttpContext::kPut});
  debug->RegisterUriPath(
      "/count",
      [contexts, note = std::make_shared<ReleaseNote>("/count")](
          DebugHttpContext* context) {
        ++contexts->received;
        for (int i = 1; i <= 3; ++i)
          context->ReplyChunked(std::to_string(i) + "\n");
        Print("debug: GET /count: 3 chunks");
        contexts->Delete(context);  // Ends the chunked reply.
      },
      {DebugHttpContext::kGet});
  // Keeps the request open until the HTTP client goes away.
  debug->RegisterUriPath(
      "/wait",
      [contexts, waiters, note = std::make_shared<ReleaseNote>("/wait")](
          DebugHttpContext* context) {
        ++contexts->received;
        Print("debug: GET /wait: waiting for the client to go");
        waiters->emplace_back([contexts, context] {
          while (!context->IsClosed())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          Print("debug: /wait: the client has gone");
          contexts->Delete(context);
        });
      },
      {DebugHttpContext::kGet});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s config.json < commands\n", argv[0]);
    return 2;
  }
  const std::string config = assistant_reference::ReadFile(argv[1], false);
  if (config.empty()) {
    fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }

  // The listeners must outlive the manager: they are declared first.
  Events events;
  DeviceListener device_listener(&events);
  ConversationListener conversation_listener(&events);
  MediaListener media_listener(&events);
  ContextCount contexts;
  std::vector<std::thread> waiters;  // Only the /wait handler adds to it.

  std::unique_ptr<AssistantManager> manager(
      AssistantManager::Create(/*platform=*/nullptr, config));
  manager->AddDeviceStateListener(&device_listener);
  manager->AddConversationStateListener(&conversation_listener);
  manager->RegisterDeviceActionHandler(new ActionHandler());
  manager->GetMediaManager()->AddListener(&media_listener);
  RegisterDebugHandlers(manager->GetDebugInterface(), &contexts, &waiters);
  manager->EnableListening(true);
  manager->Start([&events] {
    Print("client: Start callback");
    events.Count(&events.started);
  });
  if (!events.WaitPast(&events.started, 1, seconds(10))) {
    fprintf(stderr, "%s: the assistant did not start\n", argv[0]);
    return 1;
  }
  Print("client: ready");

  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command, argument;
    words >> command >> argument;
    if (command.empty())
      continue;
    Print("client: > %s", line.c_str());
    if (command == "turn" || command == "cancel") {
      const int begun = events.Get(&events.turns_begun);
      const int ended = events.Get(&events.turns_ended);
      const int recognizing = events.Get(&events.recognizing);
      manager->StartAssistantInteraction();
      if (!events.WaitPast(&events.turns_begun, begun, seconds(1))) {
        Print("client: no turn began");
        continue;
      }
      if (command == "cancel") {
        events.WaitPast(&events.recognizing, recognizing, seconds(5));
        manager->StopAssistantInteraction();
      }
      if (!events.WaitPast(&events.turns_ended, ended, seconds(10)))
        Print("client: the turn did not end");
    } else if (command == "top") {
      manager->StopTopInteraction();
    } else if (command == "media") {
      MediaManager* media = manager->GetMediaManager();
      const int before = events.Get(&events.media_changes);
      if (argument == "next")
        media->Next();
      else if (argument == "previous")
        media->Previous();
      else if (argument == "resume")
        media->Resume();
      else if (argument == "pause")
        media->Pause();
      else if (argument == "stop")
        media->StopAndClearPlaylist();
      if (!events.WaitPast(&events.media_changes, before, seconds(1)))
        Print("client: no media change");
    } else if (command == "var") {
      std::string value;
      std::getline(words >> std::ws, value);
      manager->GetDebugInterface()->SetDebugVariable(argument, value);
    } else if (command == "quit") {
      break;
    } else {
      Print("client: unknown command %s", command.c_str());
    }
  }

  Print("client: shutting down");
  manager.reset();
  for (std::thread& waiter : waiters)
    waiter.join();
  Print("client: %d debug context(s) received, %d deleted",
        contexts.received.load(), contexts.deleted.load());
  return 0;
}
