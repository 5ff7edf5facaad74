// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// RIFF/WAVE files of 16-bit PCM, the one format the built-in audio providers
// read and write. (A general audio library would bring its codecs along for
// what is a 44-byte header here.)
//
//   WavAudio audio;
//   if (!ReadWav(path, &audio, &error)) ...
//   WavWriter writer;
//   writer.Open(path, 16000, 1);
//   writer.Write(bytes, size);   // little-endian 16-bit samples
//   writer.Close();              // fills in the sizes
#ifndef HOST_AUDIO_WAV_FILE_H_
#define HOST_AUDIO_WAV_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vantor_host {

struct WavAudio {
  int sample_rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // Interleaved frames.
};

// Reads a whole file; false with |*error| set when it is missing, not a
// WAVE file, not 16-bit PCM, or bigger than |max_bytes| of samples.
bool ReadWav(const std::string& path,
             WavAudio* out,
             std::string* error,
             size_t max_bytes = 16 << 20);

// Writes one file; not thread-safe.
class WavWriter {
 public:
  WavWriter() = default;
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;
  ~WavWriter();  // Close().

  // False with |*error| set when the file cannot be created.
  bool Open(const std::string& path,
            int sample_rate,
            int channels,
            std::string* error);
  // Appends |size| bytes of samples; false once a write failed.
  bool Write(const void* data, size_t size);
  // Writes the header's sizes and closes; false when anything failed.
  bool Close();

 private:
  FILE* file_ = nullptr;
  size_t data_bytes_ = 0;
  bool failed_ = false;
};

}  // namespace vantor_host

#endif  // HOST_AUDIO_WAV_FILE_H_
