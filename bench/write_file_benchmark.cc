// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What a durable state-file write costs: WriteFile() (temporary, data sync,
// rename, folder sync, and the look for abandoned temporaries) against the
// same write without the folder's sync and the look, as every write was
// before a power cut could lose an acknowledged word. Wall-clock time: the
// cost is waiting for the disk, not the CPU.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/utils/file_utils.h"
#include "testing/file_tree.h"

namespace {

const char* const kWords[] = {"off\n", "on\n"};

// A fresh folder under |parent| for one benchmark run.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* parent)
      : path_(std::string(parent) + "/vantor-bench-write.XXXXXX") {
    if (!mkdtemp(&path_[0]))
      path_.clear();
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    if (!path_.empty())
      testing_support::RemoveTree(path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The write without the folder sync: durable data, but a name that a power
// cut may take back.
bool WriteWithoutFolderSync(const std::string& path,
                            const std::string& contents) {
  const std::string temp = path + ".tmp.bench";
  const int fd =
      open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  const bool written = write(fd, contents.data(), contents.size()) ==
                           static_cast<ssize_t>(contents.size()) &&
                       fsync(fd) == 0;
  close(fd);
  return written && rename(temp.c_str(), path.c_str()) == 0;
}

template <bool (*Write)(const std::string&, const std::string&)>
void BM_Write(benchmark::State& state, const char* parent) {
  ScratchFolder folder(parent);
  if (folder.path().empty()) {
    state.SkipWithError("cannot make a folder");
    return;
  }
  const std::string path = folder.path() + "/mic_state";
  size_t n = 0;
  for (auto _ : state) {
    if (!Write(path, kWords[n++ % 2])) {
      state.SkipWithError("write failed");
      return;
    }
  }
}

void BM_WriteFile(benchmark::State& state, const char* parent) {
  BM_Write<&assistant_reference::WriteFile>(state, parent);
}

void BM_WriteNoFolderSync(benchmark::State& state, const char* parent) {
  BM_Write<&WriteWithoutFolderSync>(state, parent);
}

// On the disk, as a persistent state folder; on tmpfs, as /run, where a
// sync costs nothing and the look for temporaries is what remains.
BENCHMARK_CAPTURE(BM_WriteFile, disk, "/var/tmp")->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteNoFolderSync, disk, "/var/tmp")->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteFile, tmpfs, "/dev/shm")->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteNoFolderSync, tmpfs, "/dev/shm")->UseRealTime();

}  // namespace
