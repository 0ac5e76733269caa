#include "install/keystore_posix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fakes.h"

namespace {

bool IsDirectory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Sets or clears an environment variable for the test's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace

TEST(FileKeyStoreLocation, FromXdgConfigHomeElseHome) {
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg/conf");
    ScopedEnv home("HOME", "/home/someone");
    FileKeyStore store;
    EXPECT_EQ("/xdg/conf/fontkiln", store.KeyDirectory());
    EXPECT_EQ("/xdg/conf/fontkiln/kiln", store.KeyFile());
  }
  for (const char* xdgValue : {static_cast<const char*>(nullptr), "", "relative/conf"}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", xdgValue);
    ScopedEnv home("HOME", "/home/someone");
    FileKeyStore store;
    EXPECT_EQ("/home/someone/.config/fontkiln/kiln", store.KeyFile())
        << (xdgValue ? xdgValue : "(unset)");
  }
  FileKeyStore explicitHome("/given");
  EXPECT_EQ("/given/fontkiln/kiln", explicitHome.KeyFile());
}

TEST(FileKeyStoreRead, StatesOfTheKey) {
  ScratchDirectory scratch;
  FileKeyStore store(scratch.path());
  std::string path = "untouched";
  EXPECT_EQ(KeyStatus::KeyMissing, store.ReadDataFilePath(path));  // no directory
  ASSERT_EQ(0, mkdir("fontkiln", 0700));
  EXPECT_EQ(KeyStatus::KeyMissing, store.ReadDataFilePath(path));  // no file
  ASSERT_EQ(0, mkdir("fontkiln/kiln", 0700));
  EXPECT_EQ(KeyStatus::KeyMissing, store.ReadDataFilePath(path));  // not a file
  ASSERT_EQ(0, rmdir("fontkiln/kiln"));
  EXPECT_EQ("untouched", path);

  struct Case {
    const char* content;
    KeyStatus status;
    const char* value;
  } cases[] = {
      {"", KeyStatus::ValueMissing, ""},
      {"Other=1\n", KeyStatus::ValueMissing, ""},
      {"datafilepath=/lower/case\n", KeyStatus::ValueMissing, ""},
      {"DataFilePath=/defs/FONTS.DAT\n", KeyStatus::Ok, "/defs/FONTS.DAT"},
      {"DataFilePath=/no/newline", KeyStatus::Ok, "/no/newline"},
      {"DataFilePath=/crlf/FONTS.DAT\r\n", KeyStatus::Ok, "/crlf/FONTS.DAT"},
      {"Other=1\nDataFilePath=/second/line\n", KeyStatus::Ok, "/second/line"},
      {"DataFilePath=/first\nDataFilePath=/second\n", KeyStatus::Ok, "/first"},
      {"DataFilePath=/with blank/and=sign\n", KeyStatus::Ok, "/with blank/and=sign"},
      {"DataFilePath=\n", KeyStatus::Ok, ""},
  };
  for (const Case& c : cases) {
    scratch.Write("fontkiln/kiln", c.content);
    std::string value = "before";
    EXPECT_EQ(c.status, store.ReadDataFilePath(value)) << c.content;
    if (c.status == KeyStatus::Ok) {
      EXPECT_EQ(c.value, value) << c.content;
    }
  }
}

TEST(FileKeyStoreRead, ValueOf259BytesFitsAnd260DoesNot) {
  ScratchDirectory scratch;
  ASSERT_EQ(0, mkdir("fontkiln", 0700));
  FileKeyStore store(scratch.path());
  const std::string fits(259, 'a');
  scratch.Write("fontkiln/kiln", "DataFilePath=" + fits + "\n");
  std::string value;
  EXPECT_EQ(KeyStatus::Ok, store.ReadDataFilePath(value));
  EXPECT_EQ(fits, value);
  scratch.Write("fontkiln/kiln", "DataFilePath=" + fits + "b\n");
  EXPECT_EQ(KeyStatus::ValueMissing, store.ReadDataFilePath(value));
  EXPECT_EQ(fits, value);  // left as it was
}

TEST(FileKeyStoreWrite, CreatesMissingDirectoriesAndReadsBack) {
  ScratchDirectory scratch;
  FileKeyStore store(scratch.path() + "/deep/config");
  ASSERT_EQ(KeyStatus::Ok, store.WriteDataFilePath("/defs/FONTS.DAT"));
  EXPECT_TRUE(IsDirectory(scratch.path() + "/deep/config/fontkiln"));
  EXPECT_EQ("DataFilePath=/defs/FONTS.DAT\n", scratch.Read("deep/config/fontkiln/kiln"));
  std::string value;
  ASSERT_EQ(KeyStatus::Ok, store.ReadDataFilePath(value));
  EXPECT_EQ("/defs/FONTS.DAT", value);
  // A second write replaces the value, keeps other lines and leaves no
  // temporary file behind.
  scratch.Write("deep/config/fontkiln/kiln", "Other=1\nDataFilePath=/old\n");
  ASSERT_EQ(KeyStatus::Ok, store.WriteDataFilePath("/new/FONTS.DAT"));
  EXPECT_EQ("Other=1\nDataFilePath=/new/FONTS.DAT\n", scratch.Read("deep/config/fontkiln/kiln"));
  EXPECT_EQ(std::vector<std::string>{"kiln"}, Entries(scratch.path() + "/deep/config/fontkiln"));
}

TEST(FileKeyStoreWrite, FileWhereADirectoryIsExpectedIsCreateFailed) {
  ScratchDirectory scratch;
  scratch.Write("config", "a file, not a directory");
  FileKeyStore blockedParent(scratch.path() + "/config");
  EXPECT_EQ(KeyStatus::CreateFailed, blockedParent.WriteDataFilePath("/defs/FONTS.DAT"));
  scratch.Write("fontkiln", "a file where the key directory belongs");
  FileKeyStore blockedKey(scratch.path());
  EXPECT_EQ(KeyStatus::CreateFailed, blockedKey.WriteDataFilePath("/defs/FONTS.DAT"));
  EXPECT_EQ("a file where the key directory belongs", scratch.Read("fontkiln"));
}

TEST(FileKeyStoreWrite, UnwritableKeyFileIsWriteFailedAndLeavesNothing) {
  ScratchDirectory scratch;
  ASSERT_EQ(0, mkdir("fontkiln", 0700));
  ASSERT_EQ(0, mkdir("fontkiln/kiln", 0700));  // a directory where the file belongs
  FileKeyStore store(scratch.path());
  EXPECT_EQ(KeyStatus::WriteFailed, store.WriteDataFilePath("/defs/FONTS.DAT"));
  ASSERT_EQ(0, rmdir("fontkiln/kiln"));
  EXPECT_EQ(0, rmdir("fontkiln")) << "a temporary file was left behind";
}

TEST(FileKeyStoreWrite, PathWithALineBreakIsRefused) {
  ScratchDirectory scratch;
  FileKeyStore store(scratch.path());
  ASSERT_EQ(KeyStatus::Ok, store.WriteDataFilePath("/good"));
  EXPECT_EQ(KeyStatus::WriteFailed, store.WriteDataFilePath("/bad\nDataFilePath=/evil"));
  std::string value;
  ASSERT_EQ(KeyStatus::Ok, store.ReadDataFilePath(value));
  EXPECT_EQ("/good", value);
}

TEST(FileKeyStoreDelete, RemovesTheKeyAndItsDirectoryButNotTheParent) {
  ScratchDirectory scratch;
  FileKeyStore store(scratch.path() + "/config");
  ASSERT_EQ(KeyStatus::Ok, store.WriteDataFilePath("/defs/FONTS.DAT"));
  EXPECT_EQ(KeyStatus::Ok, store.DeleteProgramKey());
  EXPECT_FALSE(IsDirectory(scratch.path() + "/config/fontkiln"));
  EXPECT_TRUE(IsDirectory(scratch.path() + "/config"));
  std::string value;
  EXPECT_EQ(KeyStatus::KeyMissing, store.ReadDataFilePath(value));
  // Deleting a key that is not there fails, as deleting a registry key does.
  EXPECT_EQ(KeyStatus::DeleteFailed, store.DeleteProgramKey());
}

TEST(FileKeyStoreDelete, KeepsOtherFilesOfTheDirectory) {
  ScratchDirectory scratch;
  FileKeyStore store(scratch.path());
  ASSERT_EQ(KeyStatus::Ok, store.WriteDataFilePath("/defs/FONTS.DAT"));
  scratch.Write("fontkiln/notes.txt", "the user's own");
  EXPECT_EQ(KeyStatus::Ok, store.DeleteProgramKey());
  EXPECT_EQ("the user's own", scratch.Read("fontkiln/notes.txt"));
  EXPECT_NE(0, access("fontkiln/kiln", F_OK));
}

TEST(FileKeyStoreDelete, DirectoryWhereTheKeyFileBelongsIsDeleteFailed) {
  ScratchDirectory scratch;
  ASSERT_EQ(0, mkdir("fontkiln", 0700));
  ASSERT_EQ(0, mkdir("fontkiln/kiln", 0700));
  FileKeyStore store(scratch.path());
  EXPECT_EQ(KeyStatus::DeleteFailed, store.DeleteProgramKey());
  EXPECT_TRUE(IsDirectory("fontkiln/kiln"));
}
