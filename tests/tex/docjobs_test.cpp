// The second job source and the TeX tree: kpathsea's answers cached and
// batched, the tree layout's filing and ls-R, missfont.log requests, and the
// refusal of unreadable documents.
#include "tex/docjobs.h"

#include <gtest/gtest.h>

#include <map>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/batch.h"
#include "run/cmdline.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "run/jobgen.h"
#include "tex/fontmap.h"
#include "tex/layout.h"
#include "support/fake_runner.h"
#include "support/fakes.h"

namespace {

const FontMapChoice kBitmapsOnly{kNoMap, true};

// kpathsea as a table; records every call.
class TableLookup : public TexLookup {
 public:
  std::vector<std::string> FindFiles(TexFileKind kind,
                                     const std::vector<std::string>& names) override {
    calls.push_back(std::string(TexFileSuffix(kind)) + ":" + Joined(names));
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(files[name + TexFileSuffix(kind)]);
    return paths;
  }
  std::vector<std::string> FindPkFiles(const std::vector<std::string>& names,
                                       const std::string& mode, int dpi) override {
    calls.push_back("pk " + mode + " " + std::to_string(dpi) + ":" + Joined(names));
    std::vector<std::string> paths;
    for (const std::string& name : names)
      paths.push_back(files[name + "." + std::to_string(dpi) + "pk"]);
    return paths;
  }
  std::string Variable(const std::string& name) override { return files["$" + name]; }

  static std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += " " + name;
    return text;
  }
  std::map<std::string, std::string> files;
  std::vector<std::string> calls;
};

const char kSystem[] = "/usr/share/texmf/fonts/";

TEST(TexLookupTest, CacheAsksForEachNameOnceAndKeepsTheOrder) {
  TableLookup table;
  table.files["cmr10.mf"] = std::string(kSystem) + "source/public/cm/cmr10.mf";
  CachedTexLookup cached(table);
  EXPECT_EQ((std::vector<std::string>{table.files["cmr10.mf"], ""}),
            cached.FindFiles(TexFileKind::MetafontSource, {"cmr10", "nosuch"}));
  // Known names are answered from memory; only the new one is asked, once.
  EXPECT_EQ((std::vector<std::string>{"", "", table.files["cmr10.mf"]}),
            cached.FindFiles(TexFileKind::MetafontSource, {"logo10", "nosuch", "cmr10"}));
  cached.FindFiles(TexFileKind::Tfm, {"cmr10"});
  cached.FindPkFiles({"cmr10", "cmr12"}, "ljfour", 600);
  cached.FindPkFiles({"cmr10"}, "ljfour", 600);
  cached.FindPkFiles({"cmr10"}, "ljfour", 720);
  EXPECT_EQ((std::vector<std::string>{".mf: cmr10 nosuch", ".mf: logo10", ".tfm: cmr10",
                                      "pk ljfour 600: cmr10 cmr12", "pk ljfour 720: cmr10"}),
            table.calls);

  EXPECT_TRUE(IsPlainFontName("ecrm1000"));
  EXPECT_TRUE(IsPlainFontName("t1-x_y.z+"));
  for (const char* bad : {"", "-format=pk", ".hidden", "a b", "../x", "a;b", "a\\b"})
    EXPECT_FALSE(IsPlainFontName(bad)) << bad;
}

TEST(TreeLayoutTest, SourceFoldersAndLsRBlocks) {
  EXPECT_EQ("public/cm", SourceFolderOf("/usr/share/texmf/fonts/source/public/cm/cmr10.mf"));
  EXPECT_EQ("jknappen/ec", SourceFolderOf("/t/fonts/source/jknappen/ec/ecrm1000.mf"));
  EXPECT_EQ("kiln", SourceFolderOf("/home/me/fonts/myfont.mf"));
  EXPECT_EQ("kiln", SourceFolderOf("/t/fonts/source/x.mf"));
  EXPECT_EQ("kiln", SourceFolderOf("/t/fonts/source/../../etc/x.mf"));
  EXPECT_EQ("kiln", SourceFolderOf("./x.mf"));

  std::map<std::string, std::set<std::string>> added{
      {"fonts/pk/ljfour/public/cm", {"cmr10.720pk", "cmbx10.600pk"}},
      {"fonts/tfm/kiln", {"my.tfm"}}};
  const std::string blocks =
      "\n./fonts/pk/ljfour/public/cm:\ncmbx10.600pk\ncmr10.720pk\n"
      "\n./fonts/tfm/kiln:\nmy.tfm\n";
  EXPECT_EQ(blocks, LsRAppendix(added, '\n'));
  // A file that does not end with a line break gets one first.
  EXPECT_EQ("\n" + blocks, LsRAppendix(added, 'x'));
  EXPECT_EQ(blocks, LsRAppendix(added, 0));
}

class TreeBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunSettings();
    ResetJobGenerator();
    scratch.Write("FONTS.DAT", "400 nexthi\nMF mf \\mode=\nBEGIN_SOURCE\ncm:\ncmr 10\n");
    runSettings.definitionPath = scratch.path() + "/FONTS.DAT";
    runSettings.mfCommand = "mf \\mode=";
    runSettings.modeName = "nexthi";
    runSettings.resolution = 400;
    errorReaction = 'S';
    execShowMode = 1;
    terminateRequest = 0;
    root = scratch.path() + "/tree";
    MakeDirectories(root + "/kiln");
    table.files["cmr10.mf"] = std::string(kSystem) + "source/public/cm/cmr10.mf";
    table.files["cmr10.tfm"] = std::string(kSystem) + "tfm/public/cm/cmr10.tfm";
    table.files["logo10.mf"] = std::string(kSystem) + "source/public/knuth-lib/logo10.mf";
    table.files["mine.mf"] = "/home/me/mine.mf";
    // The system has logo10 at 400 dpi already.
    table.files["logo10.400pk"] = std::string(kSystem) + "pk/nexthi/public/knuth-lib/logo10.400pk";
    runSettings.documentFonts = {{"cmr10", 800}, {"logo10", 400}, {"logo10", 800}, {"mine", 400}};
    ChangeDirectory(root + "/kiln");
  }
  void TearDown() override {
    SetOutputLayout(nullptr);
    ResetJobGenerator();
    ChangeDirectory(scratch.path());
  }
  bool InTree(const std::string& path) { return PathExists(root + "/" + path); }

  ScratchDirectory scratch;
  RecordingLog log;
  ScriptedDialogue dialogue;
  RecordingProgress view;
  FakeRunner runner;
  TableLookup table;
  std::string root;
};

TEST_F(TreeBatchTest, DocumentFontsAreFiledIntoTheTreeAndLsRIsAppended) {
  scratch.Write("tree/ls-R", "% ls-R -- filename database for kpathsea; do not change this line.\n");
  CachedTexLookup cached(table);
  TreeLayout layout(root, "nexthi", cached);
  SetOutputLayout(&layout);
  layout.Prefetch(runSettings.documentFonts);
  const std::size_t lookupsBefore = table.calls.size();

  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));
  // The sets have no job here; logo10 at 400 is found by kpathsea already.
  EXPECT_EQ(3, fontsProcessed);
  EXPECT_EQ(0, filingFailures);
  EXPECT_EQ("mf \\mode=nexthi; nonstopmode; mag=2; input cmr10", runner.commands[0]);
  EXPECT_EQ("100%(3/3) 生成中[documents]", view.stateLines.back());
  EXPECT_TRUE(InTree("fonts/pk/nexthi/public/cm/cmr10.800pk"));
  EXPECT_TRUE(InTree("fonts/pk/nexthi/public/knuth-lib/logo10.800pk"));
  EXPECT_TRUE(InTree("fonts/pk/nexthi/kiln/mine.400pk"));
  // A TFM that kpathsea finds is not copied; the others are, once.
  EXPECT_FALSE(InTree("fonts/tfm/public/cm/cmr10.tfm"));
  EXPECT_TRUE(InTree("fonts/tfm/public/knuth-lib/logo10.tfm"));
  EXPECT_TRUE(InTree("fonts/tfm/kiln/mine.tfm"));
  EXPECT_TRUE(InTree("kiln/log/cmr10.log"));
  for (const char* left : {"cmr10.800pk", "cmr10.800gf", "cmr10.tfm", "cmr10.log"})
    EXPECT_FALSE(PathExists(left)) << left;
  // Every lookup of the batch was answered by the prefetch.
  EXPECT_EQ(lookupsBefore, table.calls.size());
  EXPECT_EQ(
      "% ls-R -- filename database for kpathsea; do not change this line.\n"
      "\n./fonts/pk/nexthi/kiln:\nmine.400pk\n"
      "\n./fonts/pk/nexthi/public/cm:\ncmr10.800pk\n"
      "\n./fonts/pk/nexthi/public/knuth-lib:\nlogo10.800pk\n"
      "\n./fonts/tfm/kiln:\nmine.tfm\n"
      "\n./fonts/tfm/public/knuth-lib:\nlogo10.tfm\n",
      scratch.Read("tree/ls-R"));

  // A second batch finds everything in place; the tree without new files
  // leaves ls-R as it is.
  const std::string lsR = scratch.Read("tree/ls-R");
  runner.commands.clear();
  EXPECT_EQ(BatchEnd::Completed, RunBatch(view, runner));
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_EQ(lsR, scratch.Read("tree/ls-R"));
}

TEST_F(TreeBatchTest, StoppedBatchStillRecordsItsFontsAndNoLsRIsMade) {
  CachedTexLookup cached(table);
  TreeLayout layout(root, "nexthi", cached);
  SetOutputLayout(&layout);
  runner.fonts["logo10"].writeNothing = true;
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(view, runner));
  EXPECT_TRUE(InTree("fonts/pk/nexthi/public/cm/cmr10.800pk"));
  EXPECT_FALSE(InTree("ls-R"));

  scratch.Write("tree/ls-R", "% ls-R -- filename database for kpathsea; do not change this line.");
  runner.fonts["logo10"].writeNothing = false;
  runner.fonts["mine"].writeNothing = true;
  EXPECT_EQ(BatchEnd::StoppedOnFailure, RunBatch(view, runner));
  // The font filed while the tree had no ls-R is listed now too.
  EXPECT_EQ(
      "% ls-R -- filename database for kpathsea; do not change this line.\n"
      "\n./fonts/pk/nexthi/public/cm:\ncmr10.800pk\n"
      "\n./fonts/pk/nexthi/public/knuth-lib:\nlogo10.800pk\n"
      "\n./fonts/tfm/public/knuth-lib:\nlogo10.tfm\n",
      scratch.Read("tree/ls-R"));
}

// A run killed between filing a font and its end left the font unlisted;
// the next run's end lists it, and only what is missing, in either form of
// folder line. Other files (partial copies, dot files, logs) stay out.
TEST_F(TreeBatchTest, FontsMissingFromLsRAreAddedOnceAtTheEnd) {
  for (const char* file : {"fonts/pk/nexthi/public/cm/cmr10.800pk",
                           "fonts/pk/nexthi/public/cm/cmr12.400pk",
                           "fonts/pk/nexthi/public/cm/cmr17.400pk",
                           "fonts/pk/nexthi/public/cm/cmr9.400pk.kiln-partial",
                           "fonts/pk/nexthi/public/cm/.cmr8.400pk", "fonts/pk/nexthi/x.log",
                           "fonts/tfm/public/cm/cmr12.tfm", "fonts/tfm/public/cm/cmr17.tfm"}) {
    ASSERT_TRUE(MakeDirectories(root + "/" + std::string(file).substr(0, std::string(file).rfind('/'))));
    scratch.Write(std::string("tree/") + file, "x");
  }
  scratch.Write("tree/ls-R",
                "% ls-R -- filename database for kpathsea; do not change this line.\n"
                "\n./fonts/pk/nexthi/public/cm:\ncmr10.800pk\n\n" + root +
                "/fonts/tfm/public/cm:\ncmr17.tfm");
  CachedTexLookup cached(table);
  TreeLayout layout(root, "nexthi", cached);
  layout.Finish();
  const std::string once = scratch.Read("tree/ls-R");
  EXPECT_EQ("% ls-R -- filename database for kpathsea; do not change this line.\n"
            "\n./fonts/pk/nexthi/public/cm:\ncmr10.800pk\n\n" + root +
            "/fonts/tfm/public/cm:\ncmr17.tfm\n"
            "\n./fonts/pk/nexthi/public/cm:\ncmr12.400pk\ncmr17.400pk\n"
            "\n./fonts/tfm/public/cm:\ncmr12.tfm\n",
            once);
  layout.Finish();
  EXPECT_EQ(once, scratch.Read("tree/ls-R"));
}

// kpathsea does not search this tree (no ls-R, not in its paths): the
// layout's own look at the folder must take one dpi either way, as a
// driver's search would.
TEST(TreeLayoutTest, PkOneDpiOffInAnUnsearchedTreeIsPresent) {
  ScratchDirectory scratch;
  TableLookup table;
  table.files["cmr10.mf"] = std::string(kSystem) + "source/public/cm/cmr10.mf";
  CachedTexLookup cached(table);
  TreeLayout layout(scratch.path() + "/tree", "ljfour", cached);
  ASSERT_TRUE(MakeDirectories(scratch.path() + "/tree/fonts/pk/ljfour/public/cm"));
  scratch.Write("tree/fonts/pk/ljfour/public/cm/cmr10.601pk", "");
  scratch.Write("tree/fonts/pk/ljfour/public/cm/cmr10.719pk", "");
  EXPECT_EQ(1, layout.PkExists("cmr10", 600));
  EXPECT_EQ(1, layout.PkExists("cmr10", 602));
  EXPECT_EQ(1, layout.PkExists("cmr10", 720));
  EXPECT_EQ(0, layout.PkExists("cmr10", 603));
  EXPECT_EQ(0, layout.PkExists("cmr10", 599));
}

TEST(MissfontTest, RequestsForTheRunsResolutionAreTakenAndOthersSayWhy) {
  DocumentFont font;
  std::string why;
  ASSERT_TRUE(ParseMissfontLine(
      "mktexpk --mfmode ljfour --bdpi 600 --mag 1+120/600 --dpi 720 cmr10", 600, font, why));
  EXPECT_EQ("cmr10", font.name);
  EXPECT_EQ(720, font.resolution);
  // The mode is "/" when the program did not know it; the base resolution decides.
  ASSERT_TRUE(ParseMissfontLine("/usr/bin/mktexpk --mfmode / --bdpi 600 --mag 1+0/600 "
                                "--dpi 600 ecrm1000\r", 600, font, why));
  EXPECT_EQ("ecrm1000", font.name);

  const std::map<std::string, std::string> passedOver = {
      {"mktexpk --mfmode cx --bdpi 300 --mag 1+0/300 --dpi 300 cmr10", "300 dpi"},
      {"mktextfm ecrm1000", "not a PK font request"},
      {"mktexpk --bdpi 600 --dpi", "no value after --dpi"},
      {"mktexpk --mfmode ljfour --bdpi 600 --dpi 600", "no font"},
      {"mktexpk --bdpi 600 --dpi 600 a b", "more than one font name"},
      {"mktexpk --bdpi 600 --dpi 600 --evil x cmr10", "unknown option --evil"},
      {"mktexpk --bdpi 600 --dpi 600 -format=x", "not a usable font name"},
      {"mktexpk --bdpi 600 --dpi 99999999999 cmr10", "no font, --bdpi or --dpi"},
      {"garbage \x01\xff", "not a PK font request"}};
  for (const auto& line : passedOver) {
    why.clear();
    EXPECT_FALSE(ParseMissfontLine(line.first, 600, font, why)) << line.first;
    EXPECT_NE(std::string::npos, why.find(line.second)) << line.first << ": " << why;
  }
}

TEST(PlanTest, UnreadableFilesAreNamedAndMissfontJobsAreMergedAndChecked) {
  ScratchDirectory scratch;
  TableLookup table;
  table.files["cmr10.mf"] = "/t/fonts/source/public/cm/cmr10.mf";
  DocumentPlan plan;
  std::string error;

  scratch.Write("bad.dvi", std::string("\xf7\x02 not really", 12));
  EXPECT_FALSE(PlanDocumentFonts({scratch.path() + "/bad.dvi"}, {}, 600, kBitmapsOnly, table, plan, error));
  EXPECT_EQ(0u, error.find(scratch.path() + "/bad.dvi: "));
  EXPECT_FALSE(PlanDocumentFonts({scratch.path() + "/none.dvi"}, {}, 600, kBitmapsOnly, table, plan, error));
  EXPECT_EQ(scratch.path() + "/none.dvi: no such file", error);
  MakeDirectory(scratch.path() + "/dir.dvi");
  EXPECT_FALSE(PlanDocumentFonts({scratch.path() + "/dir.dvi"}, {}, 600, kBitmapsOnly, table, plan, error));
  EXPECT_EQ(scratch.path() + "/dir.dvi: not a regular file", error);

  scratch.Write("missfont.log",
                "mktexpk --mfmode ljfour --bdpi 600 --mag 1+120/600 --dpi 720 cmr10\n"
                "mktexpk --mfmode / --bdpi 600 --mag 1+0/600 --dpi 600 nosource\n"
                "mktextfm ecrm1000\n\n"
                "mktexpk --mfmode ljfour --bdpi 600 --mag 1+120/600 --dpi 720 cmr10\n"
                "mktextfm ecrm1000\n");
  table.calls.clear();
  ASSERT_TRUE(PlanDocumentFonts({}, {scratch.path() + "/missfont.log"}, 600, kBitmapsOnly, table,
                                plan, error));
  ASSERT_EQ(1u, plan.fonts.size());
  EXPECT_EQ("cmr10", plan.fonts[0].name);
  EXPECT_EQ(720, plan.fonts[0].resolution);
  EXPECT_EQ(std::vector<std::string>{"nosource"}, plan.withoutSource);
  ASSERT_EQ(1u, plan.reports.size());  // the same line once
  EXPECT_NE(std::string::npos, plan.reports[0].find("mktextfm ecrm1000"));
  EXPECT_EQ(std::vector<std::string>{".mf: cmr10 nosource"}, table.calls);

  // A damaged file that may be passed over (one of a folder's) is named,
  // and the rest is planned.
  const std::string bad = scratch.path() + "/bad.dvi";
  ASSERT_TRUE(PlanDocumentFonts({bad}, {scratch.path() + "/missfont.log"}, 600, kBitmapsOnly,
                                table, plan, error, 0, {bad}))
      << error;
  ASSERT_EQ(1u, plan.passedOver.size());
  EXPECT_EQ(0u, plan.passedOver[0].find(bad + ": "));
  ASSERT_EQ(1u, plan.fonts.size());
  EXPECT_EQ("cmr10", plan.fonts[0].name);

  // Through a map: cmr10's font file is found, so it is drawn from it;
  // nosource's is not, so it stays (and has no source).
  scratch.Write("test.map",
                "% comment\ncmr10 CMR10 <cmr10.pfb\n"
                "nosource NoSource \" .167 SlantFont \" <[8r.enc < nosource.pfb\n");
  table.files["cmr10.pfb"] = "/t/fonts/type1/cmr10.pfb";
  table.calls.clear();
  const FontMapChoice map{scratch.path() + "/test.map", false};
  ASSERT_TRUE(PlanDocumentFonts({}, {scratch.path() + "/missfont.log"}, 600, map, table, plan, error))
      << error;
  EXPECT_TRUE(plan.fonts.empty());
  EXPECT_EQ(std::vector<std::string>{"cmr10"}, plan.outline);
  EXPECT_EQ(std::vector<std::string>{"nosource"}, plan.withoutSource);
  EXPECT_EQ((std::vector<std::string>{": cmr10.pfb nosource.pfb", ".mf: nosource"}), table.calls);
  // A map named and not found ends the run; the default one only when it is there.
  EXPECT_FALSE(PlanDocumentFonts({}, {}, 600, FontMapChoice{"nosuch.map", false}, table, plan, error));
  EXPECT_EQ("nosuch.map: no such font map where kpathsea looks", error);
  EXPECT_TRUE(PlanDocumentFonts({}, {}, 600, FontMapChoice{"nosuch.map", true}, table, plan, error));
  EXPECT_TRUE(plan.mapPath.empty());
}

TEST(FontMapTest, EntriesAndTheirFontFiles) {
  std::map<std::string, FontMapEntry> map = ParseFontMap(
      "% psfonts.map\n* star\n# hash\n; semicolon\n\n"
      "cmr10 CMR10 <cmr10.pfb\n"
      "ptmr8r Times-Roman \"TeXBase1Encoding ReEncodeFont\" <8r.enc\n"
      "ec-a ECA <<a.pfa <[custom <b.ttf\n"
      "cmr10 Other <other.pfb\n"
      "\"quoted first\" <x.pfb\n"
      "open SomeFont \" unterminated <not.pfb\n");
  ASSERT_EQ(4u, map.size());
  EXPECT_EQ(std::vector<std::string>{"cmr10.pfb"}, map["cmr10"].fontFiles);  // the first counts
  EXPECT_TRUE(map["ptmr8r"].fontFiles.empty());  // resident, its encoding is no font file
  EXPECT_EQ((std::vector<std::string>{"a.pfa", "b.ttf"}), map["ec-a"].fontFiles);
  EXPECT_TRUE(map["open"].fontFiles.empty());
}

TEST(DocumentJobTest, MagnificationIsExactForMetafont) {
  EXPECT_EQ("1", MagnificationText(600, 600));
  EXPECT_EQ("2", MagnificationText(1200, 600));
  EXPECT_EQ("1+63/200", MagnificationText(789, 600));
  EXPECT_EQ("0+1/2", MagnificationText(300, 600));
  // Past METAFONT's largest numeric token a decimal has to do.
  EXPECT_EQ("1.000200", MagnificationText(5000, 4999));
}

}  // namespace
