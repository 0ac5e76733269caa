#include "run/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/cmdline.h"
#include "run/failed.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "run/jobgen.h"
#include "support/fake_runner.h"
#include "support/fakes.h"

#include <fstream>

namespace {

const char kDefinition[] =
    "400 nexthi\n"
    "118 bitgraph\n"
    "MF mf \\mode=\n"
    "ERROR_REACTION S\n"
    "BEGIN_SOURCE\n"
    "cm:\n"
    "cmr 5 6 7 8 9 10 12 17     # design sizes\n"
    "cmr 10m1 10m2\n"
    "cmbx 10*2\n"
    "logo:\n"
    "logo10 m0.5 *2\n"
    "three:\n"
    "cmtt 8 9 10\n"
    "again:\n"
    "cmr 10\n";

const char kM1[] =
    "mf \\mode=nexthi; nonstopmode; mag=1; input cmr6\nコマンドで作成した\n"
    "    cmr6.399gf or\n    cmr6.400gf or\n    cmr6.401gf が\n"
    "見つかりませんでした。フォントの生成に失敗した\nと思われます。";

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunSettings();
    ResetJobGenerator();
    CloseDefinitionReader();
    scratch.Write("FONTS.DAT", kDefinition);
    runSettings.definitionPath = scratch.path() + "/FONTS.DAT";
    runSettings.mfCommand = "mf \\mode=";
    runSettings.modeName = "nexthi";
    runSettings.resolution = 400;
    errorReaction = 'S';
    execShowMode = 1;
    terminateRequest = 0;
    batchRules = BatchRules();
  }
  void TearDown() override {
    ResetJobGenerator();
    CloseDefinitionReader();
    terminateRequest = 0;
    batchRules = BatchRules();
  }

  // The rules of the terminal program.
  void FileFailures() {
    batchRules.fileFailedJobs = true;
    batchRules.countEachJobOnce = true;
  }

  void ChooseSets(std::initializer_list<const char*> names) {
    std::unique_ptr<FontSetNode>* tail = &runSettings.fontSets;
    for (const char* name : names) {
      *tail = std::make_unique<FontSetNode>();
      (*tail)->name = name;
      tail = &(*tail)->next;
    }
  }

  int CountCommands(const std::string& program) const {
    return static_cast<int>(std::count_if(
        runner.commands.begin(), runner.commands.end(),
        [&](const std::string& line) { return line.compare(0, program.size(), program) == 0; }));
  }

  ScratchDirectory scratch;
  RecordingLog log;
  ScriptedDialogue dialogue;
  RecordingProgress view;
  FakeRunner runner;
};

TEST_F(BatchTest, ElevenJobsOfSetCmAreBuiltAndFiled) {
  ChooseSets({"cm"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));

  EXPECT_EQ(11, totalFonts);
  EXPECT_EQ(11, fontsProcessed);
  EXPECT_EQ(0, fontsFailed);
  EXPECT_EQ(11, view.range);
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), view.positions);
  EXPECT_EQ(11u, view.timeLines.size());
  EXPECT_TRUE(log.Contains("Total font = 11"));
  // Counting lines first, then one state line per job.
  EXPECT_EQ("生成するフォントを検索中    11", view.stateLines[10]);
  EXPECT_EQ("9%(1/11) 生成中[cm]", view.stateLines[11]);
  EXPECT_EQ("100%(11/11) 生成中[cm]", view.stateLines.back());
  EXPECT_EQ("mf \\mode=nexthi; nonstopmode; mag=2; input cmbx10", view.commandLines.back());

  ASSERT_EQ(22u, runner.commands.size());
  EXPECT_EQ("mf \\mode=nexthi; nonstopmode; mag=1; input cmr5", runner.commands[0]);
  EXPECT_EQ("gftopk cmr5.400gf cmr5.400pk", runner.commands[1]);
  EXPECT_EQ("gftopk cmr10.576gf cmr10.576pk", runner.commands[19]);
  for (int show : runner.showTypes) EXPECT_EQ(1, show);

  for (const char* pk : {"cmr5.400pk", "cmr17.400pk", "cmr10.480pk", "cmr10.576pk",
                         "cmbx10.800pk"})
    EXPECT_TRUE(PathExists(pk)) << pk;
  EXPECT_EQ("TFM cmbx10", scratch.Read("tfm/cmbx10.tfm"));
  EXPECT_TRUE(PathExists("log/cmr17.log"));
  EXPECT_FALSE(PathExists("cmr10.400gf"));
  EXPECT_FALSE(PathExists("cmbx10.tfm"));
  EXPECT_TRUE(dialogue.boxes.empty());
}

TEST_F(BatchTest, IgnoreCountsFailureAndNextSuccessSetsBar) {
  errorReaction = 'I';
  runner.fonts["cmr6"].writeNothing = true;
  ChooseSets({"three", "cm"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));

  EXPECT_TRUE(dialogue.boxes.empty());
  EXPECT_EQ(14, fontsProcessed);
  EXPECT_EQ(1, fontsFailed);
  // cmr6 is job 5: no position 5, and job 6 sets the bar to 6.
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 6, 7}),
            std::vector<int>(view.positions.begin(), view.positions.begin() + 6));
  EXPECT_EQ(13u, view.timeLines.size());
  EXPECT_TRUE(PathExists("cmr7.400pk"));
}

TEST_F(BatchTest, StopShowsM1AndEndsBatch) {
  errorReaction = 'S';
  runner.fonts["cmr6"].writeNothing = true;
  ChooseSets({"cm", "logo"});
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(view, runner));

  ASSERT_EQ(1u, dialogue.boxes.size());  // no prompt under 'S'
  EXPECT_EQ(kM1, dialogue.boxes[0].text);
  EXPECT_EQ(kProductTitle, dialogue.boxes[0].title);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, dialogue.boxes[0].flags);
  EXPECT_EQ(2, fontsProcessed);
  EXPECT_EQ(1, fontsFailed);
  EXPECT_EQ(2, CountCommands("mf "));
  EXPECT_EQ(1, CountCommands("gftopk "));
}

TEST_F(BatchTest, ConfirmShowsM2AndCancelLeavesLaterSetsUntouched) {
  errorReaction = 'C';
  runner.fonts["cmr7"].skipPk = true;
  runner.fonts["cmr8"].skipPk = true;
  dialogue.answers = {ANSWER_OK, ANSWER_CANCEL};
  ChooseSets({"cm", "logo"});
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(view, runner));

  ASSERT_EQ(4u, dialogue.boxes.size());  // M2, prompt (OK), M2, prompt (Cancel)
  EXPECT_EQ(
      "gftopk cmr7.400gf cmr7.400pk\nコマンドで作成した\ncmr7.400pk が\n"
      "見つかりませんでした。フォントの変換に失敗した\nと思われます。",
      dialogue.boxes[0].text);
  EXPECT_EQ(BOX_OKCANCEL | BOX_ICONERROR | BOX_SETFOREGROUND, dialogue.boxes[1].flags);
  EXPECT_EQ(4, fontsProcessed);
  EXPECT_EQ(2, fontsFailed);
  EXPECT_EQ(0, CountCommands("mf \\mode=nexthi; nonstopmode; mag=magstep0.5"));
  // A failed job's files stay as the programs left them.
  EXPECT_TRUE(PathExists("cmr8.400gf"));
  EXPECT_TRUE(PathExists("cmr8.tfm"));
}

TEST_F(BatchTest, GfFileOneOffIsConvertedAtItsOwnResolution) {
  runner.fonts["cmtt9"].gfOffset = -1;
  runner.fonts["cmtt10"].gfOffset = +1;
  ChooseSets({"three"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));

  ASSERT_EQ(6u, runner.commands.size());
  EXPECT_EQ("gftopk cmtt9.399gf cmtt9.399pk", runner.commands[3]);
  EXPECT_EQ("gftopk cmtt10.401gf cmtt10.401pk", runner.commands[5]);
  EXPECT_TRUE(PathExists("cmtt10.401pk"));
  EXPECT_EQ(0, fontsFailed);
}

TEST_F(BatchTest, SameFontInTwoSetsIsCountedTwiceAndBuiltOnce) {
  ChooseSets({"again", "again"});
  RunBatch(view, runner);
  EXPECT_EQ(2, view.range);
  EXPECT_EQ(std::vector<int>{1}, view.positions);
  EXPECT_EQ(1, CountCommands("mf "));
}

TEST_F(BatchTest, StopRequestDuringJobFinishesAndFilesIt) {
  runner.duringJob = [](const std::string& line) {
    if (line.find("input cmr7") != std::string::npos) terminateRequest = 1;
  };
  ChooseSets({"cm", "logo"});
  EXPECT_EQ(BatchEnd::Interrupted, RunBatch(view, runner));

  EXPECT_TRUE(PathExists("cmr7.400pk"));
  EXPECT_TRUE(PathExists("tfm/cmr7.tfm"));
  EXPECT_EQ((std::vector<int>{1, 2, 3}), view.positions);
  EXPECT_EQ(3u, view.timeLines.size());
  EXPECT_EQ(3, fontsProcessed);
  EXPECT_EQ(3, CountCommands("mf "));
  // Once when leaving cm, once more before logo.
  std::vector<std::string> lines = log.Texts();
  EXPECT_EQ(2, std::count(lines.begin(), lines.end(), "Master: Recieve Terminate request"));
}

TEST_F(BatchTest, EverythingPresentRunsNothing) {
  for (const char* pk : {"cmtt8.400pk", "cmtt9.399pk", "cmtt10.401pk"}) scratch.Write(pk, "");
  ChooseSets({"three"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));
  EXPECT_EQ(0, view.range);
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_TRUE(view.positions.empty());
  EXPECT_TRUE(view.timeLines.empty());
  EXPECT_EQ(1, DirectoryStatus("tfm"));
  EXPECT_EQ(1, DirectoryStatus("log"));
}

TEST_F(BatchTest, FailedRebuildKeepsTheOldPkFile) {
  // Regression: with overwrite, gftopk wrote over the existing PK file, so a
  // rebuild that failed lost the font, and an old file passed for a new one.
  runSettings.overwrite = 1;
  errorReaction = 'I';
  scratch.Write("cmtt8.400pk", "old 8");
  scratch.Write("cmtt9.400pk", "old 9");
  runner.fonts["cmtt8"].skipPk = true;
  ChooseSets({"three"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));
  EXPECT_EQ(1, fontsFailed);
  EXPECT_EQ("old 8", scratch.Read("cmtt8.400pk"));   // failed: the old one is back
  EXPECT_EQ("PK cmtt9.400pk", scratch.Read("cmtt9.400pk"));  // rebuilt
  EXPECT_FALSE(PathExists("cmtt8.400pk.kiln-old"));
  EXPECT_FALSE(PathExists("cmtt9.400pk.kiln-old"));
}

TEST_F(BatchTest, PercentagesTruncate) {
  ChooseSets({"three"});
  RunBatch(view, runner);
  EXPECT_EQ((std::vector<std::string>{"生成するフォントを検索中     1",
                                      "生成するフォントを検索中     2",
                                      "生成するフォントを検索中     3",
                                      "33%(1/3) 生成中[three]", "66%(2/3) 生成中[three]",
                                      "100%(3/3) 生成中[three]"}),
            view.stateLines);
}

// PK files removed between the two passes: the generation pass meets jobs
// the counting pass never saw.
TEST_F(BatchTest, JobWhileTotalIsZeroDoesNotDivideByZero) {
  class RemovingView : public RecordingProgress {
   public:
    void SetRange(int upper) override {
      RecordingProgress::SetRange(upper);
      RemoveFile("cmr10.400pk");
    }
  } removingView;
  std::time_t before = std::time(nullptr);
  scratch.Write("cmr10.400pk", "");
  ChooseSets({"again"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(removingView, runner));

  EXPECT_EQ(0, removingView.range);
  EXPECT_EQ("100%(1/0) 生成中[again]", removingView.stateLines.back());
  ASSERT_EQ(1u, removingView.timeLines.size());
  EXPECT_NE(std::string::npos, removingView.timeLines[0].find("(残り0秒)"));
  EXPECT_GE(startTime, before);
}

TEST_F(BatchTest, ProgramThatCannotStartMeetsMissingGfFile) {
  runner.startErrors["mf"] = 2;
  ChooseSets({"three"});
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(view, runner));
  ASSERT_EQ(2u, dialogue.boxes.size());  // the launcher's box, then M1
  EXPECT_EQ("CreateProcess", dialogue.boxes[0].title);
  EXPECT_EQ(0u, dialogue.boxes[1].text.find("mf \\mode=nexthi; nonstopmode; mag=1; input cmtt8\n"));
}

// Every file under the current directory with its bytes.
std::map<std::string, std::string> Tree() {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    std::string name = fs::relative(entry.path(), ".").generic_string();
    if (entry.is_directory()) {
      files[name + "/"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    files[name] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

void EmptyCurrentDirectory() {
  for (const auto& entry : std::filesystem::directory_iterator("."))
    std::filesystem::remove_all(entry.path());
}

// Several workers: the same files, reports and counts as one, with every
// scratch directory gone.
TEST_F(BatchTest, TwoWorkersLeaveWhatOneWorkerLeaves) {
  runner.fonts["cmr6"].skipPk = true;
  runner.fonts["cmr9"].gfOffset = -1;
  errorReaction = 'I';
  ChooseSets({"cm", "logo"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner, 1));
  scratch.Write("FONTS.DAT", kDefinition);  // kept across the second run
  std::map<std::string, std::string> sequential = Tree();
  int mfRuns = CountCommands("mf ");

  EmptyCurrentDirectory();
  scratch.Write("FONTS.DAT", kDefinition);
  FakeRunner second;
  second.fonts = runner.fonts;
  RecordingProgress secondView;
  EXPECT_EQ(BatchEnd::Completed, RunBatch(secondView, second, 2));
  EXPECT_EQ(sequential, Tree());
  EXPECT_EQ(mfRuns, static_cast<int>(std::count_if(
                        second.commands.begin(), second.commands.end(),
                        [](const std::string& c) { return c.compare(0, 3, "mf ") == 0; })));
  EXPECT_EQ(13, fontsProcessed);
  EXPECT_EQ(1, fontsFailed);
  // The bar counts finished jobs, the failed one included.
  std::vector<int> positions;
  for (int i = 1; i <= 13; ++i)
    if (i != 2) positions.push_back(i);
  EXPECT_EQ(positions, secondView.positions);
  // It ends at 100 %, with no program left named as running.
  EXPECT_EQ("100%(13/13) 完了", secondView.stateLines.back());
  EXPECT_EQ("", secondView.commandLines.back());

  // Regression: the later magnification of logo10 ending first filed its
  // log first, and the earlier one's log was left in log/logo10.log.
  ASSERT_EQ("This is METAFONT, mf \\mode=nexthi; nonstopmode; mag=2; input logo10",
            sequential["log/logo10.log"]);
  EmptyCurrentDirectory();
  scratch.Write("FONTS.DAT", kDefinition);
  FakeRunner slowFirst;
  slowFirst.fonts = runner.fonts;
  slowFirst.slowCommand = "magstep0.5; input logo10";
  RecordingProgress thirdView;
  EXPECT_EQ(BatchEnd::Completed, RunBatch(thirdView, slowFirst, 2));
  EXPECT_EQ(sequential, Tree());
}

TEST_F(BatchTest, FailureUnderStopWithTwoWorkersFilesTheRunningJobAndStartsNoMore) {
  runner.fonts["cmr6"].skipPk = true;
  ChooseSets({"cm", "logo"});
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(view, runner, 2));
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_EQ(0u, dialogue.boxes[0].text.find("gftopk cmr6.400gf cmr6.400pk\n"));
  // cmr7 had started before cmr6's gftopk ended: it is finished and filed.
  EXPECT_EQ(3, CountCommands("mf "));
  EXPECT_TRUE(PathExists("cmr7.400pk"));
  EXPECT_EQ("TFM cmr7", scratch.Read("tfm/cmr7.tfm"));
  // The failed job's files stay in the target directory, as one worker
  // leaves them; no scratch directory is left.
  EXPECT_TRUE(PathExists("cmr6.400gf"));
  EXPECT_TRUE(PathExists("cmr6.tfm"));
  for (const auto& entry : Tree()) EXPECT_EQ(std::string::npos, entry.first.find(".kiln"));
}

TEST_F(BatchTest, FontNamedTwiceIsBuiltOnceEvenWhenOverwriting) {
  for (int workers : {1, 2}) {
    FakeRunner fresh;
    runSettings.overwrite = 1;
    ChooseSets({"again", "three", "again"});
    RunBatch(view, fresh, workers);
    EXPECT_EQ(4, std::count_if(fresh.commands.begin(), fresh.commands.end(),
                               [](const std::string& c) { return c.compare(0, 3, "mf ") == 0; }))
        << workers << " workers";
    EXPECT_EQ(4, fontsProcessed);
  }
}

// A run killed outright leaves its scratch directories; the next run in the
// directory (which holds its lock) removes them, and what is in them is
// never taken for a built font.
TEST_F(BatchTest, ScratchDirectoryOfAKilledRunIsRemovedAndNotTakenForAFont) {
  MakeDirectory(".kiln-job.7");
  scratch.Write(".kiln-job.7/cmr10.400pk", "PK left by a killed run");
  scratch.Write(".kiln-job.7/cmr10.400gf", "half");
  scratch.Write(".kiln-job.x", "not ours: the name has no number");
  ChooseSets({"again"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner, 1));
  EXPECT_EQ(1, CountCommands("mf "));
  EXPECT_EQ("PK cmr10.400pk", scratch.Read("cmr10.400pk"));
  EXPECT_FALSE(PathExists(".kiln-job.7"));
  EXPECT_TRUE(PathExists(".kiln-job.x"));
  EXPECT_TRUE(log.Contains("Removed .kiln-job.7, left by a run that was killed"));
}

// The files of the current directory, its subdirectories' with their path.
std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (const auto& entry : Tree())
    if (entry.first.back() != '/') names.push_back(entry.first);
  return names;
}

TEST_F(BatchTest, FailedFontsAreListedWithReasonAndLogWhereTheyStay) {
  errorReaction = 'I';
  runner.fonts["cmr6"].error = "! I can't find file `c-cmr'.";
  runner.fonts["cmr7"].writeNothing = true;
  runner.fonts["cmr8"].skipPk = true;
  runner.fonts["cmr8"].gftopkMessage = "\nBad GF file: ID byte is 6!\n";
  runner.fonts["cmr9"].skipPk = true;
  runner.fonts["cmr10"].shortPk = true;
  ChooseSets({"cm"});
  RunBatch(view, runner);
  const std::string here = CurrentDirectory() + kDirSeparator;
  ASSERT_EQ(7u, failedFonts.size());  // cmr10 at three resolutions
  EXPECT_EQ(7, fontsFailed);
  EXPECT_EQ("cmr6", failedFonts[0].fontName);
  EXPECT_EQ(400, failedFonts[0].resolution);
  EXPECT_EQ("! I can't find file `c-cmr'.", failedFonts[0].reason);
  EXPECT_EQ(here + "cmr6.log", failedFonts[0].logPath);
  EXPECT_EQ("METAFONT wrote no GF file", failedFonts[1].reason);
  EXPECT_EQ("", failedFonts[1].logPath);
  EXPECT_EQ("Bad GF file: ID byte is 6!", failedFonts[2].reason);
  EXPECT_EQ(here + "cmr8.log", failedFonts[2].logPath);
  EXPECT_EQ("no PK file was written", failedFonts[3].reason);
  EXPECT_EQ("gftopk left a PK file cut short (is the disk full?)", failedFonts[4].reason);
  EXPECT_EQ(480, failedFonts[5].resolution);
  // As specified, the failed jobs' files stay where the programs left them.
  for (const char* left : {"cmr6.log", "cmr8.400gf", "cmr8.tfm", "cmr9.log", "cmr10.576gf"})
    EXPECT_TRUE(PathExists(left)) << left;
  EXPECT_EQ(0, fontsNotTried);
}

// The terminal program's rules: a failed job's log is filed under its font
// and resolution, mfput.log too, and nothing else of it is left, with one
// worker or several.
TEST_F(BatchTest, FiledFailuresLeaveOnlyTheirLogs) {
  for (int workers : {1, 2}) {
    EmptyCurrentDirectory();
    scratch.Write("FONTS.DAT", kDefinition);
    scratch.Write("log/cmr10.480.log", "an earlier run's failure");
    scratch.Write("log/cmr5.400.log", "an earlier run's failure");
    FileFailures();
    errorReaction = 'I';
    FakeRunner failing;
    failing.fonts["cmr6"].error = "! I can't find file `cmr6'.";
    failing.fonts["cmr6"].missingSource = true;
    failing.fonts["cmr7"].skipPk = true;
    failing.fonts["cmr10"].error = "! Undefined control sequence.";
    ChooseSets({"cm", "again"});
    RunBatch(view, failing, workers);
    const std::string logs = CurrentDirectory() + kDirSeparator + "log" + kDirSeparator;
    ASSERT_EQ(5u, failedFonts.size()) << workers;
    std::map<std::string, FailedFont> byLog;
    for (const FailedFont& font : failedFonts) byLog[font.logPath] = font;
    EXPECT_EQ("! I can't find file `cmr6'.", byLog[logs + "cmr6.400.log"].reason);
    EXPECT_EQ("no PK file was written", byLog[logs + "cmr7.400.log"].reason);
    // The same font failing at three resolutions keeps three logs; the
    // earlier run's is replaced.
    for (const char* dpi : {"400", "480", "576"})
      EXPECT_EQ("! Undefined control sequence.",
                byLog[logs + "cmr10." + dpi + ".log"].reason) << dpi;
    EXPECT_NE("an earlier run's failure", scratch.Read("log/cmr10.480.log"));
    // Built now: the log of its earlier failure goes.
    EXPECT_FALSE(PathExists("log/cmr5.400.log"));
    // The failed cmr10 of the set "again" is not tried a second time.
    EXPECT_EQ(1, std::count(failing.commands.begin(), failing.commands.end(),
                            "mf \\mode=nexthi; nonstopmode; mag=1; input cmr10"));
    // Nothing of a failed job is left but its log.
    for (const std::string& name : Names())
      EXPECT_TRUE(name == "FONTS.DAT" || name.compare(0, 4, "log/") == 0 ||
                  name.compare(0, 4, "tfm/") == 0 || name.back() == 'k')
          << name << ", " << workers << " workers";
    ResetJobGenerator();
  }
}

TEST_F(BatchTest, EachJobCountedOnceAndWhatAStopLeftIsCounted) {
  FileFailures();
  ChooseSets({"again", "three", "again"});
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));
  EXPECT_EQ(4, view.range);
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), view.positions);
  EXPECT_EQ("100%(4/4) 完了", view.stateLines.back());
  EXPECT_EQ(0, fontsNotTried);

  // Stopped at the second of ten (cmr10 at 400 is there now): eight were
  // never tried, and the counts add up to the set's eleven.
  RecordingProgress stopped;
  FakeRunner failing;
  failing.fonts["cmr6"].writeNothing = true;
  runSettings.fontSets.reset();
  ChooseSets({"cm"});
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(stopped, failing));
  EXPECT_EQ(8, fontsNotTried);
  EXPECT_EQ(11, (fontsProcessed - fontsFailed) + fontsFailed + fontsNotTried + fontsPresent);
  EXPECT_EQ("20%(2/10) stopped; 8 not tried", stopped.stateLines.back());

  // Nothing to build says so.
  ResetJobGenerator();
  CloseDefinitionReader();
  RecordingProgress nothing;
  for (const char* pk : {"cmtt8.400pk", "cmtt9.400pk", "cmtt10.400pk"}) scratch.Write(pk, "");
  runSettings.fontSets.reset();
  ChooseSets({"three"});
  RunBatch(nothing, runner);
  EXPECT_EQ(std::vector<std::string>{"There was nothing to build"}, nothing.stateLines);
  EXPECT_EQ(3, fontsPresent);
}

TEST(FirstErrorLine, TheFirstLineThatBeginsWithAnExclamationMark) {
  EXPECT_EQ("! I can't find file `c-cmr'.",
            FirstErrorLine("(cmr10.mf\r\n!no\n! I can't find file `c-cmr'.\r\n! Emergency stop.\n"));
  EXPECT_EQ("", FirstErrorLine("This is METAFONT\n[65] [66]\n"));
}

TEST(FormatTimeLine, WorkedExample) {
  std::time_t start = LocalTime(10, 0, 0);
  EXPECT_EQ("開始時刻: 10:00:00, 現在時刻: 10:05:00, 終了予測時刻: 10:20:00(残り900秒)",
            FormatTimeLine("開始時刻: 10:00:00", LocalTime(10, 5, 0), start, 5, 20));
}

TEST(AskContinueAfterFailure, FollowsErrorReaction) {
  struct Case {
    int reaction;
    std::deque<int> answers;
    int expected;
    std::size_t boxes;
  };
  for (const Case& c : {Case{'S', {}, 0, 0}, Case{'C', {ANSWER_OK}, 1, 1},
                        Case{'C', {ANSWER_CANCEL}, 0, 1}, Case{'C', {0}, 1, 1}}) {
    ScriptedDialogue dialogue;
    dialogue.answers = c.answers;
    errorReaction = c.reaction;
    EXPECT_EQ(c.expected, AskContinueAfterFailure());
    ASSERT_EQ(c.boxes, dialogue.boxes.size());
    if (c.boxes) {
      EXPECT_EQ(
          "フォントの生成に失敗しました。処理を継続する場合はOKを, "
          "処理を停止する場合にはキャンセルを押して下さい。",
          dialogue.boxes[0].text);
      EXPECT_EQ(kProductTitle, dialogue.boxes[0].title);
    }
  }
  errorReaction = 'S';
}

}  // namespace
