// The kpsewhich lookup both programs share, against a scripted kpsewhich:
// how names are split into calls, which options each kind gets, and how the
// printed paths find their way back to the names asked.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tex/texlookup.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

// Prints, for each name of a call, the path `files` has for it, in reverse
// order (kpsewhich's order is not the names'); records every round.
class ScriptedKpsewhich : public KpsewhichLookup {
 public:
  explicit ScriptedKpsewhich(CallLimits limits) : KpsewhichLookup("C:\\tex\\kpsewhich.exe", limits) {}
  std::map<std::string, std::string> files;  // "-dpi=720 cmr10" or "cmr10" -> path
  std::vector<Calls> rounds;
  std::vector<std::string> directories;
  bool fail = false;

 protected:
  bool RunCalls(const std::string& program, const Calls& calls, const std::string& directory,
                std::vector<std::string>& outputs, std::string& failure) override {
    EXPECT_EQ("C:\\tex\\kpsewhich.exe", program);
    rounds.push_back(calls);
    directories.push_back(directory);
    if (fail) {
      failure = "kpsewhich.exe: not found";
      return false;
    }
    for (const std::vector<std::string>& call : calls) {
      std::string dpi, output;
      for (const std::string& argument : call)
        if (argument.compare(0, 5, "-dpi=") == 0) dpi = argument + " ";
      for (auto name = call.rbegin(); name != call.rend(); ++name) {
        auto found = files.find(dpi + *name);
        if (found != files.end()) output += found->second + "\r\n\n";
      }
      outputs.push_back(output);
    }
    return true;
  }
  std::string BaseName(const std::string& path) const override {
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
  }
};

}  // namespace

TEST(KpsewhichLookupCalls, SplitByNamesAndBytesAndMatchedByFileName) {
  // Three names a call at most; the 60 bytes would take four.
  ScriptedKpsewhich lookup({3, 60});
  std::vector<std::string> names = {"f1000", "f1001", "a b", "f1002", "f1003", "-x", "f1004"};
  for (const std::string& name : names) lookup.files[name] = "C:\\t\\" + name + ".mf";
  lookup.SetDirectories("C:\\work", "C:\\user");
  std::vector<std::string> found = lookup.FindFiles(TexFileKind::MetafontSource, names);
  ASSERT_EQ(1u, lookup.rounds.size());
  EXPECT_EQ((Calls{{"-format=mf", "f1000", "f1001", "f1002"}, {"-format=mf", "f1003", "f1004"}}),
            lookup.rounds[0]);
  EXPECT_EQ("C:\\work", lookup.directories[0]);
  EXPECT_EQ((std::vector<std::string>{"C:\\t\\f1000.mf", "C:\\t\\f1001.mf", "", "C:\\t\\f1002.mf",
                                      "C:\\t\\f1003.mf", "", "C:\\t\\f1004.mf"}),
            found);
  EXPECT_EQ(2, lookup.processesStarted());

  // The byte limit alone: the quoted program (22 bytes) and " -format=vf"
  // leave room for two names of six bytes with their blanks.
  ScriptedKpsewhich narrow({100, 49});
  narrow.FindFiles(TexFileKind::VirtualFont, {"f1000", "f1001", "f1002"});
  EXPECT_EQ((Calls{{"-format=vf", "f1000", "f1001"}, {"-format=vf", "f1002"}}), narrow.rounds[0]);
  // A name longer than the limit still goes, alone.
  ScriptedKpsewhich tight({100, 10});
  tight.FindFiles(TexFileKind::Tfm, {"cmr10", "cmr12"});
  EXPECT_EQ((Calls{{"-format=tfm", "cmr10"}, {"-format=tfm", "cmr12"}}), tight.rounds[0]);

  // A named file carries its suffix and no format; other directory.
  ScriptedKpsewhich named({100, 1000});
  named.files["psfonts.map"] = "C:/t/psfonts.map";
  named.SetDirectories("C:\\work", "C:\\user");
  EXPECT_EQ("C:/t/psfonts.map", named.FindFiles(TexFileKind::Named, {"psfonts.map"})[0]);
  EXPECT_EQ((Calls{{"psfonts.map"}}), named.rounds[0]);
  EXPECT_EQ("C:\\user", named.directories[0]);
  // Nothing plain to ask: no call at all.
  EXPECT_EQ(std::vector<std::string>(2), named.FindFiles(TexFileKind::Tfm, {"-v", ""}));
  EXPECT_EQ(1u, named.rounds.size());
}

TEST(KpsewhichLookupCalls, EveryResolutionInOneRoundAndPkNamesOfBothForms) {
  ScriptedKpsewhich lookup({2, 1000});
  lookup.files["-dpi=720 cmr10"] = "C:/t/pk/ljfour/dpi720/cmr10.pk";
  lookup.files["-dpi=720 cmr17"] = "C:/t/pk/ljfour/cmr17.721pk";
  lookup.files["-dpi=600 cmr10"] = "C:/t/pk/ljfour/cmr10.600pk";
  std::map<int, std::vector<std::string>> found = lookup.FindPkFilesAt(
      {{720, {"cmr10", "cmr12", "cmr17"}}, {600, {"cmr10", "cmr5"}}, {0, {"cmr10"}}}, "ljfour");
  ASSERT_EQ(1u, lookup.rounds.size());
  EXPECT_EQ((Calls{{"-format=pk", "-mode=ljfour", "-dpi=600", "cmr10", "cmr5"},
                   {"-format=pk", "-mode=ljfour", "-dpi=720", "cmr10", "cmr12"},
                   {"-format=pk", "-mode=ljfour", "-dpi=720", "cmr17"}}),
            lookup.rounds[0]);
  EXPECT_EQ((std::vector<std::string>{"C:/t/pk/ljfour/dpi720/cmr10.pk", "",
                                      "C:/t/pk/ljfour/cmr17.721pk"}),
            found[720]);
  EXPECT_EQ((std::vector<std::string>{"C:/t/pk/ljfour/cmr10.600pk", ""}), found[600]);
  EXPECT_EQ(std::vector<std::string>(1), found[0]);

  EXPECT_EQ("C:/t/pk/ljfour/cmr10.600pk", lookup.FindPkFiles({"cmr10"}, "ljfour", 600)[0]);
  // A mode that is no plain name is never handed over.
  EXPECT_EQ(std::vector<std::string>(1), lookup.FindPkFiles({"cmr10"}, "lj four", 600));
  EXPECT_EQ(2u, lookup.rounds.size());
}

TEST(KpsewhichLookupCalls, AFailedStartFindsNothingAndSaysWhyUntilTheNextLookup) {
  ScriptedKpsewhich lookup({10, 1000});
  lookup.files["cmr10"] = "C:/t/cmr10.tfm";
  lookup.files["-var-value=TEXMFVAR"] = "C:/texmf-var";
  lookup.fail = true;
  EXPECT_EQ("", lookup.FindFiles(TexFileKind::Tfm, {"cmr10"})[0]);
  EXPECT_EQ("kpsewhich.exe: not found", lookup.failure());
  EXPECT_EQ("", lookup.Variable("TEXMFVAR"));
  EXPECT_EQ(0, lookup.processesStarted());
  lookup.fail = false;
  EXPECT_EQ("C:/texmf-var", lookup.Variable("TEXMFVAR"));
  EXPECT_EQ((Calls{{"-var-value=TEXMFVAR"}}), lookup.rounds.back());
  EXPECT_EQ("", lookup.failure());
  EXPECT_EQ("C:/t/cmr10.tfm", lookup.FindFiles(TexFileKind::Tfm, {"cmr10"})[0]);
  // A variable whose name is no plain name is not asked.
  EXPECT_EQ("", lookup.Variable("$HOME"));
  EXPECT_EQ(4u, lookup.rounds.size());
}
