// The kpsewhich lookups against TeX's own kpsewhich: names map back to
// their answers whatever kpsewhich leaves out, and every kind is searched
// in its own format.
#include "tex/texlookup_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "tex/layout.h"
#include "support/fakes.h"

namespace {

bool HaveKpsewhich() {
  std::string output, error;
  int status = 0;
  return RunForOutput({"kpsewhich", "--version"}, "", output, status, error) && status == 0;
}

}  // namespace

TEST(KpsewhichLookup, ManyNamesPerProcessEachKindInItsFormat) {
  if (!HaveKpsewhich()) GTEST_SKIP() << "no kpsewhich";
  ScratchDirectory scratch;
  PosixKpsewhichLookup lookup("kpsewhich");
  std::vector<std::string> sources = lookup.FindFiles(
      TexFileKind::MetafontSource, {"kilnnosuchfont", "cmr10", "-version", "ecrm1000", "a b"});
  ASSERT_EQ(5u, sources.size());
  EXPECT_EQ("", sources[0]);
  EXPECT_NE(std::string::npos, sources[1].find("/fonts/source/public/cm/cmr10.mf"));
  EXPECT_EQ("", sources[2]);  // never handed over as an option
  EXPECT_NE(std::string::npos, sources[3].find("/jknappen/ec/ecrm1000.mf"));
  EXPECT_EQ("", sources[4]);
  EXPECT_EQ(1, lookup.processesStarted());

  // A VF in the directory kpsewhich runs in ("." comes first).
  scratch.Write("kilnvf.vf", "\xf7\xca");
  lookup.SetDirectories("", scratch.path());
  std::vector<std::string> vfs = lookup.FindFiles(TexFileKind::VirtualFont, {"kilnvf", "cmr10"});
  EXPECT_NE(std::string::npos, vfs[0].find("kilnvf.vf"));
  EXPECT_EQ("", vfs[1]);

  // A PK file of the tree in TEXMFVAR, found at one dpi off, by font name.
  const char* old = std::getenv("TEXMFVAR");
  std::string saved = old ? old : "";
  setenv("TEXMFVAR", (scratch.path() + "/var").c_str(), 1);
  ASSERT_TRUE(MakeDirectories(scratch.path() + "/var/fonts/pk/ljfour/public/cm"));
  scratch.Write("var/fonts/pk/ljfour/public/cm/cmr17.721pk", "");
  std::map<int, std::vector<std::string>> pk =
      lookup.FindPkFilesAt({{720, {"cmr12", "cmr17"}}, {657, {"cmr17"}}}, "ljfour");
  EXPECT_EQ("", pk[720][0]);
  EXPECT_NE(std::string::npos, pk[720][1].find("/var/fonts/pk/ljfour/public/cm/cmr17.721pk"));
  EXPECT_EQ("", pk[657][0]);
  EXPECT_EQ(scratch.path() + "/var", lookup.Variable("TEXMFVAR"));
  if (old) setenv("TEXMFVAR", saved.c_str(), 1); else unsetenv("TEXMFVAR");

  PosixKpsewhichLookup missing("/kiln/no/such/kpsewhich");
  EXPECT_EQ("", missing.FindFiles(TexFileKind::Tfm, {"cmr10"})[0]);
  EXPECT_FALSE(missing.failure().empty());
}

// Names are handed to kpsewhich 1,000 per process; every call must carry
// its own share. A stand-in prints a found path for each name it was given.
TEST(KpsewhichLookup, NamesBeyondTheFirstThousandAreAskedToo) {
  ScratchDirectory scratch;
  scratch.Write("kpsewhich",
                "#!/bin/sh\n"
                "suffix=.mf\n"
                "for a; do case \"$a\" in -dpi=*) suffix=\".${a#-dpi=}pk\";; esac; done\n"
                "for a; do case \"$a\" in -*) ;; *) echo \"/t/$a$suffix\";; esac; done\n");
  ASSERT_EQ(0, chmod((scratch.path() + "/kpsewhich").c_str(), 0755));
  PosixKpsewhichLookup lookup(scratch.path() + "/kpsewhich");
  std::vector<std::string> names;
  for (int i = 0; i < 2500; ++i) names.push_back("f" + std::to_string(i));

  std::vector<std::string> sources = lookup.FindFiles(TexFileKind::MetafontSource, names);
  ASSERT_EQ(names.size(), sources.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    ASSERT_EQ("/t/" + names[i] + ".mf", sources[i]) << i;
  EXPECT_EQ(3, lookup.processesStarted());

  std::map<int, std::vector<std::string>> pk = lookup.FindPkFilesAt({{600, names}}, "ljfour");
  ASSERT_EQ(names.size(), pk[600].size());
  for (std::size_t i = 0; i < names.size(); ++i)
    ASSERT_EQ("/t/" + names[i] + ".600pk", pk[600][i]) << i;
  EXPECT_EQ(6, lookup.processesStarted());
}
