// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/utils/file_utils.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/utils/file_utils_internal.h"
#include "testing/file_tree.h"

namespace assistant_reference {
namespace {

// A fresh folder per test, removed afterwards.
class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/file_utils_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { ASSERT_TRUE(testing_support::RemoveTree(dir_)); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  static bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
  }

  // Every name in |folder| but "." and "..", sorted.
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
          names.push_back(name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static long PeakResidentKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmHWM:", 0) == 0)
        return std::stol(line.substr(6));
    }
    return 0;
  }

  std::string dir_;
};

// Saves and restores the two variables that pick the root folder.
class ScopedEnv {
 public:
  ScopedEnv() : xdg_(Get("XDG_CONFIG_HOME")), home_(Get("HOME")) {}
  ~ScopedEnv() {
    Restore("XDG_CONFIG_HOME", xdg_);
    Restore("HOME", home_);
  }

 private:
  struct Saved {
    bool set;
    std::string value;
  };
  static Saved Get(const char* name) {
    const char* v = getenv(name);
    return {v != nullptr, v ? v : ""};
  }
  static void Restore(const char* name, const Saved& saved) {
    if (saved.set)
      setenv(name, saved.value.c_str(), 1);
    else
      unsetenv(name);
  }
  Saved xdg_;
  Saved home_;
};

TEST(RootPathTest, ChoosesXdgThenHomeThenTmp) {
  ScopedEnv env;
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ("/xdg/vantor-data", GetAssistantRootPath());
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ("/vantor-data", GetAssistantRootPath());
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ("/home/u/.config/vantor-data", GetAssistantRootPath());
  unsetenv("HOME");
  EXPECT_EQ("/tmp/vantor-data", GetAssistantRootPath());
}

TEST_F(FileUtilsTest, ReadFileReturnsEveryByteOrTrims) {
  Put("raw", std::string("\n a\0b \n", 7));
  EXPECT_EQ(std::string("\n a\0b \n", 7), ReadFile(Path("raw"), false));
  Put("state", "\n  on \t\r\n");
  EXPECT_EQ("on", ReadFile(Path("state"), true));
  Put("blank", " \n\t\r\f ");
  EXPECT_EQ("", ReadFile(Path("blank"), true));
  // Vertical tab is not white space here.
  Put("vtab", "\von\v");
  EXPECT_EQ("\von\v", ReadFile(Path("vtab"), true));
}

TEST_F(FileUtilsTest, UnreadablePathsReadAsEmpty) {
  EXPECT_EQ("", ReadFile(Path("missing"), false));
  EXPECT_EQ("", ReadFile(dir_, false));
  EXPECT_EQ("", ktl_ReadFile(dir_, true));
  // A FIFO with no writer would block an ordinary open forever.
  ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
  EXPECT_EQ("", ReadFile(Path("fifo"), true));
  EXPECT_EQ("", ktl_ReadFile(Path("fifo"), true));
  if (getuid() != 0) {  // root reads anything
    Put("secret", "x");
    chmod(Path("secret").c_str(), 0);
    EXPECT_EQ("", ReadFile(Path("secret"), false));
  }
}

TEST_F(FileUtilsTest, KtlReadFileDropsOnlyLeadingHashLines) {
  Put("ktl", "# comment\nabc\n  de\n\n #kept\r\n#x");
  EXPECT_EQ("abc  de #kept\r", ktl_ReadFile(Path("ktl"), false));
  EXPECT_EQ("abc  de #kept", ktl_ReadFile(Path("ktl"), true));
  EXPECT_EQ("", ktl_ReadFile(Path("missing"), false));
}

TEST_F(FileUtilsTest, WriteFileCreatesFolderChainWithMode0700) {
  std::string path = Path("a/b/c/file");
  ASSERT_TRUE(WriteFile(path, "contents"));
  EXPECT_EQ("contents", ReadFile(path, false));
  EXPECT_FALSE(Exists(path + ".tmp"));
  struct stat st;
  ASSERT_EQ(0, stat(Path("a/b").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST_F(FileUtilsTest, WriteFileReplacesWholeContents) {
  ASSERT_TRUE(WriteFile(Path("f"), "a much longer first text"));
  ASSERT_TRUE(WriteFile(Path("f"), std::string("b\0c", 3)));
  EXPECT_EQ(std::string("b\0c", 3), ReadFile(Path("f"), false));
}

TEST_F(FileUtilsTest, EmptyContentsDeleteTheFile) {
  EXPECT_TRUE(WriteFile(Path("none"), ""));
  EXPECT_FALSE(Exists(Path("none")));
  Put("some", "x");
  EXPECT_TRUE(WriteFile(Path("some"), ""));
  EXPECT_FALSE(Exists(Path("some")));
}

TEST_F(FileUtilsTest, RelativePathCreatesRelativeFolders) {
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof(cwd)));
  ASSERT_EQ(0, chdir(dir_.c_str()));
  bool ok = WriteFile("a/b/c", "x");
  bool a = Exists("a"), ab = Exists("a/b");
  ASSERT_EQ(0, chdir(cwd));
  EXPECT_TRUE(ok);
  EXPECT_TRUE(a);
  EXPECT_TRUE(ab);
  EXPECT_EQ("x", ReadFile(Path("a/b/c"), false));
}

// A file system too small for the new contents, as a full disk on a device:
// the write fails, the old contents stay and no temporary is left behind.
TEST_F(FileUtilsTest, FullFileSystemKeepsOldContentsAndLeavesNoTemporary) {
  const std::string small = Path("small");
  ASSERT_EQ(0, mkdir(small.c_str(), 0700));
  if (mount("file_utils_test", small.c_str(), "tmpfs", 0, "size=16k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
  Put("small/f", "good");
  // Fill what is left.
  std::string chunk(4096, 'x');
  const int filler =
      open(Path("small/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  while (write(filler, chunk.data(), chunk.size()) > 0) {
  }
  close(filler);
  EXPECT_FALSE(WriteFile(Path("small/f"), std::string(64 * 1024, 'n')));
  EXPECT_EQ("good", ReadFile(Path("small/f"), false));
  EXPECT_EQ(std::vector<std::string>({"f", "filler"}), Names(small));
  umount2(small.c_str(), MNT_DETACH);
}

TEST_F(FileUtilsTest, ConcurrentWritersNeverTearOrFail) {
  const std::string words[] = {"CONNECTED\n", "DISCONNECTED_FROM_INTERNET\n"};
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (writing) {
      const std::string text = ReadFile(Path("state"), false);
      if (!text.empty() && text != words[0] && text != words[1])
        ++torn;
    }
  });
  std::atomic<int> failed{0};
  std::vector<std::thread> writers;
  for (const std::string& word : words) {
    writers.emplace_back([&, word] {
      for (int i = 0; i < 300; ++i)
        failed += WriteFile(Path("state"), word) ? 0 : 1;
    });
  }
  for (std::thread& writer : writers)
    writer.join();
  writing = false;
  reader.join();
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, torn.load());
  EXPECT_EQ(std::vector<std::string>({"state"}), Names(dir_));
}

// Power cuts and killed writers leave temporaries behind; the next write of
// the same file removes them, but only its own kind and only those no live
// writer holds.
TEST_F(FileUtilsTest, NextWriteRemovesOnlyAbandonedTemporaries) {
  enum Kind { kFile, kHeldFile, kFolder, kLink };
  const struct {
    const char* name;
    Kind kind;
    bool removed;
  } kCases[] = {
      {"state.tmp.812.0.1f3a", kFile, true},
      {"state.tmp.1.99.0", kFile, true},
      {"state.tmp.813.0.2b", kHeldFile, false},  // a writer is at work
      {"state.tmp", kFile, false},               // not our pattern
      {"state.tmp.812.0", kFile, false},         // a field missing
      {"state.tmp.8x2.0.1f", kFile, false},      // not a number
      {"state.tmp.812.0.1f.bak", kFile, false},  // something more
      {"other.tmp.812.0.1f", kFile, false},      // another file's
      {"xstate.tmp.812.0.1f", kFile, false},     // another file's
      {"state.tmp.814.0.3c", kFolder, false},
      {"state.tmp.815.0.4d", kLink, false},
  };
  std::vector<int> held;
  std::vector<std::string> expected = {"state", "victim"};
  Put("victim", "precious");
  for (const auto& c : kCases) {
    switch (c.kind) {
      case kFile:
        Put(c.name, "off\n");
        break;
      case kHeldFile: {
        Put(c.name, "off\n");
        const int fd = open(Path(c.name).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(0, flock(fd, LOCK_EX));
        held.push_back(fd);
        break;
      }
      case kFolder:
        ASSERT_EQ(0, mkdir(Path(c.name).c_str(), 0700));
        break;
      case kLink:
        ASSERT_EQ(0, symlink(Path("victim").c_str(), Path(c.name).c_str()));
        break;
    }
    if (!c.removed)
      expected.push_back(c.name);
  }
  std::sort(expected.begin(), expected.end());

  ASSERT_TRUE(WriteFile(Path("state"), "on\n"));
  EXPECT_EQ(expected, Names(dir_));
  EXPECT_EQ("on\n", ReadFile(Path("state"), false));
  EXPECT_EQ("precious", ReadFile(Path("victim"), false));
  for (int fd : held)
    close(fd);
}

TEST_F(FileUtilsTest, PlantedLinkIsReplacedNotWrittenThrough) {
  Put("victim", "precious");
  ASSERT_EQ(0, symlink(Path("victim").c_str(), Path("f.tmp").c_str()));
  ASSERT_EQ(0, symlink(Path("victim").c_str(), Path("f").c_str()));
  ASSERT_TRUE(WriteFile(Path("f"), "off\n"));
  EXPECT_EQ("precious", ReadFile(Path("victim"), false));
  struct stat st;
  ASSERT_EQ(0, lstat(Path("f").c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ("off\n", ReadFile(Path("f"), false));
  // The temporary's mode comes from the umask, as any new file's.
  const mode_t old_mask = umask(027);
  ASSERT_TRUE(WriteFile(Path("g"), "x"));
  umask(old_mask);
  ASSERT_EQ(0, stat(Path("g").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);
}

// A FIFO swapped in under the name, any time, never blocks a reader: the
// file type is checked on the descriptor that is read.
TEST_F(FileUtilsTest, FifoSwappedInNeverBlocksReaders) {
  Put("state", "CONNECTED\n");
  std::atomic<bool> swapping{true};
  std::atomic<int> swaps{0};
  std::thread swapper([&] {
    for (int i = 0; swapping; ++i) {
      const std::string fifo = Path("fifo" + std::to_string(i));
      const std::string file = Path("file" + std::to_string(i));
      if (mkfifo(fifo.c_str(), 0600) == 0)
        rename(fifo.c_str(), Path("state").c_str());
      Put("file" + std::to_string(i), "CONNECTED\n");
      rename(file.c_str(), Path("state").c_str());
      ++swaps;
    }
  });
  // A blocked reader ends the test by alarm instead of hanging it.
  alarm(120);
  int reads = 0;
  int words = 0;
  while (reads < 1000 || swaps < 200) {
    const std::string whole = ReadFile(Path("state"), true);
    const std::string lines = ktl_ReadFile(Path("state"), true);
    const std::string word = ReadStateWord(Path("state"));
    for (const std::string* text : {&whole, &lines, &word}) {
      EXPECT_TRUE(text->empty() || *text == "CONNECTED") << *text;
      words += !text->empty();
    }
    ++reads;
  }
  alarm(0);
  swapping = false;
  swapper.join();
  EXPECT_GT(words, 0);
}

TEST_F(FileUtilsTest, StateWordsAreReadBounded) {
  Put("word", " off \n");
  EXPECT_EQ("off", ReadStateWord(Path("word")));
  Put("padded", "off" + std::string(kMaxStateFileBytes, ' '));
  EXPECT_EQ("", ReadStateWord(Path("padded")));
  Put("limit", "off" + std::string(kMaxStateFileBytes - 3, ' '));
  EXPECT_EQ("off", ReadStateWord(Path("limit")));
  EXPECT_EQ("", ReadStateWord(Path("missing")));
  EXPECT_EQ("", ReadStateWord(dir_));

  // A sparse gigabyte is refused from its size, without being read.
  const int fd =
      open(Path("huge").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, off_t{1} << 30));
  close(fd);
  const long before = PeakResidentKib();
  EXPECT_EQ("", ReadStateWord(Path("huge")));
  std::string contents = "stale";
  EXPECT_FALSE(ReadFileBounded(Path("huge"), 4096, &contents));
  EXPECT_EQ("", contents);
  EXPECT_LT(PeakResidentKib() - before, 1024);
}

// Sanitizers reserve more address space than the limit; an emulator keeps
// the guest's address space outside it.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && \
    !defined(VANTOR_TEST_UNDER_EMULATOR)
// Under an address-space limit (a small 32-bit device), a file larger than
// the memory left reads as unreadable instead of throwing.
TEST_F(FileUtilsTest, FileLargerThanMemoryReadsAsEmpty) {
  const int fd =
      open(Path("huge").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, off_t{1} << 30));
  close(fd);
  const std::string huge = Path("huge");
  auto read_under_limit = [huge] {
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = 512u << 20;
    setrlimit(RLIMIT_AS, &limit);
    const bool empty =
        ReadFile(huge, false).empty() && ktl_ReadFile(huge, true).empty();
    _exit(empty ? 0 : 1);
  };
  EXPECT_EXIT(read_under_limit(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(FileUtilsTest, UnwritableTargetsReportFalse) {
  // Parent is a regular file: folders cannot be made.
  Put("plain", "x");
  EXPECT_FALSE(WriteFile(Path("plain/child"), "y"));
  // The rename onto a non-empty folder fails and is reported.
  ASSERT_EQ(0, mkdir(Path("dir").c_str(), 0700));
  Put("dir/inner", "x");
  EXPECT_FALSE(WriteFile(Path("dir"), "y"));
}

}  // namespace
}  // namespace assistant_reference
