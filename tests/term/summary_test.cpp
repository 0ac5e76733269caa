// The terminal program's summary, with the texts as written (no catalogue):
// which heading a run gets, the counts a failed or empty run adds, plural
// forms, and averages in tenths below ten seconds.
#include "ui/term/summary.h"

#include <gtest/gtest.h>

namespace {

RunSummary Finished(int processed, int failed, int present, int seconds) {
  RunSummary run;
  run.startText = "開始時刻: 13:00:00";
  run.startTime = 1000000;
  run.endTime = run.startTime + seconds;
  run.processed = processed;
  run.failed = failed;
  run.present = present;
  run.targetDir = "/home/me/texmf/pk";
  run.specifiedShown = true;
  return run;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const char kBuilt[] = "指定されたフォントの生成を完了しました";

}  // namespace

TEST(TermSummary, PluralFormsAndTenthsOfASecond) {
  std::string one = TermSummaryText(Finished(1, 0, 0, 2));
  EXPECT_TRUE(Has(one, kBuilt)) << one;
  EXPECT_TRUE(Has(one, "in all for 1 font,\n2.0 s per font on average.\n")) << one;
  std::string many = TermSummaryText(Finished(14, 0, 0, 5));
  EXPECT_TRUE(Has(many, "in all for 14 fonts,\n0.3 s per font on average.\n")) << many;
  EXPECT_FALSE(Has(many, "Fonts built"));  // nothing failed: the plain summary
  std::string slow = TermSummaryText(Finished(10, 0, 0, 200));
  EXPECT_TRUE(Has(slow, "0 h 3 min 20 s in all for 10 fonts,\n20 s per font on average.\n"));
  EXPECT_TRUE(Has(slow, "the directories tfm and log"));
  RunSummary tree = Finished(2, 0, 0, 1);
  tree.logsOnly = true;
  EXPECT_TRUE(Has(TermSummaryText(tree), "the directory log with the log files"));
}

TEST(TermSummary, FailedAndEmptyRunsSaySo) {
  std::string some = TermSummaryText(Finished(3, 1, 4, 3));
  EXPECT_FALSE(Has(some, kBuilt)) << some;
  EXPECT_TRUE(Has(some, "Not every chosen font could be built\n")) << some;
  EXPECT_TRUE(Has(some, "Fonts built: 2, failed: 1.\n")) << some;
  EXPECT_TRUE(Has(some, "there already (not built again): 4.\n")) << some;

  std::string none = TermSummaryText(Finished(2, 2, 0, 3));
  EXPECT_FALSE(Has(none, kBuilt)) << none;
  EXPECT_TRUE(Has(none, "None of the chosen fonts could be built\n")) << none;
  EXPECT_TRUE(Has(none, "Fonts built: 0, failed: 2.\n")) << none;

  std::string nothing = TermSummaryText(Finished(0, 0, 12, 0));
  EXPECT_TRUE(Has(nothing, "There was nothing to build\n    開始時刻: 13:00:00\n")) << nothing;
  EXPECT_TRUE(Has(nothing, "there already (not built again): 12.\n")) << nothing;
  EXPECT_FALSE(Has(nothing, "Building took")) << nothing;

  // A run of named sets shows no summary, unless a font failed.
  RunSummary quiet = Finished(3, 0, 0, 1);
  quiet.specifiedShown = false;
  EXPECT_EQ("", TermSummaryText(quiet));
  quiet.intoTree = true;
  EXPECT_TRUE(Has(TermSummaryText(quiet), kBuilt));
  quiet.intoTree = false;
  quiet.failed = 1;
  EXPECT_TRUE(Has(TermSummaryText(quiet), "Fonts built: 2, failed: 1.\n"));
}

TEST(TermSummary, FailedFontsAreNamedAndAStopSaysWhatWasLeft) {
  RunSummary run = Finished(4, 2, 1, 3);
  run.notTried = 5;
  run.failures = {{"kbadr10", 600, "! I can't find file `c-kbad'.", "/home/me/pk/log/kbadr10.600.log"},
                  {"cmr10", 720, "METAFONT could not be started (error 2)", ""}};
  std::string text = TermSummaryText(run);
  EXPECT_TRUE(Has(text, "Fonts built: 2, failed: 2.\n"
                        "Fonts that were there already (not built again): 1.\n"
                        "Fonts not tried, as the run stopped: 5.\n"
                        "Failed fonts:\n"
                        "    kbadr10 at 600 dpi: ! I can't find file `c-kbad'.\n"
                        "        log: /home/me/pk/log/kbadr10.600.log\n"
                        "    cmr10 at 720 dpi: METAFONT could not be started (error 2)\n"
                        "Building took"))
      << text;

  // A stop with nothing failed is no completed run, and is shown.
  RunSummary stopped = Finished(2, 0, 0, 1);
  stopped.specifiedShown = false;
  stopped.notTried = 3;
  std::string left = TermSummaryText(stopped);
  EXPECT_FALSE(Has(left, kBuilt)) << left;
  EXPECT_TRUE(Has(left, "The run stopped before every chosen font was built\n")) << left;
  EXPECT_TRUE(Has(left, "Fonts built: 2, failed: 0.\n")) << left;

  // A long list is cut.
  RunSummary many = Finished(30, 30, 0, 3);
  for (int i = 0; i < 30; ++i) many.failures.push_back({"f" + std::to_string(i), 600, "x", ""});
  std::string cut = TermSummaryText(many);
  EXPECT_TRUE(Has(cut, "    f19 at 600 dpi: x\n    and 10 more.\n")) << cut;
  EXPECT_FALSE(Has(cut, "f20 at"));
}
