#include "run/dirlock.h"

#include <gtest/gtest.h>

#include "run/filesys.h"
#include "support/fakes.h"

namespace {

std::string LockFile(const ScratchDirectory& scratch) {
  return scratch.path() + kDirSeparator + kDirLockName;
}

}  // namespace

TEST(DirLock, SecondLockOfTheSameDirectoryIsBusy) {
  ScratchDirectory scratch;
  DirLock first;
  ASSERT_EQ(DirLockResult::Locked, first.Acquire(scratch.path()));
  EXPECT_TRUE(first.held());
  EXPECT_TRUE(PathExists(LockFile(scratch)));
  {
    DirLock second;
    EXPECT_EQ(DirLockResult::Busy, second.Acquire(scratch.path()));
    EXPECT_FALSE(second.held());
  }
  // The refused run leaves the holder's lock file and lock alone.
  EXPECT_TRUE(PathExists(LockFile(scratch)));
  DirLock third;
  EXPECT_EQ(DirLockResult::Busy, third.Acquire(scratch.path()));
}

TEST(DirLock, ReleaseRemovesTheFileAndFreesTheDirectory) {
  ScratchDirectory scratch;
  DirLock first;
  ASSERT_EQ(DirLockResult::Locked, first.Acquire(scratch.path()));
  first.Release();
  EXPECT_FALSE(first.held());
  EXPECT_FALSE(PathExists(LockFile(scratch)));
  first.Release();  // twice is harmless
  DirLock second;
  EXPECT_EQ(DirLockResult::Locked, second.Acquire(scratch.path() + kDirSeparator));
  {
    DirLock scoped;
    EXPECT_EQ(DirLockResult::Busy, scoped.Acquire(scratch.path()));
  }
  second.Release();
  {
    DirLock scoped;
    EXPECT_EQ(DirLockResult::Locked, scoped.Acquire(scratch.path()));
  }
  // The destructor releases too.
  EXPECT_FALSE(PathExists(LockFile(scratch)));
}

TEST(DirLock, LockFileLeftByAnEndedRunLocksNothing) {
  ScratchDirectory scratch;
  scratch.Write(kDirLockName, "");
  DirLock lock;
  EXPECT_EQ(DirLockResult::Locked, lock.Acquire(scratch.path()));
  lock.Release();
  EXPECT_FALSE(PathExists(LockFile(scratch)));
}

TEST(DirLock, DirectoryWhereNoFileCanBeMadeFails) {
  ScratchDirectory scratch;
  scratch.Write("file", "not a directory");
  struct Case {
    const char* name;
    std::string directory;
  } cases[] = {
      {"missing directory", scratch.path() + kDirSeparator + "missing"},
      {"a file named as the directory", scratch.path() + kDirSeparator + "file"},
  };
  for (const Case& c : cases) {
    DirLock lock;
    EXPECT_EQ(DirLockResult::Failed, lock.Acquire(c.directory)) << c.name;
    EXPECT_FALSE(lock.held()) << c.name;
    EXPECT_FALSE(lock.errorText().empty()) << c.name;
  }
}

TEST(DirLock, LocksOfTwoDirectoriesAreIndependent) {
  ScratchDirectory scratch;
  ASSERT_TRUE(MakeDirectory("a"));
  ASSERT_TRUE(MakeDirectory("b"));
  DirLock a, b;
  EXPECT_EQ(DirLockResult::Locked, a.Acquire(scratch.path() + kDirSeparator + "a"));
  EXPECT_EQ(DirLockResult::Locked, b.Acquire(scratch.path() + kDirSeparator + "b"));
}

#ifndef _WIN32
// On Win32 the system deletes the file when the process ends.
TEST(DirLock, QuickExitRemovesTheHeldLockFile) {
  ScratchDirectory scratch;
  DirLock lock;
  ASSERT_EQ(DirLockResult::Locked, lock.Acquire(scratch.path()));
  RemoveHeldDirLockFile();
  EXPECT_FALSE(PathExists(LockFile(scratch)));
  lock.Release();
  RemoveHeldDirLockFile();  // nothing held: nothing to do
  EXPECT_FALSE(PathExists(LockFile(scratch)));
}
#endif
