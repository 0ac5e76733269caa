#include "run/output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/filesys.h"
#include "support/fakes.h"

namespace {

std::string InDir(const std::string& directory, const std::string& name) {
  return directory + kDirSeparator + name;
}

std::vector<LogKind> Kinds(const RecordingLog& log) {
  std::vector<LogKind> kinds;
  for (const auto& line : log.lines) kinds.push_back(line.kind);
  return kinds;
}

using Texts = std::vector<std::string>;

TEST(FindGfFile, ExactResolutionComesFirst) {
  ScratchDirectory scratch;
  RecordingLog log;
  scratch.Write("cmr10.400gf", "gf");
  scratch.Write("cmr10.399gf", "gf");
  EXPECT_EQ(400, FindGfFile("cmr10", 400));
  EXPECT_EQ(Texts{"cmr10.400gf found"}, log.Texts());
  EXPECT_EQ(std::vector<LogKind>{LOG_INFO}, Kinds(log));
}

TEST(FindGfFile, OneBelowBeforeOneAbove) {
  ScratchDirectory scratch;
  RecordingLog log;
  scratch.Write("cmr10.399gf", "gf");
  scratch.Write("cmr10.401gf", "gf");
  EXPECT_EQ(399, FindGfFile("cmr10", 400));
  EXPECT_EQ((Texts{"cmr10.400gf Not found", "cmr10.399gf found"}), log.Texts());
  EXPECT_EQ((std::vector<LogKind>{LOG_WARNING, LOG_INFO}), Kinds(log));
}

TEST(FindGfFile, NoneFound) {
  ScratchDirectory scratch;
  RecordingLog log;
  scratch.Write("cmr10.402gf", "gf");
  scratch.Write("cmr10.400pk", "pk");
  EXPECT_EQ(0, FindGfFile("cmr10", 400));
  EXPECT_EQ((Texts{"cmr10.400gf Not found", "cmr10.399gf Not found",
                   "cmr10.401gf Not found", "GF file is not exist"}),
            log.Texts());
  EXPECT_EQ((std::vector<LogKind>{LOG_WARNING, LOG_WARNING, LOG_WARNING, LOG_ALERT}),
            Kinds(log));
}

TEST(PkFileExists, SearchOrderAndLogLine) {
  ScratchDirectory scratch;
  RecordingLog log;
  EXPECT_EQ(0, PkFileExists("cmr10", 400));
  EXPECT_TRUE(log.lines.empty());  // a miss is silent
  scratch.Write("cmr10.401pk", "pk");
  EXPECT_EQ(1, PkFileExists("cmr10", 400));
  scratch.Write("cmr10.399pk", "pk");
  EXPECT_EQ(1, PkFileExists("cmr10", 400));
  scratch.Write("cmr10.400pk", "pk");
  EXPECT_EQ(1, PkFileExists("cmr10", 400));
  EXPECT_EQ((Texts{"cmr10.401pk is already exist in PK file directory",
                   "cmr10.399pk is already exist in PK file directory",
                   "cmr10.400pk is already exist in PK file directory"}),
            log.Texts());
  EXPECT_EQ((std::vector<LogKind>{LOG_INFO, LOG_INFO, LOG_INFO}), Kinds(log));
}

// gftopk on a full disk ends as usual and leaves the PK file cut short.
TEST(PkFileTruncated, RegressionFullDiskPkFileCountedAsBuilt) {
  ScratchDirectory scratch;
  // Preamble: pre, id, comment of 2 bytes, ds, cs, hppp, vppp.
  const std::string pre = std::string("\xF7\x59\x02" "ab", 5) + std::string(16, '\0');
  // Character packets in the three forms; the length counts the bytes after
  // the character code.
  const std::string shortForm = std::string("\x00\x03\x41", 3) + "xyz";
  const std::string extended = std::string("\x04\x00\x02\x42", 4) + "uv";
  const std::string longForm = std::string("\x07\x00\x00\x00\x01\x00\x00\x00\x43", 9) + "w";
  const std::string specials = std::string("\xF0\x02hi\xF4\x00\x00\x00\x01", 9);
  const std::string post = "\xF5\xF6\xF6";
  const std::string whole = pre + specials + shortForm + extended + longForm + post;
  struct Case {
    const char* what;
    std::string bytes;
    bool truncated;
  } cases[] = {
      {"complete", whole, false},
      {"postamble without padding", pre + shortForm + "\xF5", false},
      {"empty", "", true},
      {"one byte", "\xF7", true},
      {"cut in the preamble", pre.substr(0, 10), true},
      {"cut in a packet", pre + specials + shortForm.substr(0, 4), true},
      {"cut in a long packet's length", pre + std::string("\x07\x00", 2), true},
      {"cut before the postamble", pre + specials + shortForm + extended + longForm, true},
      {"undefined command", pre + "\xF8" + post, true},
      {"not in the PK format (a stand-in)", "PK stand-in from cmr10.600gf\n", false},
  };
  for (const Case& c : cases) {
    scratch.Write("cmr10.600pk", c.bytes);
    EXPECT_EQ(c.truncated, PkFileTruncated("cmr10.600pk")) << c.what;
  }
  EXPECT_FALSE(PkFileTruncated("missing.600pk"));
}

TEST(CopyFileBytes, CopiesEveryByteAndLeavesNoTemporaryFile) {
  ScratchDirectory scratch;
  RecordingLog log;
  std::string bytes("line\r\nend\x1a\0tail", 15);
  for (int i = 0; i < 100000; ++i) bytes += static_cast<char>(i * 7);
  scratch.Write("cmr10.tfm", bytes);
  ASSERT_TRUE(MakeDirectory("tfm"));
  scratch.Write(InDir("tfm", "cmr10.tfm"), "an older copy, longer than nothing");
  EXPECT_EQ(1, CopyFileBytes("cmr10.tfm", InDir("tfm", "cmr10.tfm")));
  EXPECT_EQ(bytes, scratch.Read(InDir("tfm", "cmr10.tfm")));
  EXPECT_EQ(bytes, scratch.Read("cmr10.tfm"));
  EXPECT_FALSE(PathExists(InDir("tfm", "cmr10.tfm.kiln-partial")));
  EXPECT_TRUE(log.lines.empty());
}

TEST(CopyFileBytes, MissingSourceIsReportedWithItsName) {
  ScratchDirectory scratch;
  RecordingLog log;
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, CopyFileBytes("missing.log", "copy.log"));
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, errors.rfind("missing.log: ", 0)) << errors;
  EXPECT_EQ('\n', errors.back());
  ASSERT_EQ(1u, log.lines.size());
  EXPECT_EQ(LOG_ALERT, log.lines[0].kind);
  EXPECT_EQ(errors.substr(0, errors.size() - 1), log.lines[0].text);
  EXPECT_FALSE(PathExists("copy.log"));
}

TEST(CopyFileBytes, RegressionFailedCopyDestroyedTheEarlierGoodCopy) {
  ScratchDirectory scratch;
  RecordingLog log;
  // A directory cannot be read as a file: the read (POSIX) or the open
  // (Windows) fails, after the destination would have been truncated.
  ASSERT_TRUE(MakeDirectory("source.tfm"));
  scratch.Write("copy.tfm", "good");
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, CopyFileBytes("source.tfm", "copy.tfm"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ("good", scratch.Read("copy.tfm"));
  EXPECT_FALSE(PathExists("copy.tfm.kiln-partial"));
  ASSERT_EQ(1u, log.lines.size());
  EXPECT_EQ(0u, log.lines[0].text.rfind("source.tfm: ", 0)) << log.lines[0].text;
}

TEST(CopyFileBytes, DestinationThatCannotBeReplaced) {
  ScratchDirectory scratch;
  RecordingLog log;
  scratch.Write("cmr10.tfm", "tfm");
  ASSERT_TRUE(MakeDirectory("copy.tfm"));
  scratch.Write(InDir("copy.tfm", "inside"), "kept");
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, CopyFileBytes("cmr10.tfm", "copy.tfm"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(1, DirectoryStatus("copy.tfm"));
  EXPECT_EQ("kept", scratch.Read(InDir("copy.tfm", "inside")));
  EXPECT_FALSE(PathExists("copy.tfm.kiln-partial"));
  ASSERT_EQ(1u, log.lines.size());
  EXPECT_EQ(0u, log.lines[0].text.rfind("copy.tfm: ", 0)) << log.lines[0].text;
}

class FileOutputsTest : public testing::Test {
 protected:
  void SetUp() override {
    scratch.Write("cmr10.tfm", "tfm bytes");
    scratch.Write("cmr10.log", "log bytes");
    scratch.Write("cmr10.399gf", "gf bytes");
    scratch.Write("cmr10.400pk", "pk bytes");
    testing::internal::CaptureStderr();
    capturing = true;
  }
  void TearDown() override { ErrorLines(); }
  // What the filing wrote to the standard error stream.
  std::string ErrorLines() {
    if (capturing) stderrText = testing::internal::GetCapturedStderr();
    capturing = false;
    return stderrText;
  }

  ScratchDirectory scratch;
  RecordingLog log;
  bool capturing = false;
  std::string stderrText;
};

TEST_F(FileOutputsTest, FilesAndCleansUp) {
  ASSERT_TRUE(MakeDirectory("tfm"));
  ASSERT_TRUE(MakeDirectory("log"));
  FileOutputs("cmr10", 399);
  EXPECT_EQ("tfm bytes", scratch.Read(InDir("tfm", "cmr10.tfm")));
  EXPECT_EQ("log bytes", scratch.Read(InDir("log", "cmr10.log")));
  EXPECT_FALSE(PathExists("cmr10.tfm"));
  EXPECT_FALSE(PathExists("cmr10.log"));
  EXPECT_FALSE(PathExists("cmr10.399gf"));
  EXPECT_EQ("pk bytes", scratch.Read("cmr10.400pk"));
  EXPECT_TRUE(log.lines.empty());
  // Filing again overwrites the earlier copies.
  scratch.Write("cmr10.tfm", "new tfm");
  scratch.Write("cmr10.log", "new log");
  FileOutputs("cmr10", 399);
  EXPECT_EQ("new tfm", scratch.Read(InDir("tfm", "cmr10.tfm")));
  EXPECT_EQ("new log", scratch.Read(InDir("log", "cmr10.log")));
}

// A font whose TFM could not be filed ended the run with status 0.
TEST_F(FileOutputsTest, RegressionUnfiledByProductReportedAsSuccess) {
  ASSERT_TRUE(MakeDirectory("tfm"));
  scratch.Write("log", "a file where the directory belongs");
  EXPECT_EQ(0, FileOutputs("cmr10", 399));
  EXPECT_TRUE(PathExists("cmr10.log"));
  ASSERT_TRUE(RemoveFile("log"));
  ASSERT_TRUE(MakeDirectory("log"));
  scratch.Write("cmr10.tfm", "tfm bytes");
  EXPECT_EQ(1, FileOutputs("cmr10", 399));
}

TEST_F(FileOutputsTest, MissingLogStillFilesTheTfm) {
  ASSERT_TRUE(MakeDirectory("tfm"));
  ASSERT_TRUE(MakeDirectory("log"));
  ASSERT_TRUE(RemoveFile("cmr10.log"));
  FileOutputs("cmr10", 399);
  EXPECT_EQ("tfm bytes", scratch.Read(InDir("tfm", "cmr10.tfm")));
  EXPECT_FALSE(PathExists(InDir("log", "cmr10.log")));
  EXPECT_FALSE(PathExists("cmr10.tfm"));
  EXPECT_FALSE(PathExists("cmr10.399gf"));
  ASSERT_EQ(1u, log.lines.size());
  EXPECT_EQ(0u, log.lines[0].text.rfind("cmr10.log: ", 0)) << log.lines[0].text;
  EXPECT_EQ(0u, ErrorLines().rfind("cmr10.log: ", 0));
}

TEST_F(FileOutputsTest, RegressionUnwritableDestinationLostTheTfm) {
  scratch.Write("tfm", "a file where the directory should be");
  ASSERT_TRUE(MakeDirectory("log"));
  FileOutputs("cmr10", 399);
  EXPECT_EQ("tfm bytes", scratch.Read("cmr10.tfm"));
  EXPECT_EQ("a file where the directory should be", scratch.Read("tfm"));
  EXPECT_EQ("log bytes", scratch.Read(InDir("log", "cmr10.log")));
  EXPECT_FALSE(PathExists("cmr10.log"));
  EXPECT_FALSE(PathExists("cmr10.399gf"));
  EXPECT_TRUE(log.Contains("cmr10.tfm kept in the target directory: its copy failed"));
  std::string tfmCopy = InDir("tfm", "cmr10.tfm");
  EXPECT_EQ(0u, log.lines[0].text.rfind(tfmCopy + ": ", 0)) << log.lines[0].text;
  EXPECT_EQ(0u, ErrorLines().rfind(tfmCopy + ": ", 0));
}

TEST_F(FileOutputsTest, UnreadableLogKeepsItAndTheEarlierCopy) {
  ASSERT_TRUE(MakeDirectory("tfm"));
  ASSERT_TRUE(MakeDirectory("log"));
  scratch.Write(InDir("log", "cmr10.log"), "earlier good log");
  ASSERT_TRUE(RemoveFile("cmr10.log"));
  ASSERT_TRUE(MakeDirectory("cmr10.log"));
  FileOutputs("cmr10", 399);
  EXPECT_EQ("earlier good log", scratch.Read(InDir("log", "cmr10.log")));
  EXPECT_EQ(1, DirectoryStatus("cmr10.log"));
  EXPECT_TRUE(log.Contains("cmr10.log kept in the target directory: its copy failed"));
  EXPECT_EQ("tfm bytes", scratch.Read(InDir("tfm", "cmr10.tfm")));
}

}  // namespace
