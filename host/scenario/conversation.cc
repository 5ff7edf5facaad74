// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/scenario/conversation.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <utility>

#include "core/logging.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: a stand-in full of overrides.
using Listener = ConversationStateListener;
using std::chrono::milliseconds;

// How long past its length a reply may take to end, and a stopped output to
// confirm, before the host stops waiting for the output.
constexpr milliseconds kOutputGrace(3000);

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

std::string Join(const std::vector<std::string>& words, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < words.size(); ++i)
    text += (i ? " " : "") + words[i];
  return text;
}

Listener::RecognitionResult Text(const std::string& text) {
  Listener::RecognitionResult result;
  result.text_1 = text;
  return result;
}

}  // namespace

struct Conversation::Link {
  core::Mutex mutex;
  // Null once the conversation is gone.
  Conversation* owner CORE_GUARDED_BY(mutex) = nullptr;

  // Runs |task| on the owner's scheduler, if there still is one.
  void Post(std::function<void(Conversation*)> task) {
    core::AutoLock lock(&mutex);
    if (Conversation* conversation = owner)
      conversation->scheduler_->Post(
          [conversation, task] { task(conversation); });
  }
};

struct Conversation::Turn {
  enum class Phase { kListening, kActing, kResponding };
  ScenarioTurn script;
  int number = 0;
  int generation = 0;
  Phase phase = Phase::kListening;
  bool cancelled = false;
  AudioInput* input = nullptr;          // While listening; the provider's.
  std::unique_ptr<AudioOutput> output;  // While the reply plays.
  bool stopping_output = false;
  Scheduler::TaskId output_guard = 0;
};

Conversation::Conversation(Scenario scenario,
                           Scheduler* scheduler,
                           ClientListeners* listeners,
                           HostMediaManager* media)
    : scenario_(std::move(scenario)),
      scheduler_(scheduler),
      listeners_(listeners),
      media_(media),
      capture_(std::make_unique<InputMeter>()),
      link_(std::make_shared<Link>()) {
  core::AutoLock lock(&link_->mutex);
  link_->owner = this;
}

Conversation::~Conversation() {
  core::AutoLock lock(&link_->mutex);
  link_->owner = nullptr;
}

void Conversation::SetPlatform(AudioInputProvider* input,
                               AudioOutputProvider* output,
                               std::function<bool()> is_muted) {
  input_provider_ = input;
  output_provider_ = output;
  core::AutoLock lock(&mutex_);
  is_muted_ = std::move(is_muted);
}

// ---- Calls from the client's threads ----------------------------------------

void Conversation::Started(Callback<false> done) {
  bool first;
  {
    core::AutoLock lock(&mutex_);
    first = !started_;
    started_ = true;
  }
  auto holder = std::make_shared<Callback<false>>(std::move(done));
  scheduler_->Post([this, first, holder] {
    if (first) {
      listeners_->ForEachDevice(
          [](DeviceStateListener* listener) { listener->OnStartFinished(); });
    }
    (*holder)();
    if (first)
      ScheduleEvents();
  });
}

void Conversation::EnableListening(bool enable) {
  core::AutoLock lock(&mutex_);
  listening_ = enable;
}

int Conversation::RequestTurn() {
  const char* refused = nullptr;
  std::function<bool()> is_muted;
  {
    core::AutoLock lock(&mutex_);
    if (finishing_)
      refused = "the assistant is shutting down";
    else if (!started_)
      refused = "the assistant is not started";
    else if (!listening_)
      refused = "listening is disabled";
    is_muted = is_muted_;
  }
  if (!refused && is_muted && is_muted())
    refused = "the microphone is muted";
  if (!refused && !scenario_.HasTurns())
    refused = "the scenario has no turns";
  core::AutoLock lock(&mutex_);
  if (!refused && static_cast<int>(waiting_.size()) >= kMaxWaiting)
    refused = "too many interactions are waiting";
  if (refused) {
    LOG(INFO) << "StartAssistantInteraction refused: " << refused;
    return 0;
  }
  const int number = ++accepted_;
  LOG(INFO) << "StartAssistantInteraction: interaction " << number;
  waiting_.push_back(number);
  if (!busy_) {
    busy_ = true;
    scheduler_->Post([this] { Begin(/*asked_for=*/true); });
  }
  return number;
}

int Conversation::accepted() {
  core::AutoLock lock(&mutex_);
  return accepted_;
}

void Conversation::StopTurn() {
  scheduler_->Post([this] {
    if (turn_)
      Cancel("StopAssistantInteraction");
    else
      LOG(INFO) << "StopAssistantInteraction: no turn in progress";
  });
}

void Conversation::StopTop() {
  scheduler_->Post([this] {
    listeners_->ForEachDevice([](DeviceStateListener* listener) {
      listener->OnStopTopInteraction();
    });
    const size_t before = soundings_.size();
    EndSoundings(/*everything=*/false, /*latest_only=*/true);
    if (soundings_.size() == before && turn_)
      Cancel("StopTopInteraction");
  });
}

void Conversation::StopAll() {
  {
    core::AutoLock lock(&mutex_);
    waiting_.clear();
  }
  scheduler_->Post([this] {
    EndSoundings(/*everything=*/false, /*latest_only=*/false);
    if (turn_)
      Cancel("StopAllInteractions");
  });
}

void Conversation::StopReply() {
  scheduler_->Post([this] {
    if (turn_ && turn_->phase == Turn::Phase::kResponding)
      StopOutput();
  });
}

void Conversation::MicMuted(bool muted) {
  scheduler_->Post([this, muted] {
    listeners_->ForEachDevice([muted](DeviceStateListener* listener) {
      listener->OnMicMutedChange(muted);
    });
    if (muted && turn_ && turn_->phase == Turn::Phase::kListening)
      Cancel("the microphone was muted");
  });
}

void Conversation::Finish() {
  CHECK(!scheduler_->IsCurrentThread());
  {
    core::AutoLock lock(&mutex_);
    finishing_ = true;
  }
  scheduler_->Post([this] {
    for (Scheduler::TaskId id : scheduled_events_)
      scheduler_->Cancel(id);
    scheduled_events_.clear();
    EndSoundings(/*everything=*/true, /*latest_only=*/false);
    core::AutoLock lock(&mutex_);
    events_ended_ = true;
    idle_.Broadcast();
  });
  core::AutoLock lock(&mutex_);
  while (busy_ || !events_ended_)
    idle_.Wait();
}

// ---- Turns, on the scheduler's thread ---------------------------------------

void Conversation::Begin(bool asked_for) {
  const char* refused = nullptr;
  std::function<bool()> is_muted;
  {
    core::AutoLock lock(&mutex_);
    if (asked_for) {
      if (waiting_.empty()) {  // StopAllInteractions dropped it.
        busy_ = false;
        idle_.Broadcast();
        return;
      }
      number_ = waiting_.front();
      waiting_.pop_front();
    }
    if (!listening_)
      refused = "listening is disabled";
    is_muted = is_muted_;
  }
  if (!refused && is_muted && is_muted())
    refused = "the microphone is muted";
  if (refused) {
    LOG(INFO) << "Interaction " << number_ << " not started: " << refused;
    Next(/*follow_up=*/false);
    return;
  }

  const size_t n = scenario_.entries.size();
  for (size_t k = 0; k < n && !scenario_.entries[cursor_].is_turn; ++k)
    cursor_ = (cursor_ + 1) % n;
  turn_ = std::make_unique<Turn>();
  turn_->script = scenario_.entries[cursor_].turn;
  cursor_ = (cursor_ + 1) % n;
  turn_->number = number_;
  turn_->generation = ++generation_;

  listeners_->ForEachConversation([asked_for](Listener* listener) {
    listener->OnConversationTurnStarted(asked_for);
  });
  AudioInput* input = input_provider_->GetAudioInput();
  const BufferFormat format = input->GetFormat();
  capture_->Reset();
  input->AddObserver(capture_.get());
  turn_->input = input;
  LOG(INFO) << "Turn " << turn_->number << (asked_for ? "" : " (follow-up)")
            << " listening: " << format.sample_rate << " Hz, "
            << static_cast<int>(format.channel_layout) << " channel(s)";
  listeners_->ForEachConversation([](Listener* listener) {
    listener->OnRecognitionStateChanged(Listener::kStarted, Text(""));
  });
  scheduler_->PostDelayed(
      milliseconds(scenario_.step_ms),
      [this, generation = turn_->generation] { Recognize(generation, 0); });
}

void Conversation::Next(bool follow_up) {
  bool begin = false;
  bool asked_for = false;
  {
    core::AutoLock lock(&mutex_);
    if (follow_up && !finishing_) {
      begin = true;
    } else if (!waiting_.empty()) {
      begin = true;
      asked_for = true;
    } else {
      busy_ = false;
      idle_.Broadcast();
    }
  }
  if (begin)
    scheduler_->Post([this, asked_for] { Begin(asked_for); });
}

void Conversation::Recognize(int generation, size_t words) {
  if (!turn_ || turn_->generation != generation)
    return;  // Cancelled meanwhile.
  const std::vector<std::string> heard = Words(turn_->script.heard);
  if (words < heard.size()) {
    const Listener::RecognitionResult partial = Text(Join(heard, words + 1));
    listeners_->ForEachConversation([&partial](Listener* listener) {
      listener->OnRecognitionStateChanged(Listener::kPartial, partial);
    });
    scheduler_->PostDelayed(
        milliseconds(scenario_.step_ms),
        [this, generation, words] { Recognize(generation, words + 1); });
    return;
  }
  const Listener::RecognitionResult final_result = Text(turn_->script.heard);
  listeners_->ForEachConversation([&final_result](Listener* listener) {
    listener->OnRecognitionStateChanged(Listener::kFinal, final_result);
  });
  CloseInput();
  LOG(INFO) << "Turn " << turn_->number << " heard \"" << turn_->script.heard
            << "\" (" << capture_->Summary() << ")";
  Act();
}

void Conversation::Act() {
  turn_->phase = Turn::Phase::kActing;
  const ScenarioTurn& script = turn_->script;
  const int number = turn_->number;
  if (!script.action.empty()) {
    int handlers = 0;
    listeners_->ForEachHandler([&](DeviceActionHandler* handler) {
      ++handlers;
      LOG(INFO) << "Turn " << number << ": device context \""
                << handler->GetContext() << "\"";
      handler->Execute(script.action);
    });
    if (handlers) {
      LOG(INFO) << "Turn " << number << ": device action " << script.action;
    } else {
      LOG(INFO) << "Turn " << number << ": no device action handler for "
                << script.action;
    }
  }
  if (script.volume >= 0) {
    LOG(INFO) << "Turn " << number << " sets the system volume to "
              << static_cast<int>(script.volume * 100.0f + 0.5f) << "%";
    output_provider_->GetVolumeControl()->SetSystemVolume(script.volume, false);
  }
  if (!script.media.empty())
    media_->Control(script.media);
  Respond();
}

void Conversation::Respond() {
  turn_->phase = Turn::Phase::kResponding;
  const std::vector<int16_t> pcm =
      SynthesizeReply(turn_->script.reply, scenario_.word_ms);
  const bool has_reply = !pcm.empty();
  listeners_->ForEachConversation([has_reply](Listener* listener) {
    listener->OnRespondingStarted(has_reply);
  });
  if (!has_reply) {
    listeners_->ForEachConversation(
        [](Listener* listener) { listener->OnRespondingFinished(); });
    End(turn_->script.resolution);
    return;
  }
  LOG(INFO) << "Turn " << turn_->number << " says \"" << turn_->script.reply
            << "\"";
  output_provider_->GetVolumeControl()->SetAudioFocus(OutputStreamType::kTts);
  OutputStreamFormat format;
  format.encoding = OutputStreamEncoding::kPcm;
  format.sample_rate = kReplySampleRate;
  format.channels = 1;
  const milliseconds length(pcm.size() * 1000 / kReplySampleRate);
  turn_->output.reset(
      output_provider_->CreateAudioOutput(OutputStreamType::kTts, format));
  const int generation = turn_->generation;
  turn_->output_guard =
      scheduler_->PostDelayed(length + kOutputGrace, [this, generation] {
        if (!turn_ || turn_->generation != generation || !turn_->output)
          return;
        LOG(WARNING) << "Turn " << turn_->number
                     << ": the audio output did not end the reply in time";
        StopOutput();
      });
  turn_->output->Start(new ReplyPlayer(
      pcm,
      [link = link_, generation] {
        link->Post([generation](Conversation* conversation) {
          conversation->EndOfStream(generation);
        });
      },
      [link = link_, generation] {
        link->Post([generation](Conversation* conversation) {
          conversation->OutputStopped(generation);
        });
      }));
}

void Conversation::EndOfStream(int generation) {
  if (turn_ && turn_->generation == generation)
    StopOutput();
}

void Conversation::StopOutput() {
  if (!turn_ || !turn_->output || turn_->stopping_output)
    return;
  turn_->stopping_output = true;
  scheduler_->Cancel(turn_->output_guard);
  const int generation = turn_->generation;
  turn_->output_guard =
      scheduler_->PostDelayed(kOutputGrace, [this, generation] {
        if (!turn_ || turn_->generation != generation || !turn_->output)
          return;
        LOG(WARNING) << "Turn " << turn_->number
                     << ": the audio output did not confirm the stop";
        OutputStopped(generation);
      });
  turn_->output->Stop();
}

void Conversation::OutputStopped(int generation) {
  if (!turn_ || turn_->generation != generation || !turn_->output)
    return;
  scheduler_->Cancel(turn_->output_guard);
  turn_->output.reset();
  listeners_->ForEachConversation(
      [](Listener* listener) { listener->OnRespondingFinished(); });
  End(turn_->cancelled ? Listener::kCancelled : turn_->script.resolution);
}

void Conversation::End(Listener::Resolution resolution) {
  const int number = turn_->number;
  turn_.reset();
  listeners_->ForEachConversation([resolution](Listener* listener) {
    listener->OnConversationTurnFinished(resolution);
  });
  LOG(INFO) << "Turn " << number << " finished: " << ResolutionName(resolution);
  bool finishing;
  {
    core::AutoLock lock(&mutex_);
    finishing = finishing_;
  }
  if (!finishing)
    ScheduleEvents();
  Next(resolution == Listener::kFollowUpExpected);
}

void Conversation::Cancel(const char* why) {
  LOG(INFO) << "Turn " << turn_->number << " cancelled: " << why;
  turn_->cancelled = true;
  if (turn_->phase == Turn::Phase::kListening) {
    CloseInput();
    End(Listener::kCancelled);
  } else if (turn_->output) {
    StopOutput();
  }
}

void Conversation::CloseInput() {
  if (AudioInput* input = std::exchange(turn_->input, nullptr))
    input->RemoveObserver(capture_.get());
}

}  // namespace vantor_host
