// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// WAV files and the built-in audio providers that read and write them, with
// their real threads.
#include "host/audio/builtin_audio.h"

#include <stdlib.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <numeric>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "host/audio/wav_file.h"
#include "testing/file_tree.h"
#include "testing/host_test_util.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: fakes full of overrides.
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing_util::LogCapture;

constexpr auto kPatience = std::chrono::seconds(10);

class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/builtin_audio_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { ASSERT_TRUE(testing_support::RemoveTree(dir_)); }
  std::string WriteWav(const std::string& name,
                       const std::vector<int16_t>& samples,
                       int rate = 16000,
                       int channels = 1) {
    const std::string path = dir_ + "/" + name;
    WavWriter writer;
    std::string error;
    EXPECT_TRUE(writer.Open(path, rate, channels, &error)) << error;
    writer.Write(samples.data(), samples.size() * 2);
    EXPECT_TRUE(writer.Close());
    return path;
  }
  std::string WriteBytes(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  LogCapture log_;
  std::string dir_;
};

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string Format(uint16_t tag, uint16_t channels, uint16_t bits) {
  std::string f = "fmt " + Le32(16);
  f += std::string(1, static_cast<char>(tag)) + '\0';
  f += std::string(1, static_cast<char>(channels)) + '\0';
  f += Le32(8000) + Le32(8000 * channels * bits / 8);
  f += std::string(1, static_cast<char>(channels * bits / 8)) + '\0';
  f += std::string(1, static_cast<char>(bits)) + '\0';
  return f;
}

TEST_F(AudioTest, WavFilesKeepTheirSamples) {
  std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234, -4321, 7};
  const std::string path = WriteWav("stereo.wav", samples, 22050, 2);
  WavAudio audio;
  std::string error;
  ASSERT_TRUE(ReadWav(path, &audio, &error)) << error;
  EXPECT_EQ(22050, audio.sample_rate);
  EXPECT_EQ(2, audio.channels);
  EXPECT_EQ(samples, audio.samples);

  // Other chunks are skipped; a data size past the end keeps what is there,
  // whole frames only.
  const std::string pcm = std::string("\x01\x00\x02\x00\x03\x00", 6);
  const std::string odd =
      WriteBytes("chunks.wav", "RIFF" + Le32(100) + "WAVE" + "LIST" + Le32(3) +
                                   "abc" + std::string(1, '\0') +
                                   Format(1, 2, 16) + "data" + Le32(400) + pcm);
  ASSERT_TRUE(ReadWav(odd, &audio, &error)) << error;
  EXPECT_EQ((std::vector<int16_t>{1, 2}), audio.samples);

  // An odd byte count is padded, and the header says what was written.
  WavWriter writer;
  ASSERT_TRUE(writer.Open(dir_ + "/odd.wav", 8000, 1, &error));
  writer.Write("abc", 3);
  ASSERT_TRUE(writer.Close());
  std::ifstream in(dir_ + "/odd.wav", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(48u, bytes.size());
  EXPECT_EQ(Le32(3), bytes.substr(40, 4));
  EXPECT_EQ(Le32(40), bytes.substr(4, 4));
}

TEST_F(AudioTest, WavFilesThatAreNot16BitPcmAreRefused) {
  WavAudio audio;
  std::string error;
  EXPECT_FALSE(ReadWav(dir_ + "/none.wav", &audio, &error));
  EXPECT_EQ(strerror(ENOENT), error);
  EXPECT_FALSE(
      ReadWav(WriteBytes("text.wav", "hello, this is text"), &audio, &error));
  EXPECT_EQ("not a RIFF/WAVE file", error);
  const std::string header = "RIFF" + Le32(100) + "WAVE";
  EXPECT_FALSE(ReadWav(WriteBytes("8bit.wav", header + Format(1, 1, 8)), &audio,
                       &error));
  EXPECT_THAT(error, HasSubstr("not 16-bit PCM"));
  EXPECT_FALSE(ReadWav(WriteBytes("float.wav", header + Format(3, 1, 16)),
                       &audio, &error));
  EXPECT_FALSE(ReadWav(WriteBytes("six.wav", header + Format(1, 6, 16)), &audio,
                       &error));
  EXPECT_THAT(error, HasSubstr("6 channel(s)"));
  EXPECT_FALSE(ReadWav(
      WriteBytes("early.wav", header + "data" + Le32(2) + std::string(2, '\0')),
      &audio, &error));
  EXPECT_EQ("data before the fmt chunk", error);
  EXPECT_FALSE(ReadWav(WriteBytes("nodata.wav", header + Format(1, 1, 16)),
                       &audio, &error));
  EXPECT_EQ("no data chunk", error);
  // A size that would seek backwards on a 32-bit long.
  EXPECT_FALSE(
      ReadWav(WriteBytes("huge.wav", header + "junk" + Le32(0xfffffff0u)),
              &audio, &error));
  EXPECT_THAT(error, HasSubstr("a chunk of"));
  EXPECT_FALSE(ReadWav(
      WriteBytes("big.wav", header + Format(1, 1, 16) + "data" + Le32(1000)),
      &audio, &error, /*max_bytes=*/999));
}

// Keeps copies of what it hears; counts its OnStopped calls.
class Listening : public AudioInput::Observer {
 public:
  void OnBufferAvailable(const AudioBuffer& buffer, long long time) override {
    const auto* data = static_cast<const int16_t*>(buffer.GetData());
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_FALSE(stopped_in_session_) << "a buffer after OnStopped";
    EXPECT_EQ(SampleFormat::kS16Le, buffer.GetFormat().sample_format);
    buffers_.emplace_back(data, data + buffer.GetFrameCount());
    EXPECT_GT(time, last_time_);
    last_time_ = time;
    changed_.notify_all();
  }
  void OnError(AudioInput::Error) override { ADD_FAILURE(); }
  void OnStopped() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++stopped_;
    stopped_in_session_ = true;
  }
  std::vector<std::vector<int16_t>> WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kPatience,
                      [&] { return buffers_.size() >= count; });
    return buffers_;
  }
  int stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }
  // Before the observer is added again.
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_.clear();
    stopped_in_session_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::vector<int16_t>> buffers_;
  long long last_time_ = 0;
  int stopped_ = 0;
  bool stopped_in_session_ = false;
};

TEST_F(AudioTest, TheInputPlaysItsFileThenSilenceFromTheTopEachSession) {
  std::vector<int16_t> ramp(800);
  std::iota(ramp.begin(), ramp.end(), 1);
  WavAudioInputProvider provider(WriteWav("ramp.wav", ramp));
  AudioInput* input = provider.GetAudioInput();
  EXPECT_EQ(input, provider.GetAudioInput());
  EXPECT_EQ(16000, input->GetFormat().sample_rate);
  EXPECT_EQ(ChannelLayout::kMono, input->GetFormat().channel_layout);

  Listening listening;
  input->AddObserver(&listening);
  std::vector<std::vector<int16_t>> heard = listening.WaitFor(4);
  input->RemoveObserver(&listening);
  EXPECT_EQ(1, listening.stopped());
  ASSERT_GE(heard.size(), 4u);
  std::vector<int16_t> expected(ramp.begin(), ramp.begin() + 320);
  EXPECT_EQ(expected, heard[0]);  // 20 ms at 16 kHz.
  expected.assign(ramp.begin() + 640, ramp.end());
  expected.resize(320, 0);
  EXPECT_EQ(expected, heard[2]);
  EXPECT_EQ(std::vector<int16_t>(320, 0), heard[3]);

  // Removing it again, or an observer never added, sends nothing.
  input->RemoveObserver(&listening);
  EXPECT_EQ(1, listening.stopped());

  listening.Clear();
  input->AddObserver(&listening);
  heard = listening.WaitFor(1);
  EXPECT_EQ(std::vector<int16_t>(ramp.begin(), ramp.begin() + 320), heard[0]);
  input->RemoveObserver(&listening);
  EXPECT_EQ(2, listening.stopped());
}

TEST_F(AudioTest, WithoutAReadableFileTheInputHearsSilence) {
  Listening early;
  {
    WavAudioInputProvider provider(dir_ + "/missing.wav");
    EXPECT_EQ(1, log_.Count("the microphone hears silence"));
    provider.GetAudioInput()->AddObserver(&early);
    const auto heard = early.WaitFor(1);
    EXPECT_EQ(std::vector<int16_t>(320, 0), heard[0]);
  }
  // The input's end stops the observers it still had.
  EXPECT_EQ(1, early.stopped());
}

// Hands out |data| in the sizes asked for, then 0; records the rest.
class Feeding : public AudioOutput::Delegate {
 public:
  explicit Feeding(std::string data) : data_(std::move(data)) {}
  void FillBuffer(void* buffer,
                  int size,
                  long long,
                  Callback<false, int> done) override {
    size_t n;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      n = std::min<size_t>(size, data_.size() - offset_);
      memcpy(buffer, data_.data() + offset_, n);
      offset_ += n;
      ++fills_;
      if (stop_from_fill_ && output_) {
        stop_from_fill_ = false;
        output_->Stop();  // From the output's own thread.
      }
    }
    done(static_cast<int>(n));
  }
  void OnEndOfStream() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++ends_;
    changed_.notify_all();
  }
  void OnError(AudioOutput::Error) override { ADD_FAILURE(); }
  void OnStopped() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++stopped_;
    changed_.notify_all();
  }
  bool WaitUntil(const int* counter) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return *counter > 0; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  const std::string data_;
  size_t offset_ = 0;
  int fills_ = 0;
  int ends_ = 0;
  int stopped_ = 0;
  bool stop_from_fill_ = false;
  AudioOutput* output_ = nullptr;
};

TEST_F(AudioTest, TheOutputKeepsWhatItPlaysInAWavFile) {
  WavAudioOutputProvider provider(dir_);
  EXPECT_EQ(std::vector<OutputStreamEncoding>{OutputStreamEncoding::kPcm},
            provider.GetSupportedStreamEncodings());
  EXPECT_EQ(nullptr, provider.GetReferenceInput());
  OutputStreamFormat format;
  format.sample_rate = 16000;
  format.channels = 1;
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  Feeding feeding(data);
  std::unique_ptr<AudioOutput> output(
      provider.CreateAudioOutput(OutputStreamType::kTts, format));
  EXPECT_EQ(OutputStreamType::kTts, output->GetType());
  output->Start(&feeding);
  ASSERT_TRUE(feeding.WaitUntil(&feeding.ends_));
  EXPECT_EQ(0, feeding.stopped_);  // Until it is stopped.
  output->Stop();
  output->Stop();
  EXPECT_EQ(1, feeding.stopped_);
  EXPECT_EQ(1, feeding.ends_);
  EXPECT_EQ(3, feeding.fills_);  // 640 bytes (20 ms), 360, then 0.

  WavAudio kept;
  std::string error;
  ASSERT_TRUE(ReadWav(dir_ + "/tts-1.wav", &kept, &error)) << error;
  EXPECT_EQ(16000, kept.sample_rate);
  EXPECT_EQ(data,
            std::string(reinterpret_cast<const char*>(kept.samples.data()),
                        kept.samples.size() * 2));

  // Each output has a file of its own, named by its type.
  std::unique_ptr<AudioOutput> alarm(
      provider.CreateAudioOutput(OutputStreamType::kAlarm, format));
  Feeding nothing("");
  alarm->Start(&nothing);
  ASSERT_TRUE(nothing.WaitUntil(&nothing.ends_));
  alarm.reset();  // Deleting stops it.
  EXPECT_EQ(1, nothing.stopped_);
  EXPECT_EQ(0, access((dir_ + "/alarm-2.wav").c_str(), F_OK));
}

TEST_F(AudioTest, AnOutputStoppedFromItsDelegateStillSaysSoOnce) {
  WavAudioOutputProvider provider("");  // Plays into nothing.
  std::unique_ptr<AudioOutput> output(
      provider.CreateAudioOutput(OutputStreamType::kMedia, {}));
  Feeding feeding(std::string(100000, 'x'));
  feeding.stop_from_fill_ = true;
  feeding.output_ = output.get();
  output->Start(&feeding);
  ASSERT_TRUE(feeding.WaitUntil(&feeding.stopped_));
  output.reset();
  EXPECT_EQ(1, feeding.stopped_);
  EXPECT_EQ(1, feeding.fills_);
  EXPECT_EQ(0, feeding.ends_);
}

TEST_F(AudioTest, TheVolumeControlLogsEachChange) {
  WavAudioOutputProvider provider("");
  VolumeControl* volume = provider.GetVolumeControl();
  EXPECT_EQ(volume, provider.GetVolumeControl());
  volume->SetSystemVolume(0.7f, false);
  volume->SetAlarmVolume(0.25f, true);
  volume->SetSystemMuted(true);
  volume->SetAudioFocus(OutputStreamType::kAlarm);
  EXPECT_FLOAT_EQ(0.7f, volume->GetSystemVolume());
  EXPECT_FLOAT_EQ(0.25f, volume->GetAlarmVolume());
  EXPECT_TRUE(volume->IsSystemMuted());
  EXPECT_EQ(1, log_.Count("Volume control: system volume 50% -> 70%"));
  EXPECT_EQ(1, log_.Count("Volume control: alarm volume 50% -> 25%"));
  EXPECT_EQ(1, log_.Count("Volume control: system sound muted"));
  EXPECT_EQ(1, log_.Count("Volume control: audio focus alarm"));
}

}  // namespace
}  // namespace vantor_host
