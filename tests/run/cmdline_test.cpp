#include "run/cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Words(int count) {
  std::string tail;
  for (int i = 0; i < count; ++i) tail += " w" + std::to_string(i);
  return tail;
}

using Argv = std::vector<std::string>;

struct TailCase {
  const char* tail;
  Argv expected;
};

class ParseCommandLineTable : public testing::TestWithParam<TailCase> {};

TEST_P(ParseCommandLineTable, SplitsAtSpacesOnly) {
  ParseCommandLine(GetParam().tail);
  EXPECT_EQ(GetParam().expected, argVector);
  EXPECT_EQ(static_cast<int>(GetParam().expected.size()), argCount);
}

INSTANTIATE_TEST_SUITE_P(
    ParseCommandLine, ParseCommandLineTable,
    testing::Values(
        TailCase{"", {"kiln.exe"}},
        TailCase{"     ", {"kiln.exe"}},
        TailCase{"  400   cmr   ", {"kiln.exe", "400", "cmr"}},
        TailCase{"400", {"kiln.exe", "400"}},
        // A tab is no separator and is not trimmed.
        TailCase{"400\tcmr", {"kiln.exe", "400\tcmr"}},
        TailCase{"\t400 cm\t", {"kiln.exe", "\t400", "cm\t"}},
        // No quoting: quotes stay in the words they stand in.
        TailCase{"400 \"a b\"", {"kiln.exe", "400", "\"a", "b\""}}));

TEST(ParseCommandLine, AcceptsNinetyNineWords) {
  ParseCommandLine(Words(99) + "   ");
  ASSERT_EQ(100, argCount);
  EXPECT_EQ("w0", argVector[1]);
  EXPECT_EQ("w98", argVector[99]);
}

TEST(ParseCommandLine, HundredWordsCountAsEmpty) {
  ParseCommandLine("400 cm");
  ParseCommandLine(Words(100));
  EXPECT_EQ(1, argCount);
  EXPECT_EQ(Argv{"kiln.exe"}, argVector);
}

TEST(SetArgumentWords, SameWordLimit) {
  Argv words;
  for (int i = 0; i < 99; ++i) words.push_back("w" + std::to_string(i));
  SetArgumentWords(words);
  EXPECT_EQ(100, argCount);
  EXPECT_EQ("kiln.exe", argVector[0]);
  EXPECT_EQ("w98", argVector[99]);
  words.push_back("one too many");
  SetArgumentWords(words);
  EXPECT_EQ(1, argCount);
  EXPECT_EQ(Argv{"kiln.exe"}, argVector);
}

TEST(SetArgumentWords, KeepsWordsAsGiven) {
  SetArgumentWords({"400", "my set"});
  EXPECT_EQ((Argv{"kiln.exe", "400", "my set"}), argVector);
  EXPECT_EQ(3, argCount);
  SetArgumentWords({});
  EXPECT_EQ(1, argCount);
}

}  // namespace

namespace {
bool KnownDocument(const std::string& path) {
  return path == "paper.dvi" || path == "C:\\My Files\\Slides.DVI" || path == "b.dvi";
}
}  // namespace

TEST(TakeDocumentWords, TakesExistingDviFilesQuotedOrNot) {
  struct Case {
    std::string tail, rest;
    std::vector<std::string> documents;
  };
  const Case cases[] = {
      {"600 paper.dvi", "600 ", {"paper.dvi"}},
      {"\"C:\\My Files\\Slides.DVI\"", "", {"C:\\My Files\\Slides.DVI"}},
      {"600 cm b.dvi  paper.dvi x", "600 cm    x", {"b.dvi", "paper.dvi"}},
      // Not a document: left exactly as it was, quotes and blanks included.
      {"600  missing.dvi \"a b\" paper.dvix", "600  missing.dvi \"a b\" paper.dvix", {}},
      {"\"paper.dvi", "\"paper.dvi", {}},
      {"\"paper.dvi\"x", "\"paper.dvi\"x", {}},
      {"", "", {}},
  };
  for (const Case& c : cases) {
    std::string tail = c.tail;
    EXPECT_EQ(c.documents, TakeDocumentWords(tail, KnownDocument)) << c.tail;
    EXPECT_EQ(c.rest, tail) << c.tail;
  }
}
