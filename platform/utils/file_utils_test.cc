#include "platform/utils/file_utils.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "gtest/gtest.h"

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
  void TearDown() override {
    ASSERT_EQ(0, system(("rm -rf '" + dir_ + "'").c_str()));
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  static bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
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

TEST_F(FileUtilsTest, FailedWriteKeepsOldContentsAndLeavesNoTemporary) {
  if (!Exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full on this system";
  // A ".tmp" that is a symlink to /dev/full makes every write fail with
  // ENOSPC, as a full disk would.
  Put("f", "good");
  ASSERT_EQ(0, symlink("/dev/full", Path("f.tmp").c_str()));
  EXPECT_FALSE(WriteFile(Path("f"), "new contents that do not fit"));
  EXPECT_EQ("good", ReadFile(Path("f"), false));
  EXPECT_FALSE(Exists(Path("f.tmp")));
}

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
