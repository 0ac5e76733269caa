#include "deffile/reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "run/filesys.h"
#include "support/example.h"
#include "support/fakes.h"

using namespace std::string_literals;

namespace {

const char kPath[] = "defs.dat";

// Every test starts and ends with the shared reader closed, in a scratch
// directory of its own.
class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { CloseDefinitionReader(); }
  void TearDown() override { CloseDefinitionReader(); }
  void Write(const std::string& bytes) { scratch.Write(kPath, bytes); }

  std::vector<std::string> AllLines() {
    std::vector<std::string> lines;
    std::string line;
    while (ReadDefinitionLine(kPath, line)) lines.push_back(line);
    return lines;
  }
  std::vector<std::pair<int, std::string>> AllModes() {
    std::vector<std::pair<int, std::string>> modes;
    int resolution = 0;
    std::string name;
    while (NextMode(kPath, resolution, name)) modes.emplace_back(resolution, name);
    return modes;
  }
  std::vector<std::string> AllLabels() {
    std::vector<std::string> labels;
    std::string label;
    while (NextFontSetLabel(kPath, label)) labels.push_back(label);
    return labels;
  }

  ScratchDirectory scratch;
  RecordingLog log;
  ScriptedDialogue dialogue;
};

using Lines = std::vector<std::string>;
using Modes = std::vector<std::pair<int, std::string>>;

// --- The example file through every lookup --------------------------------

TEST_F(ReaderTest, ExampleFileThroughEveryLookup) {
  Write(kExampleDefinition);
  EXPECT_EQ(AllModes(), (Modes{{400, "nexthi"}, {118, "bitgraph"}}));
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_EQ(AllLabels(), (Lines{"cm:", "logo:"}));
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_EQ(FindForce(kPath), 1);
  EXPECT_FALSE(DefinitionReaderIsOpen());

  std::string directory;
  EXPECT_EQ(ReadTargetDir(kPath, directory), 0);  // no such directory here
  EXPECT_EQ(directory, "c:/usr/local/lib/texmf/pk");
  EXPECT_FALSE(DefinitionReaderIsOpen());

  std::string command;
  EXPECT_EQ(ReadMfCommand(kPath, command), 1);
  EXPECT_EQ(command, "mf \\mode=");
  EXPECT_EQ(ReadErrorReaction(kPath), 'S');
  EXPECT_TRUE(log.Contains("ErrorReaction = S"));

  ASSERT_EQ(FindFontSetLabel(kPath, "cm"), 1);
  EXPECT_TRUE(DefinitionReaderIsOpen());
  std::string line;
  ASSERT_TRUE(ReadDefinitionLine(kPath, line));
  EXPECT_EQ(line, "cmr 5 6 7 8 9 10 12 17");
  CloseDefinitionReader();

  ASSERT_EQ(FindFontSetLabel(kPath, "logo"), 1);
  EXPECT_EQ(AllLines(), (Lines{"logo10 m0.5 *2"}));
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_EQ(FindFontSetLabel(kPath, "tt"), 0);
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_TRUE(dialogue.boxes.empty());
}

// --- Physical and logical lines -------------------------------------------

struct LineCase {
  const char* name;
  std::string bytes;
  Lines expected;
};

class LogicalLines : public ReaderTest,
                     public ::testing::WithParamInterface<LineCase> {};

TEST_P(LogicalLines, ReadAsExpected) {
  Write(GetParam().bytes);
  EXPECT_EQ(AllLines(), GetParam().expected);
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

INSTANTIATE_TEST_SUITE_P(
    Reader, LogicalLines,
    ::testing::Values(
        LineCase{"TabsAndRunsOfBlanks", "\t400\t nexthi \t\n", {"400  nexthi"}},
        LineCase{"CommentCutsAnywhere", "MF mf # run it\n# all comment\n", {"MF mf"}},
        LineCase{"BlankAndCommentLinesSkipped", "\n  \n\t\n#x\n \t# y\n", {}},
        LineCase{"CrLfReadsAsLf", "a b\r\nc\r\n", {"a b", "c"}},
        LineCase{"LoneCrIsABlank", "a\rb\n\r\n", {"a b"}},
        LineCase{"CtrlZEndsTheFile", "cm:\nlogo\x1A:\nafter:\n", {"cm:", "logo"}},
        LineCase{"CrBeforeCtrlZ", "a\r\x1A" "b\n", {"a"}},
        LineCase{"NulEndsTheLine", "400 nexthi\0junk 7\n118 bg\n"s,
                 {"400 nexthi", "118 bg"}},
        LineCase{"NulFirstGivesEmptyLine", "\0x\ny\n"s, {"y"}},
        LineCase{"LastLineWithoutLf", "a\nb", {"a", "b"}},
        LineCase{"Line1500BytesIsTwoPieces", Repeat('x', 1500) + "\n",
                 {Repeat('x', 1023), Repeat('x', 477)}},
        LineCase{"Line1023BytesThenLfAlone", Repeat('x', 1023) + "\ny\n",
                 {Repeat('x', 1023), "y"}},
        LineCase{"CrLfCountsAsOneByte", Repeat('x', 1022) + "\r\ny\n",
                 {Repeat('x', 1022), "y"}},
        // A lone CR as the last byte of the 4096-byte read buffer: the byte
        // after it has to be read again from the next chunk.
        LineCase{"LoneCrAtReadBufferEdge", Repeat('x', 4095) + "\rb\n",
                 {Repeat('x', 1023), Repeat('x', 1023), Repeat('x', 1023),
                  Repeat('x', 1023), "xxx b"}},
        LineCase{"CrLfAtReadBufferEdge", Repeat('#', 4095) + "\r\nb\n", {"b"}},
        LineCase{"HighBytesKept", "\x93\xfa\x96\x7b:\n", {"\x93\xfa\x96\x7b:"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReaderTest, CommentsOnlyFileGivesNothingEverywhere) {
  Write("# fonts\n\n   # none yet\n\t\n");
  EXPECT_EQ(AllModes(), Modes{});
  EXPECT_EQ(AllLabels(), Lines{});
  std::string value = "unchanged";
  EXPECT_EQ(ReadMfCommand(kPath, value), 0);
  EXPECT_EQ(value, "unchanged");
  EXPECT_EQ(ReadErrorReaction(kPath), 'S');
  EXPECT_EQ(FindForce(kPath), 0);
  EXPECT_EQ(ReadTargetDir(kPath, value), 0);
  EXPECT_EQ(value, "*");
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

TEST_F(ReaderTest, HugeFileStaysInPieces) {
  std::string bytes;
  for (int i = 0; i < 100000; ++i) bytes += "cmr 5 6 7 8 9 10 12 17\n";
  bytes += Repeat('y', 200000);  // 195 whole pieces and one of 515
  bytes += "\nlast:\n";
  Write(bytes);
  EXPECT_EQ(AllLabels(), Lines{"last:"});
  int lines = 0, longPieces = 0;
  std::string line;
  while (ReadDefinitionLine(kPath, line)) {
    ASSERT_LE(line.size(), kLinePieceBytes);
    ++lines;
    if (line.size() == kLinePieceBytes) ++longPieces;
  }
  EXPECT_EQ(longPieces, 200000 / 1023);
  EXPECT_EQ(lines, 100000 + 200000 / 1023 + 1 + 1);
}

TEST_F(ReaderTest, EveryByteValueStaysBounded) {
  std::string bytes;
  for (int round = 0; round < 20; ++round)
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b == 0x1A ? 'z' : b));
  Write(bytes);
  std::string line;
  int count = 0;
  while (ReadDefinitionLine(kPath, line)) {
    ASSERT_LE(line.size(), kLinePieceBytes);
    EXPECT_EQ(line.find_first_of("\t\r\n#\0"s), std::string::npos);
    EXPECT_NE(line.front(), ' ');
    EXPECT_NE(line.back(), ' ');
    ++count;
  }
  EXPECT_GT(count, 0);
}

// The memory source must hand out what the file gives, byte for byte, at
// every place where the rules depend on the read buffer: a CR LF pair split
// across two reads, a Ctrl-Z, a NUL, pieces of 1023 bytes.
TEST_F(ReaderTest, MemorySourceReadsLikeTheFile) {
  std::string crlfAtChunkEdge = Repeat('a', 4095) + "\r\nb\r\rc\n";
  std::string bytes[] = {
      crlfAtChunkEdge,
      Repeat('x', 3000) + "\r" + Repeat('y', 3000) + "\nshort # comment\n",
      "600 ljfour\n\x1a""after:\n",
      "a\0b c\n\td:\t\n" + Repeat('z', 5000) + "\r",
      "",
  };
  for (const std::string& content : bytes) {
    Write(content);
    Lines fromFile = AllLines();
    Write("something else entirely\n");
    ServeDefinitionFromMemory(kPath, content.data(), content.size());
    EXPECT_EQ(AllLines(), fromFile);
    // Another path still comes from the disk.
    scratch.Write("other.dat", "other\n");
    std::string line;
    ASSERT_TRUE(ReadDefinitionLine("other.dat", line));
    EXPECT_EQ(line, "other");
    CloseDefinitionReader();
    ServeDefinitionFromDisk();
    EXPECT_EQ(AllLines(), Lines{"something else entirely"});
  }
}

// --- NextMode ----------------------------------------------------------------

struct ModeCase {
  const char* name;
  const char* text;
  Modes expected;
};

class NextModeCases : public ReaderTest,
                      public ::testing::WithParamInterface<ModeCase> {};

TEST_P(NextModeCases, Enumerates) {
  Write(GetParam().text);
  EXPECT_EQ(AllModes(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, NextModeCases,
    ::testing::Values(
        ModeCase{"WithComment", "400 nexthi # printer\n", {{400, "nexthi"}}},
        ModeCase{"WithTab", "400\tnexthi\n", {{400, "nexthi"}}},
        ModeCase{"WithBlanks", "  400    nexthi  \n", {{400, "nexthi"}}},
        ModeCase{"LeadingZero", "0400 nexthi\n", {{400, "nexthi"}}},
        ModeCase{"ThreeFields", "400 nexthi extra\n", {}},
        ModeCase{"LetterInResolution", "400dpi nexthi\n", {}},
        ModeCase{"FieldsSwapped", "nexthi 400\n", {}},
        ModeCase{"TenFieldsPassedOver", "1 2 3 4 5 6 7 8 9 10\n300 cx\n", {{300, "cx"}}},
        ModeCase{"ResolutionBeyondInt", "99999999999 huge\n300 cx\n", {{300, "cx"}}},
        ModeCase{"TwoFieldLabelEnds", "400 nexthi\ncm: extra\n118 bitgraph\n",
                 {{400, "nexthi"}}},
        ModeCase{"LoneLabelDoesNotEnd", "cm:\n400 nexthi\n", {{400, "nexthi"}}},
        ModeCase{"BelowBeginSource", "BEGIN_SOURCE\n300 cx\n", {{300, "cx"}}},
        ModeCase{"LongModeName", "300 averyveryveryveryveryveryveryveryveryveryveryverylongmodename\n",
                 {{300, "averyveryveryveryveryveryveryveryveryveryveryverylongmodename"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- ReadMfCommand -----------------------------------------------------------

struct ValueCase {
  const char* name;
  const char* text;
  int result;
  std::string value;
};

class MfCommandCases : public ReaderTest,
                       public ::testing::WithParamInterface<ValueCase> {};

TEST_P(MfCommandCases, Reads) {
  Write(GetParam().text);
  std::string command = "none";
  EXPECT_EQ(ReadMfCommand(kPath, command), GetParam().result);
  EXPECT_EQ(command, GetParam().value);
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Reader, MfCommandCases,
    ::testing::Values(
        ValueCase{"Plain", "MF mf \\mode=\n", 1, "mf \\mode="},
        ValueCase{"InnerBlanksKept", "MF virmf &plain \\mode=\n", 1, "virmf &plain \\mode="},
        ValueCase{"TwoInnerBlanksKept", "MF virmf  &plain \\mode:=\n", 1, "virmf  &plain \\mode:="},
        ValueCase{"TabAfterKeyword", "MF\t\tmf \\mode= # mine\n", 1, "mf \\mode="},
        ValueCase{"FirstCounts", "MF first\nMF second\n", 1, "first"},
        ValueCase{"ValuelessIsAbsent", "MF\nMF mf\n", 1, "mf"},
        ValueCase{"OnlyValueless", "MF   # nothing\n", 0, "none"},
        ValueCase{"LowerCase", "mf mf \\mode=\n", 0, "none"},
        ValueCase{"LongerKeyword", "MFX mf\n", 0, "none"},
        ValueCase{"BelowBeginSource", "BEGIN_SOURCE\nMF mf\n", 0, "none"},
        ValueCase{"Missing", "400 nexthi\n", 0, "none"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- ReadTargetDir -----------------------------------------------------------

class TargetDirCases : public ReaderTest,
                       public ::testing::WithParamInterface<ValueCase> {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    ASSERT_TRUE(MakeDirectory("pk"));
    scratch.Write("afile", "x");
  }
};

TEST_P(TargetDirCases, Reads) {
  Write(GetParam().text);
  std::string directory = "none";
  EXPECT_EQ(ReadTargetDir(kPath, directory), GetParam().result);
  EXPECT_EQ(directory, GetParam().value);
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Reader, TargetDirCases,
    ::testing::Values(
        ValueCase{"Directory", "TARGET_DIR pk\n", 1, "pk"},
        ValueCase{"WithTabAndComment", "TARGET_DIR\tpk   # here\n", 1, "pk"},
        ValueCase{"ForwardSlashes", "TARGET_DIR ./pk\n", 1, "./pk"},
        // Windows' file status refuses a trailing slash that POSIX accepts.
        ValueCase{"TrailingSlashesSameOnEveryPlatform", "TARGET_DIR pk//\n", 1, "pk//"},
        ValueCase{"TrailingSlashOfAFile", "TARGET_DIR afile/\n", 0, "afile/"},
        ValueCase{"NamesAFile", "TARGET_DIR afile\n", 0, "afile"},
        ValueCase{"DoesNotExist", "TARGET_DIR missing\n", 0, "missing"},
        ValueCase{"Asterisk", "TARGET_DIR *pk\n", 0, "*pk"},
        ValueCase{"BlankInPath", "TARGET_DIR my pk\n", 0, "*"},
        ValueCase{"Missing", "MF mf\n", 0, "*"},
        ValueCase{"FirstCounts", "TARGET_DIR missing\nTARGET_DIR pk\n", 0, "missing"},
        ValueCase{"BelowLoneBeginSource", "BEGIN_SOURCE\ncm:\nTARGET_DIR pk\n", 1, "pk"},
        ValueCase{"TwoFieldBeginSourceStops", "BEGIN_SOURCE now\nTARGET_DIR pk\n", 0, "*"},
        ValueCase{"LowerCase", "target_dir pk\n", 0, "*"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- ReadErrorReaction -------------------------------------------------------

struct ReactionCase {
  const char* name;
  const char* text;
  int reaction;
  bool logged;
  int line;  // ReadErrorReactionLine: 0 for a header without the line
};

class ErrorReactionCases : public ReaderTest,
                           public ::testing::WithParamInterface<ReactionCase> {};

TEST_P(ErrorReactionCases, Reads) {
  Write(GetParam().text);
  int reaction = ReadErrorReaction(kPath);
  EXPECT_EQ(reaction, GetParam().reaction);
  EXPECT_FALSE(DefinitionReaderIsOpen());
  if (GetParam().logged) {
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].kind, LOG_INFO);
    EXPECT_EQ(log.lines[0].text, std::string("ErrorReaction = ") + static_cast<char>(reaction));
  } else {
    EXPECT_TRUE(log.lines.empty());
  }
  EXPECT_EQ(ReadErrorReactionLine(kPath), GetParam().line);
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Reader, ErrorReactionCases,
    ::testing::Values(
        ReactionCase{"Stop", "ERROR_REACTION S\n", 'S', true, 'S'},
        ReactionCase{"Confirm", "ERROR_REACTION C\n", 'C', true, 'C'},
        ReactionCase{"ConfirmAsWord", "ERROR_REACTION Confirm # ask\n", 'C', true, 'C'},
        ReactionCase{"IgnoreAfterBlanks", "ERROR_REACTION \t  I\n", 'I', true, 'I'},
        ReactionCase{"LowerCaseValue", "ERROR_REACTION c\n", 'S', false, 'S'},
        ReactionCase{"NoValue", "ERROR_REACTION\n", 'S', false, 'S'},
        ReactionCase{"FirstDecidesEvenInvalid", "ERROR_REACTION x\nERROR_REACTION C\n", 'S', false, 'S'},
        ReactionCase{"BelowBeginSource", "BEGIN_SOURCE\nERROR_REACTION C\n", 'S', false, 0},
        ReactionCase{"Missing", "400 nexthi\n", 'S', false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- FindForce ---------------------------------------------------------------

struct ForceCase {
  const char* name;
  const char* text;
  int result;
};

class FindForceCases : public ReaderTest,
                       public ::testing::WithParamInterface<ForceCase> {};

TEST_P(FindForceCases, Finds) {
  Write(GetParam().text);
  EXPECT_EQ(FindForce(kPath), GetParam().result);
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Reader, FindForceCases,
    ::testing::Values(ForceCase{"Alone", "FORCE\n", 1},
                      ForceCase{"WithComment", "FORCE # rebuild\n", 1},
                      ForceCase{"WithTabs", "\tFORCE\t\n", 1},
                      ForceCase{"WithFurtherWord", "FORCE now\n", 0},
                      ForceCase{"LowerCase", "force\n", 0},
                      ForceCase{"BelowBeginSource", "BEGIN_SOURCE\nFORCE\n", 0},
                      ForceCase{"Missing", "MF mf\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Labels ------------------------------------------------------------------

TEST_F(ReaderTest, LabelLinesKeepBlanksAndColon) {
  Write("cm: # computer modern\nmy fonts:\ncm: extra\nTARGET_DIR c:\n");
  EXPECT_EQ(AllLabels(), (Lines{"cm:", "my fonts:", "TARGET_DIR c:"}));
}

struct LabelCase {
  const char* name;
  const char* text;
  const char* setName;
  int result;
  const char* next;  // the line read after the label, when found
};

class FindFontSetLabelCases : public ReaderTest,
                              public ::testing::WithParamInterface<LabelCase> {};

TEST_P(FindFontSetLabelCases, Finds) {
  Write(GetParam().text);
  EXPECT_EQ(FindFontSetLabel(kPath, GetParam().setName), GetParam().result);
  EXPECT_EQ(DefinitionReaderIsOpen(), GetParam().result == 1);
  if (GetParam().result == 1) {
    std::string line;
    ASSERT_TRUE(ReadDefinitionLine(kPath, line));
    EXPECT_EQ(line, GetParam().next);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reader, FindFontSetLabelCases,
    ::testing::Values(
        LabelCase{"SkipsLongerName", "cmr:\ncmr 10\ncm:\ncmr 5\n", "cm", 1, "cmr 5"},
        LabelCase{"LongerNameOnly", "cmr:\ncmr 10\n", "cm", 0, ""},
        LabelCase{"ColonNeedNotEnd", "cm: extra\ncmr 5\n", "cm", 1, "cmr 5"},
        LabelCase{"LabelWithComment", "cm:   # modern\n\ncmr 5\n", "cm", 1, "cmr 5"},
        LabelCase{"NameWithBlank", "my fonts:\nx 1\n", "my fonts", 1, "x 1"},
        LabelCase{"NameMustBeginLine", "xcm:\ny 1\n", "cm", 0, ""},
        LabelCase{"CaseSensitive", "CM:\ny 1\n", "cm", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The one shared reader ---------------------------------------------------

TEST_F(ReaderTest, EnumerationsContinueWhereTheReaderStands) {
  Write(kExampleDefinition);
  int resolution = 0;
  std::string text;
  ASSERT_EQ(NextMode(kPath, resolution, text), 1);
  ASSERT_TRUE(ReadDefinitionLine(kPath, text));
  EXPECT_EQ(text, "118 bitgraph");  // taken by the plain read
  EXPECT_EQ(AllModes(), Modes{});    // so the enumeration sees no further mode
  ASSERT_EQ(FindFontSetLabel(kPath, "cm"), 1);
  EXPECT_EQ(AllLabels(), Lines{"logo:"});
}

TEST_F(ReaderTest, SearchesContinueButSingleValueReadsCloseFirst) {
  Write(kExampleDefinition);
  std::string text;
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(ReadDefinitionLine(kPath, text));
  EXPECT_EQ(text, "FORCE");
  EXPECT_EQ(FindForce(kPath), 0);  // FORCE already passed: BEGIN_SOURCE ends it
  EXPECT_FALSE(DefinitionReaderIsOpen());

  for (int i = 0; i < 4; ++i) ASSERT_TRUE(ReadDefinitionLine(kPath, text));
  EXPECT_EQ(ReadTargetDir(kPath, text), 0);
  EXPECT_EQ(text, "*");  // TARGET_DIR already passed

  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ReadDefinitionLine(kPath, text));
  EXPECT_EQ(ReadMfCommand(kPath, text), 1);
  EXPECT_EQ(text, "mf \\mode=");
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(ReadDefinitionLine(kPath, text));
  EXPECT_EQ(ReadErrorReaction(kPath), 'S');
  EXPECT_TRUE(log.Contains("ErrorReaction = S"));
}

TEST_F(ReaderTest, FindFontSetLabelContinuesToTheNextMatch) {
  Write("cm:\na 1\ncm:\nb 2\n");
  std::string line;
  ASSERT_EQ(FindFontSetLabel(kPath, "cm"), 1);
  ASSERT_TRUE(ReadDefinitionLine(kPath, line));
  EXPECT_EQ(line, "a 1");
  ASSERT_EQ(FindFontSetLabel(kPath, "cm"), 1);
  ASSERT_TRUE(ReadDefinitionLine(kPath, line));
  EXPECT_EQ(line, "b 2");
}

TEST_F(ReaderTest, DoubleCloseIsHarmlessAndRestartsAtTheTop) {
  Write(kExampleDefinition);
  int resolution = 0;
  std::string name;
  ASSERT_EQ(NextMode(kPath, resolution, name), 1);
  CloseDefinitionReader();
  CloseDefinitionReader();
  EXPECT_FALSE(DefinitionReaderIsOpen());
  ASSERT_EQ(NextMode(kPath, resolution, name), 1);
  EXPECT_EQ(resolution, 400);
}

TEST_F(ReaderTest, ChangesToTheFileAreSeenByTheNextLookup) {
  Write("MF mf\n");
  std::string command;
  ASSERT_EQ(ReadMfCommand(kPath, command), 1);
  Write("MF virmf\n");
  ASSERT_EQ(ReadMfCommand(kPath, command), 1);
  EXPECT_EQ(command, "virmf");
}

// --- A file that cannot be opened --------------------------------------------

void ExpectOpenFailure(ScriptedDialogue& dialogue, const std::function<void()>& read) {
  dialogue.boxes.clear();
  try {
    read();
    ADD_FAILURE() << "the read returned";
  } catch (const ProgramExit& exit) {
    EXPECT_EQ(exit.status, 1);
  }
  ASSERT_EQ(dialogue.boxes.size(), 1u);
  EXPECT_EQ(dialogue.boxes[0].owner, nullptr);
  EXPECT_EQ(dialogue.boxes[0].text, "定義ファイルのオープンが出来ません(readfile)");
  EXPECT_EQ(dialogue.boxes[0].title, "Fontkiln for WIN32 ");
  EXPECT_EQ(dialogue.boxes[0].flags, BOX_ICONERROR | BOX_SETFOREGROUND);
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

TEST_F(ReaderTest, EveryLookupEndsTheProgramOnAMissingFile) {
  int resolution = 0;
  std::string text;
  const std::vector<std::function<void()>> lookups = {
      [&] { ReadDefinitionLine(kPath, text); },
      [&] { NextMode(kPath, resolution, text); },
      [&] { NextFontSetLabel(kPath, text); },
      [&] { FindForce(kPath); },
      [&] { ReadTargetDir(kPath, text); },
      [&] { ReadMfCommand(kPath, text); },
      [&] { ReadErrorReaction(kPath); },
      [&] { FindFontSetLabel(kPath, "cm"); },
  };
  for (const auto& lookup : lookups) ExpectOpenFailure(dialogue, lookup);
}

TEST_F(ReaderTest, FileVanishingDuringTheRunEndsTheProgram) {
  Write(kExampleDefinition);
  ASSERT_EQ(FindFontSetLabel(kPath, "cm"), 1);
  CloseDefinitionReader();  // the generator's reset at the end of a set
  ASSERT_TRUE(RemoveFile(kPath));
  ExpectOpenFailure(dialogue, [] { FindFontSetLabel(kPath, "logo"); });
}

TEST_F(ReaderTest, DirectoryCannotBeOpened) {
  ASSERT_TRUE(MakeDirectory("adir"));
  ExpectOpenFailure(dialogue, [] { std::string c; ReadMfCommand("adir", c); });
}

#ifndef _WIN32
// Opening a FIFO for reading waited for a writer that never came.
TEST_F(ReaderTest, RegressionFifoInPlaceOfTheFileHung) {
  ASSERT_EQ(0, mkfifo("afifo", 0600));
  ExpectOpenFailure(dialogue, [] { std::string c; ReadMfCommand("afifo", c); });
}
#endif

// --- String routines ---------------------------------------------------------

struct SplitCase {
  const char* text;
  int maximum;
  int count;
  Lines fields;
};

class SplitFieldsCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFieldsCases, Splits) {
  // More stale fields than any case gives: none may be left over.
  Lines fields = {"stale", "stale", "stale", "stale", "a string too long for the small buffer"};
  EXPECT_EQ(SplitFields(GetParam().text, ' ', fields, GetParam().maximum), GetParam().count);
  EXPECT_EQ(fields, GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    StringRoutines, SplitFieldsCases,
    ::testing::Values(
        SplitCase{"400 nexthi", 9, 2, {"400", "nexthi"}},
        SplitCase{"a   b c", 9, 3, {"a", "b", "c"}},
        SplitCase{"", 9, 1, {""}},
        SplitCase{" a", 9, 2, {"", "a"}},
        SplitCase{"a ", 9, 2, {"a", ""}},
        SplitCase{"MF virmf  &plain", 2, 0, {"MF", "virmf  &plain"}},
        SplitCase{"MF mf", 2, 2, {"MF", "mf"}},
        SplitCase{"MF", 2, 1, {"MF"}},
        SplitCase{"a b c", 3, 3, {"a", "b", "c"}},
        SplitCase{"a b c d", 3, 0, {"a", "b", "c d"}},
        SplitCase{"a b", 1, 0, {"a b"}}));

TEST(StringRoutines, SplitFieldsWithOtherSeparator) {
  Lines fields;
  EXPECT_EQ(SplitFields("a::b:c", ':', fields, 9), 3);
  EXPECT_EQ(fields, (Lines{"a", "b", "c"}));
}

TEST(StringRoutines, IsAllDigits) {
  EXPECT_EQ(IsAllDigits("0123456789"), 1);
  EXPECT_EQ(IsAllDigits(""), 1);
  for (const char* text : {"400dpi", "-400", "4 0", "+1", "1.5", "\xef\xbc\x91"})
    EXPECT_EQ(IsAllDigits(text), 0) << text;
}

TEST(StringRoutines, ReplaceChar) {
  std::string text = "a\tb\tc";
  EXPECT_EQ(ReplaceChar(text, '\t', ' '), "a b c");
  text = "value # comment # more";
  EXPECT_EQ(ReplaceChar(text, '#', '\0'), "value ");
  text = "none";
  EXPECT_EQ(ReplaceChar(text, 'x', 'y'), "none");
}

TEST(StringRoutines, TrimBlanks) {
  for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"  a b  ", "a b"}, {"a", "a"}, {" a", "a"}, {"a ", "a"}, {"", ""}, {"    ", ""}, {"\ta\t", "\ta\t"}}) {
    std::string text = in;
    EXPECT_EQ(TrimBlanks(text), out) << "[" << in << "]";
  }
}

}  // namespace

// JOBS and TEXMF are header lines that no older lookup takes for a mode
// line or a label.
TEST_F(ReaderTest, JobsAndTexmfHeaderLines) {
  struct Case {
    std::string header;
    int jobs;
    std::string jobsValue;
    int texmf;
    std::string tree;
  };
  const Case cases[] = {
      {"", kJobsAbsent, "", 0, ""},
      {"JOBS 3\nTEXMF C:/texmf\n", 3, "3", 1, "C:/texmf"},
      {"JOBS 0\nJOBS 5\nTEXMF C:\\Program Files\\texmf # mine\n", 0, "0", 1,
       "C:\\Program Files\\texmf"},
      {"JOBS\nTEXMF\n", kJobsInvalid, "", 0, ""},
      {"JOBS -1\n", kJobsInvalid, "-1", 0, ""},
      {"JOBS 257\nTEXMF D:\n", kJobsInvalid, "257", -1, "D:"},
      {"JOBS 2x\n", kJobsInvalid, "2x", 0, ""},
  };
  for (const Case& c : cases) {
    Write("400 nexthi\nMF mf \\mode=\n" + c.header + "BEGIN_SOURCE\nJOBS 7\nTEXMF /late\ncm:\ncmr 10\n");
    std::string value, tree;
    EXPECT_EQ(c.jobs, ReadJobs(kPath, value)) << c.header;
    EXPECT_EQ(c.jobsValue, value) << c.header;
    EXPECT_EQ(c.texmf, ReadTexmf(kPath, tree)) << c.header;
    EXPECT_EQ(c.tree, tree) << c.header;
    EXPECT_FALSE(DefinitionReaderIsOpen());
    EXPECT_EQ((Modes{{400, "nexthi"}}), AllModes()) << c.header;
    if (c.texmf >= 0) {
      EXPECT_EQ((Lines{"cm:"}), AllLabels()) << c.header;
    }
  }
}
