// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/audio/wav_file.h"

#include <errno.h>
#include <string.h>

#include <memory>

namespace vantor_host {
namespace {

constexpr size_t kHeaderBytes = 44;
constexpr uint16_t kPcmFormat = 1;
constexpr uint16_t kExtensibleFormat = 0xfffe;

uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
void PutLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void PutLe16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool ReadWav(const std::string& path,
             WavAudio* out,
             std::string* error,
             size_t max_bytes) {
  File file(fopen(path.c_str(), "rb"));
  if (!file) {
    *error = strerror(errno);
    return false;
  }
  unsigned char riff[12];
  if (fread(riff, 1, sizeof(riff), file.get()) != sizeof(riff) ||
      memcmp(riff, "RIFF", 4) != 0 || memcmp(riff + 8, "WAVE", 4) != 0) {
    *error = "not a RIFF/WAVE file";
    return false;
  }
  bool have_format = false;
  for (;;) {
    unsigned char chunk[8];
    if (fread(chunk, 1, sizeof(chunk), file.get()) != sizeof(chunk)) {
      *error = have_format ? "no data chunk" : "no fmt chunk";
      return false;
    }
    const uint32_t size = Le32(chunk + 4);
    // A seek past a size this big would go backwards on a 32-bit long.
    if (size > 0x7ffffff0u) {
      *error = "a chunk of " + std::to_string(size) + " bytes";
      return false;
    }
    if (memcmp(chunk, "fmt ", 4) == 0) {
      unsigned char format[16];
      if (size < sizeof(format) ||
          fread(format, 1, sizeof(format), file.get()) != sizeof(format)) {
        *error = "short fmt chunk";
        return false;
      }
      const uint16_t tag = Le16(format);
      const uint16_t bits = Le16(format + 14);
      out->channels = Le16(format + 2);
      out->sample_rate = static_cast<int>(Le32(format + 4));
      if ((tag != kPcmFormat && tag != kExtensibleFormat) || bits != 16) {
        *error = "not 16-bit PCM (format " + std::to_string(tag) + ", " +
                 std::to_string(bits) + " bits)";
        return false;
      }
      if (out->channels < 1 || out->channels > 2 || out->sample_rate < 1) {
        *error = std::to_string(out->channels) + " channel(s) at " +
                 std::to_string(out->sample_rate) + " Hz is not supported";
        return false;
      }
      have_format = true;
      // Chunks are padded to even sizes.
      if (fseek(file.get(), static_cast<long>((size - 16) + (size & 1)),
                SEEK_CUR) != 0) {
        *error = "short fmt chunk";
        return false;
      }
    } else if (memcmp(chunk, "data", 4) == 0) {
      if (!have_format) {
        *error = "data before the fmt chunk";
        return false;
      }
      if (size > max_bytes) {
        *error = "more than " + std::to_string(max_bytes) + " bytes of samples";
        return false;
      }
      out->samples.resize(size / 2);
      // A data size beyond the end of the file keeps what is there.
      const size_t got =
          fread(out->samples.data(), 2, out->samples.size(), file.get());
      out->samples.resize(got - got % out->channels);
      return true;
    } else if (fseek(file.get(), static_cast<long>(size + (size & 1)),
                     SEEK_CUR) != 0) {
      *error = "short chunk";
      return false;
    }
  }
}

WavWriter::~WavWriter() {
  Close();
}

bool WavWriter::Open(const std::string& path,
                     int sample_rate,
                     int channels,
                     std::string* error) {
  Close();
  file_ = fopen(path.c_str(), "wb");
  if (!file_) {
    *error = strerror(errno);
    return false;
  }
  data_bytes_ = 0;
  failed_ = false;
  unsigned char header[kHeaderBytes] = {};
  memcpy(header, "RIFF", 4);
  memcpy(header + 8, "WAVEfmt ", 8);
  PutLe32(header + 16, 16);
  PutLe16(header + 20, kPcmFormat);
  PutLe16(header + 22, static_cast<uint16_t>(channels));
  PutLe32(header + 24, static_cast<uint32_t>(sample_rate));
  PutLe32(header + 28, static_cast<uint32_t>(sample_rate * channels * 2));
  PutLe16(header + 32, static_cast<uint16_t>(channels * 2));
  PutLe16(header + 34, 16);
  memcpy(header + 36, "data", 4);
  // The sizes stay 0 until Close(): a reader of a half-written file sees
  // an empty one rather than garbage.
  if (fwrite(header, 1, sizeof(header), file_) != sizeof(header)) {
    *error = strerror(errno);
    Close();
    return false;
  }
  return true;
}

bool WavWriter::Write(const void* data, size_t size) {
  if (!file_ || failed_)
    return false;
  if (fwrite(data, 1, size, file_) != size) {
    failed_ = true;
    return false;
  }
  data_bytes_ += size;
  return true;
}

bool WavWriter::Close() {
  if (!file_)
    return false;
  bool ok = !failed_;
  // An odd byte count (half a sample) is padded as RIFF wants.
  if (ok && data_bytes_ % 2 == 1)
    ok = fputc(0, file_) != EOF;
  unsigned char size[4];
  PutLe32(size, static_cast<uint32_t>(36 + data_bytes_ + data_bytes_ % 2));
  ok = ok && fseek(file_, 4, SEEK_SET) == 0 && fwrite(size, 1, 4, file_) == 4;
  PutLe32(size, static_cast<uint32_t>(data_bytes_));
  ok = ok && fseek(file_, 40, SEEK_SET) == 0 && fwrite(size, 1, 4, file_) == 4;
  ok = fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

}  // namespace vantor_host
