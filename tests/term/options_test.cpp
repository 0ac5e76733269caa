#include "ui/term/options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "install/keystore_posix.h"
#include "ui/term/paths.h"
#include "ui/term/term_dialogue.h"
#include "ui/term/term_frontend.h"

namespace {

ParseStatus Parse(std::vector<std::string> args, TermOptions& options,
                  std::string& error) {
  return ParseTermOptions(args, options, error);
}

}  // namespace

TEST(ParseTermOptions, WordsAndOptionsInAnyOrder) {
  TermOptions o;
  std::string error;
  ASSERT_EQ(ParseStatus::Run,
            Parse({"600", "--overwrite", "cm", "--target-dir", "/tmp", "--debug",
                   "--priority=急行", "--reaction", "c", "logo", "--detailed"},
                  o, error));
  EXPECT_EQ((std::vector<std::string>{"600", "cm", "logo"}), o.words);
  EXPECT_TRUE(o.overwrite);
  EXPECT_TRUE(o.debug);
  EXPECT_TRUE(o.detailed);
  EXPECT_EQ("/tmp", o.targetDir);
  EXPECT_EQ(1, o.priority);
  EXPECT_EQ('C', o.reaction);
  EXPECT_FALSE(o.dryRun);
}

TEST(ParseTermOptions, DoubleDashEndsOptionsAndNegativeNumbersAreWords) {
  TermOptions o;
  std::string error;
  ASSERT_EQ(ParseStatus::Run, Parse({"-5", "--", "--weird-set"}, o, error));
  EXPECT_EQ((std::vector<std::string>{"-5", "--weird-set"}), o.words);
}

TEST(ParseTermOptions, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},
      {"--definition"},                 // value missing
      {"--definition="},                // empty value
      {"--priority", "fast"},
      {"--reaction", "X"},
      {"--overwrite=1"},                // takes no value
      {"--install", "F", "600"},        // install takes nothing else
      {"--uninstall", "--debug"},
      {"--dry-run", "--uninstall"},
  };
  for (const auto& args : cases) {
    TermOptions o;
    std::string error;
    EXPECT_EQ(ParseStatus::Usage, Parse(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(ParseTermOptions, HelpAndVersionWinOverTheRest) {
  TermOptions o;
  std::string error;
  EXPECT_EQ(ParseStatus::Help, Parse({"600", "--help"}, o, error));
  TermOptions v;
  EXPECT_EQ(ParseStatus::Version, Parse({"-V"}, v, error));
  EXPECT_EQ("kiln (Fontkiln) 3.10\n", VersionText());
}

TEST(ParsePriority, LabelsPositionsAndWords) {
  const struct { const char* text; int position; } cases[] = {
      {"特急", 0}, {"急行", 1}, {"普通", 2}, {"徒歩", 3},
      {"0", 0}, {"3", 3}, {"realtime", 0}, {"HIGH", 1}, {"normal", 2}, {"idle", 3},
      {"4", -1}, {"", -1}, {"各停", -1}, {"01", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.position, ParsePriority(c.text)) << c.text;
}

TEST(ParseReaction, LettersAndWords) {
  EXPECT_EQ('S', ParseReaction("S"));
  EXPECT_EQ('S', ParseReaction("s"));
  EXPECT_EQ('C', ParseReaction("confirm"));
  EXPECT_EQ('I', ParseReaction("Ignore"));
  EXPECT_EQ(0, ParseReaction("SC"));
  EXPECT_EQ(0, ParseReaction(""));
}

TEST(HelpText, NamesEveryOptionAndTheExitStatuses) {
  std::string help = HelpText();
  for (const char* word : {"--definition", "--install", "--uninstall", "--target-dir",
                           "--overwrite", "--debug", "--priority", "--reaction",
                           "--detailed", "--dry-run", "BEGIN_SOURCE", "TARGET_DIR",
                           "Exit status", "2 for a usage error"})
    EXPECT_NE(std::string::npos, help.find(word)) << word;
}

TEST(ParseTermOptions, JobCounts) {
  struct Case {
    std::vector<std::string> args;
    int jobs;  // -1: a usage error
  };
  for (const Case& c : std::vector<Case>{{{}, 1}, {{"-j", "4"}, 4}, {{"-j4", "600"}, 4},
                                         {{"--jobs=0"}, 0}, {{"--jobs", "257"}, -1},
                                         {{"-j", "-1"}, -1}, {{"-jx"}, -1}, {{"-j"}, -1},
                                         {{"--install", "F", "-j", "2"}, -1}}) {
    TermOptions o;
    std::string error;
    ParseStatus status = Parse(c.args, o, error);
    if (c.jobs < 0) {
      EXPECT_EQ(ParseStatus::Usage, status) << c.args.size();
    } else {
      ASSERT_EQ(ParseStatus::Run, status) << error;
      EXPECT_EQ(c.jobs, o.jobs);
    }
  }
}

// -j N is N workers; -j 0 one per CPU the process may use.
TEST(Workers, JobsOptionAndZeroForEveryCpu) {
  for (const char* jobs : {"3", "0"}) {
    TermOptions options;
    std::string error;
    ASSERT_EQ(ParseStatus::Run, Parse({"-j", jobs, "600"}, options, error)) << error;
    FileKeyStore keys;
    TermDialogue dialogue;
    TermFrontEnd frontEnd(options, keys, dialogue);
    if (std::string(jobs) == "3") {
      EXPECT_EQ(3, frontEnd.Workers());
    } else {
      if (AvailableCpus() < 2) GTEST_SKIP() << "one CPU: -j 0 cannot be told from -j 1 here";
      EXPECT_EQ(std::min(AvailableCpus(), kMaxJobs), frontEnd.Workers());
    }
  }
}
