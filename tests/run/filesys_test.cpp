#include "run/filesys.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

TEST(FileSystem, ExistenceDirectoriesAndReplace) {
  ScratchDirectory scratch;
  EXPECT_FALSE(PathExists("a"));
  scratch.Write("a", "old");
  scratch.Write("b", "new");
  EXPECT_TRUE(PathExists("a"));
  EXPECT_EQ(0, DirectoryStatus("a"));
  EXPECT_EQ(-1, DirectoryStatus("missing"));
  EXPECT_TRUE(MakeDirectory("d"));
  EXPECT_FALSE(MakeDirectory("d"));  // exists already
  EXPECT_EQ(1, DirectoryStatus("d"));
  // Users write directories with a trailing separator.
  EXPECT_EQ(1, DirectoryStatus(std::string("d") + kDirSeparator));
  EXPECT_EQ(1, DirectoryStatus("d/"));
  EXPECT_TRUE(PathExists("d"));
  // Replacing an existing destination must work on every platform.
  EXPECT_TRUE(ReplaceFileWith("b", "a"));
  EXPECT_EQ("new", scratch.Read("a"));
  EXPECT_FALSE(PathExists("b"));
  EXPECT_TRUE(RemoveFile("a"));
  EXPECT_FALSE(RemoveFile("a"));
}
