#include "run/jobgen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "deffile/reader.h"
#include "run/filesys.h"
#include "support/example.h"
#include "support/fakes.h"

namespace {

struct Job {
  std::string command;
  std::string fontName;
  int resolution;
  bool operator==(const Job& other) const {
    return command == other.command && fontName == other.fontName &&
           resolution == other.resolution;
  }
};

std::ostream& operator<<(std::ostream& out, const Job& job) {
  return out << "{" << job.command << " | " << job.fontName << " | " << job.resolution << "}";
}

class JobGenerator : public testing::Test {
 protected:
  void SetUp() override {
    ResetJobGenerator();
    UseDefinitionFile(kExampleDefinition);
    settings.mfCommand = "mf \\mode=";
    settings.modeName = "nexthi";
    settings.resolution = 400;
  }
  void TearDown() override { ResetJobGenerator(); }

  void UseDefinitionFile(const std::string& text) {
    scratch.Write("FONTS.DAT", text);
    settings.definitionPath = scratch.path() + kDirSeparator + "FONTS.DAT";
  }

  // Every job of one set, up to the 0 that ends it.
  std::vector<Job> Jobs(const std::string& set) {
    std::vector<Job> jobs;
    std::string command;
    while (NextMetafontJob(settings, set, command) == 1) {
      jobs.push_back({command, settings.fontName, settings.fontResolution});
      if (jobs.size() > 1000) break;  // a generator that never ends
    }
    return jobs;
  }

  std::vector<std::string> Names(const std::vector<Job>& jobs) {
    std::vector<std::string> names;
    for (const auto& job : jobs)
      names.push_back(job.fontName + "@" + std::to_string(job.resolution));
    return names;
  }

  ScratchDirectory scratch;
  RecordingLog log;
  ScriptedDialogue dialogue;
  RunSettings settings;
};

std::string Command(const std::string& mag, const std::string& font) {
  return "mf \\mode=nexthi; nonstopmode; mag=" + mag + "; input " + font;
}

TEST_F(JobGenerator, ElevenJobsOfSetCmInFileOrder) {
  std::vector<Job> expected = {
      {Command("1", "cmr5"), "cmr5", 400},
      {Command("1", "cmr6"), "cmr6", 400},
      {Command("1", "cmr7"), "cmr7", 400},
      {Command("1", "cmr8"), "cmr8", 400},
      {Command("1", "cmr9"), "cmr9", 400},
      {Command("1", "cmr10"), "cmr10", 400},
      {Command("1", "cmr12"), "cmr12", 400},
      {Command("1", "cmr17"), "cmr17", 400},
      {Command("magstep1", "cmr10"), "cmr10", 480},
      {Command("magstep2", "cmr10"), "cmr10", 576},
      {Command("2", "cmbx10"), "cmbx10", 800},
  };
  EXPECT_EQ(expected, Jobs("cm"));
  EXPECT_EQ("cmbx", settings.fontPrefix);
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_TRUE(dialogue.boxes.empty());
}

TEST_F(JobGenerator, MagstepAndFactorWithoutSuffixNameThePrefix) {
  std::vector<Job> expected = {
      {Command("magstep0.5", "logo10"), "logo10", 438},
      {Command("2", "logo10"), "logo10", 800},
  };
  EXPECT_EQ(expected, Jobs("logo"));
}

TEST_F(JobGenerator, StartsTheSetAgainAfterItEnded) {
  std::vector<Job> first = Jobs("cm");
  EXPECT_EQ(first, Jobs("cm"));
  EXPECT_EQ(2u, Jobs("logo").size());
  ASSERT_EQ(11u, first.size());
}

TEST_F(JobGenerator, SetWithoutJobsEndsAtTheFirstCall) {
  UseDefinitionFile(
      "BEGIN_SOURCE\nempty:\nnext:\ncmr 10\nlast:\n# nothing follows\n");
  std::string command = "untouched";
  EXPECT_EQ(0, NextMetafontJob(settings, "empty", command));
  EXPECT_EQ(0, NextMetafontJob(settings, "last", command));
  EXPECT_EQ(0, NextMetafontJob(settings, "nosuchset", command));
  EXPECT_EQ("untouched", command);
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_EQ(1u, Jobs("next").size());
}

struct EntryCase {
  const char* entry;
  const char* magnification;
  const char* fontName;
  int resolution;  // at 300 dpi
};

class JobGeneratorEntries : public JobGenerator,
                            public testing::WithParamInterface<EntryCase> {};

TEST_P(JobGeneratorEntries, ClassifiesTheEntry) {
  UseDefinitionFile(std::string("BEGIN_SOURCE\nset:\ncm ") + GetParam().entry + "\n");
  settings.resolution = 300;
  std::vector<Job> expected = {{Command(GetParam().magnification, GetParam().fontName),
                                GetParam().fontName, GetParam().resolution}};
  EXPECT_EQ(expected, Jobs("set"));
}

INSTANTIATE_TEST_SUITE_P(
    NextMetafontJob, JobGeneratorEntries,
    testing::Values(
        EntryCase{"10", "1", "cm10", 300},
        EntryCase{"10m", "magstep", "cm10", 300},        // step left empty
        EntryCase{"m1", "magstep1", "cm", 360},          // no suffix
        EntryCase{"*2", "2", "cm", 600},                 // no suffix
        EntryCase{"10*m2", "magstep2", "cm10*", 432},    // m wins, asterisk in suffix
        EntryCase{"mi10", "magstepi10", "cm", 300},      // m inside the suffix
        EntryCase{"10m0.5", "magstep0.5", "cm10", 329},  // fractional step
        EntryCase{"10m3", "magstep3", "cm10", 518},
        EntryCase{"10m-1", "magstep-1", "cm10", 250},    // a negative step shrinks
        EntryCase{"10m-0.5", "magstep-0.5", "cm10", 274},
        EntryCase{"7*0.5", "0.5", "cm7", 150},
        EntryCase{"10*", "", "cm10", 0}));               // factor left empty

TEST_F(JobGenerator, ExistingPkOneBelowLeavesTheFontOut) {
  UseDefinitionFile("BEGIN_SOURCE\nset:\ncmr 10 12\n");
  scratch.Write("cmr10.399pk", "pk");
  EXPECT_EQ((std::vector<std::string>{"cmr12@400"}), Names(Jobs("set")));
  EXPECT_TRUE(log.Contains("cmr10.399pk is already exist in PK file directory"));
  settings.overwrite = 1;
  EXPECT_EQ((std::vector<std::string>{"cmr10@400", "cmr12@400"}), Names(Jobs("set")));
}

TEST_F(JobGenerator, WholeSetBuiltReturnsZeroAtOnce) {
  for (const char* pk : {"cmr5.400pk", "cmr6.400pk", "cmr7.401pk", "cmr8.400pk",
                         "cmr9.400pk", "cmr10.400pk", "cmr12.400pk", "cmr17.400pk",
                         "cmr10.480pk", "cmr10.576pk", "cmbx10.799pk"})
    scratch.Write(pk, "pk");
  std::string command;
  EXPECT_EQ(0, NextMetafontJob(settings, "cm", command));
  EXPECT_FALSE(DefinitionReaderIsOpen());
  EXPECT_EQ(11, static_cast<int>(log.lines.size()));
}

TEST_F(JobGenerator, SingleFieldLineIsPassedOverAndLoggedOnce) {
  UseDefinitionFile("BEGIN_SOURCE\nset:\ncmtt\ncmr 10\nlonely\n");
  std::vector<std::string> expected = {"cmr10@400"};
  EXPECT_EQ(expected, Names(Jobs("set")));  // counting pass
  EXPECT_EQ(expected, Names(Jobs("set")));  // generation pass
  int alerts = 0;
  for (const auto& line : log.lines)
    if (line.kind == LOG_ALERT) ++alerts;
  EXPECT_EQ(2, alerts);  // "cmtt" and "lonely", once each
  EXPECT_TRUE(log.Contains("Font line \"cmtt\" has no font entry; passed over"));
  EXPECT_TRUE(dialogue.boxes.empty());
}

TEST_F(JobGenerator, RegressionLineOfMoreThanFiftyFieldsLostItsEntries) {
  std::string line = "cmr";
  std::vector<std::string> expected;
  for (int size = 1; size <= 60; ++size) {
    line += " " + std::to_string(size);
    expected.push_back("cmr" + std::to_string(size) + "@400");
  }
  UseDefinitionFile("BEGIN_SOURCE\nset:\n" + line + "\ncmbx 10\n");
  expected.push_back("cmbx10@400");
  EXPECT_EQ(expected, Names(Jobs("set")));
  EXPECT_EQ(expected, Names(Jobs("set")));
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_EQ(kProductTitle, dialogue.boxes[0].title);
  EXPECT_EQ(BOX_ICONWARNING | BOX_SETFOREGROUND, dialogue.boxes[0].flags);
  EXPECT_NE(std::string::npos, dialogue.boxes[0].text.find(line));
  EXPECT_TRUE(log.Contains("Font line \"" + line +
                           "\" has 61 fields (more than 50); all its entries are built"));
}

TEST_F(JobGenerator, RegressionResolutionBeyondIntIsRefusedOnce) {
  UseDefinitionFile(
      "BEGIN_SOURCE\nset:\ncmr 5 10*1e10 6 10*1e400 7 m1e5 8\n");
  std::vector<std::string> expected = {"cmr5@400", "cmr6@400", "cmr7@400", "cmr8@400"};
  EXPECT_EQ(expected, Names(Jobs("set")));
  EXPECT_EQ(expected, Names(Jobs("set")));
  ASSERT_EQ(3u, dialogue.boxes.size());  // one per refused entry, not per pass
  EXPECT_NE(std::string::npos, dialogue.boxes[0].text.find("10*1e10"));
  EXPECT_NE(std::string::npos, dialogue.boxes[0].text.find("cmr 5 10*1e10"));
  EXPECT_EQ(kProductTitle, dialogue.boxes[0].title);
  EXPECT_EQ(BOX_ICONWARNING | BOX_SETFOREGROUND, dialogue.boxes[0].flags);
  EXPECT_NE(std::string::npos, dialogue.boxes[1].text.find("10*1e400"));
  EXPECT_NE(std::string::npos, dialogue.boxes[2].text.find("m1e5"));
  EXPECT_TRUE(log.Contains(
      "Font entry 10*1e10 of the line \"cmr 5 10*1e10 6 10*1e400 7 m1e5 8\": "
      "resolution out of range; job refused"));
}

TEST_F(JobGenerator, LargestResolutionThatFitsIsBuilt) {
  // 1e6 * 400 fits an int comfortably; the factor is passed on as written.
  UseDefinitionFile("BEGIN_SOURCE\nset:\ncmr 10*1e6\n");
  std::vector<Job> expected = {{Command("1e6", "cmr10"), "cmr10", 400000000}};
  EXPECT_EQ(expected, Jobs("set"));
}

TEST_F(JobGenerator, RegressionOverlongCommandLineIsRefusedOnce) {
  UseDefinitionFile("BEGIN_SOURCE\nset:\ncmr 10 100\n");
  // "...; nonstopmode; mag=1; input cmr10" makes exactly the longest
  // command that Windows accepts; cmr100 is one character longer.
  const std::string tail = "nexthi; nonstopmode; mag=1; input cmr10";
  settings.mfCommand = "mf " + std::string(kMaxCommandLine - 3 - tail.size(), 'x');
  std::vector<Job> jobs = Jobs("set");
  ASSERT_EQ(1u, jobs.size());
  EXPECT_EQ("cmr10", jobs[0].fontName);
  EXPECT_EQ(kMaxCommandLine, jobs[0].command.size());
  Jobs("set");
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_NE(std::string::npos, dialogue.boxes[0].text.find("cmr 10 100"));
  EXPECT_EQ(kProductTitle, dialogue.boxes[0].title);
}

struct RoundCase {
  double value;
  int expected;
};

class RoundResolutionTable : public testing::TestWithParam<RoundCase> {};

TEST_P(RoundResolutionTable, HalfUpByTheFirstDecimal) {
  EXPECT_EQ(GetParam().expected, RoundResolution(GetParam().value))
      << "value " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    RoundResolution, RoundResolutionTable,
    testing::Values(RoundCase{std::pow(1.2, 1.0) * 300, 360},
                    RoundCase{std::pow(1.2, 2.0) * 300, 432},
                    RoundCase{431.99999999999994, 432},
                    RoundCase{std::pow(1.2, 3.0) * 300, 518},
                    RoundCase{std::pow(1.2, 0.5) * 300, 329},
                    RoundCase{std::pow(1.2, 1.0) * 118, 142},
                    RoundCase{std::pow(1.2, 4.0) * 400, 829},
                    RoundCase{479.9999997, 480},  // six-decimal formatting first
                    RoundCase{0.5, 1}, RoundCase{0.45, 0}, RoundCase{0.0, 0}));

}  // namespace
