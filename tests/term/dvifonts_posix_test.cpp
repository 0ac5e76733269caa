// The DVI and VF readers and the driver resolution against TeX's own
// programs: a plain TeX document set by `tex`, virtual fonts made by
// `vptovf`, and as oracles `dvitype` (font names and sizes) and `dvips` (the
// resolutions it asks kpathsea for). Skipped when TeX is not installed.
//
// dvips prints "Font X at N not found" only for a font of which some size
// exists; every request reaches mktexpk, though, so a stand-in mktexpk on the
// PATH records them all (and fails, so nothing is made).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tex/docfonts.h"
#include "tex/dvifonts.h"

namespace {

bool Have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<unsigned char> Load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string Text(const std::string& path) {
  std::vector<unsigned char> bytes = Load(path);
  return std::string(bytes.begin(), bytes.end());
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The VF files of the test's directory, as kpathsea finds them there (VFFONTS
// starts with the current directory).
class DirectoryLookup : public VfLookup {
 public:
  explicit DirectoryLookup(std::string directory) : directory_(std::move(directory)) {}
  void FindVirtualFonts(const std::vector<std::string>& names,
                        std::map<std::string, VfFile>& found) override {
    for (const std::string& name : names) {
      const std::string path = directory_ + "/" + name + ".vf";
      std::vector<unsigned char> bytes = Load(path);
      if (!bytes.empty()) found[name] = {path, bytes};
    }
  }

 private:
  std::string directory_;
};

using FontSet = std::set<std::pair<std::string, int>>;

class TexDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"tex", "dvitype", "dvips", "vptovf", "kpsewhich"}) {
      if (!Have(program)) GTEST_SKIP() << program << " is not installed";
    }
    char pattern[] = "/tmp/kiln-dvifonts-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Runs a shell command in the directory, its output into the file named.
  bool Run(const std::string& command, const std::string& output) {
    return std::system(("cd '" + dir_ + "' && " + command + " >" + output + " 2>&1").c_str()) == 0;
  }

  // Every font (name, resolution) that dvips asks for at 600 dpi. TEXMFVAR
  // and TEXMFHOME point into the directory, so that no PK made by another
  // run is found instead of asked for.
  FontSet DvipsRequests(const std::string& dvi, std::string& output) {
    mkdir((dir_ + "/bin").c_str(), 0755);
    Write(dir_ + "/bin/mktexpk",
          "#!/bin/sh\n"
          "# the last two arguments: --dpi N NAME\n"
          "eval dpi=\\${$(($# - 1))} name=\\${$#}\n"
          "echo \"$name $dpi\" >> '" + dir_ + "/requests'\nexit 1\n");
    chmod((dir_ + "/bin/mktexpk").c_str(), 0755);
    Run("env PATH='" + dir_ + "/bin':\"$PATH\" TEXMFVAR='" + dir_ + "/var' TEXMFHOME='" + dir_ +
            "/home' dvips -u /dev/null -D 600 -mode ljfour " + dvi + " -o /dev/null",
        "dvips.out");
    output = Text(dir_ + "/dvips.out");
    FontSet requests;
    std::istringstream lines(Text(dir_ + "/requests"));
    std::string name;
    int dpi = 0;
    while (lines >> name >> dpi) requests.insert({name, dpi});
    return requests;
  }

  std::string dir_;
};

// Fonts from four source folders, magnified three ways, at a document
// magnification, and a virtual font that names two base fonts and a second
// virtual font. No size lands within two dpi of 600, where Debian's own
// PK files for some of the cm fonts would be found instead of asked for.
const char kDocument[] =
    "\\magnification=1095\n"
    "\\font\\a=cmbx12 scaled 1440 \\a Bold\n"
    "\\font\\b=cmbx12 at 7pt \\b Small\n"
    "\\font\\c=logo10 scaled \\magstephalf \\c META\n"
    "\\font\\d=cmr10 scaled 2000 \\d Roman\n"
    "ECFONT"
    "\\font\\v=vtest \\v ABC\n"
    "\\font\\w=vtest scaled 1440 \\w ABC\n"
    "\\bye\n";
const char kVtest[] =
    "(DESIGNSIZE R 10.0)\n"
    "(MAPFONT D 0 (FONTNAME cmr10) (FONTDSIZE R 10.0) (FONTAT R 1.2))\n"
    "(MAPFONT D 1 (FONTNAME cmbx10) (FONTDSIZE R 10.0) (FONTAT R 0.8))\n"
    "(MAPFONT D 2 (FONTNAME vinner) (FONTDSIZE R 5.0) (FONTAT R 0.75))\n"
    "(CHARACTER C A (CHARWD R 0.5) (MAP (SELECTFONT D 0) (SETCHAR C A)))\n"
    "(CHARACTER C B (CHARWD R 0.5) (MAP (SELECTFONT D 1) (SETCHAR C B)))\n"
    "(CHARACTER C C (CHARWD R 0.5) (MAP (SELECTFONT D 2) (SETCHAR C C)))\n";
const char kVinner[] =
    "(DESIGNSIZE R 5.0)\n"
    "(MAPFONT D 0 (FONTNAME logo10) (FONTDSIZE R 10.0) (FONTAT R 1.1))\n"
    "(CHARACTER C C (CHARWD R 0.5) (MAP (SELECTFONT D 0) (SETCHAR C A)))\n";

TEST_F(TexDocument, ReadersAgreeWithDvitypeAndDvips) {
  std::string document = kDocument;
  const bool haveEc = std::system("kpsewhich ecrm1000.tfm >/dev/null 2>&1") == 0;
  document.replace(document.find("ECFONT"), 6,
                   haveEc ? "\\font\\e=ecrm1000 scaled 1200 \\e Text\n" : "");
  Write(dir_ + "/doc.tex", document);
  Write(dir_ + "/vtest.vpl", kVtest);
  Write(dir_ + "/vinner.vpl", kVinner);
  ASSERT_TRUE(Run("vptovf vinner.vpl vinner.vf vinner.tfm && vptovf vtest.vpl vtest.vf vtest.tfm",
                  "vptovf.out"));
  ASSERT_TRUE(Run("tex -interaction=nonstopmode doc.tex", "tex.out")) << Text(dir_ + "/tex.out");

  const std::vector<unsigned char> dvi = Load(dir_ + "/doc.dvi");
  DviFontList fonts;
  std::string error;
  ASSERT_TRUE(ReadDviFonts(dvi.data(), dvi.size(), fonts, error)) << error;
  EXPECT_EQ(fonts.magnification, 1095u);

  // dvitype: "Font 51: cmbx12 scaled 1577---loaded at size 943718 DVI units".
  ASSERT_TRUE(Run("dvitype doc.dvi", "dvitype.out"));
  std::map<std::uint32_t, std::string> dvitype;
  const std::regex line(R"(Font (\d+): (\S+?)(?: scaled (\d+))?---loaded at size (\d+) DVI units)");
  std::string text = Text(dir_ + "/dvitype.out");
  for (std::sregex_iterator match(text.begin(), text.end(), line), end; match != end; ++match) {
    const std::string scaled = (*match)[3].matched ? (*match)[3].str() : "1000";
    dvitype[std::stoul((*match)[1])] = (*match)[2].str() + " " + scaled + " " + (*match)[4].str();
  }
  std::map<std::uint32_t, std::string> ours;
  for (const TexFontDef& font : fonts.fonts) {
    const long scaled = std::lround(fonts.magnification * static_cast<double>(font.scaledSize) /
                                    font.designSize);
    ours[font.number] = font.name + " " + std::to_string(scaled) + " " + std::to_string(font.scaledSize);
  }
  EXPECT_EQ(ours, dvitype);
  EXPECT_EQ(ours.size(), haveEc ? 8u : 7u);  // with cmr10 of the page number

  DirectoryLookup lookup(dir_);
  DocumentFonts needed;
  ASSERT_TRUE(ExpandDocumentFonts({fonts}, 600, lookup, needed, error)) << error;
  EXPECT_TRUE(needed.reports.empty());
  FontSet expanded;
  for (const NeededFont& font : needed.fonts) expanded.insert({font.name, font.resolution});
  EXPECT_EQ(expanded.size(), needed.fonts.size());

  std::string dvipsOutput;
  EXPECT_EQ(expanded, DvipsRequests("doc.dvi", dvipsOutput)) << dvipsOutput;
  // And what dvips says itself, where it names a resolution.
  const std::regex notFound(R"(Font (\S+) at (\d+) not found)");
  int said = 0;
  for (std::sregex_iterator match(dvipsOutput.begin(), dvipsOutput.end(), notFound), end; match != end;
       ++match, ++said) {
    EXPECT_EQ(expanded.count({(*match)[1].str(), std::stoi((*match)[2])}), 1u) << match->str();
  }
  EXPECT_GT(said, 0);
  if (haveEc) {
    EXPECT_EQ(expanded.count({"ecrm1000", 789}), 1u);
  }
  // Through both virtual fonts: logo10 at 0.75 x 1.1 of vtest's 10 pt.
  EXPECT_EQ(expanded.count({"logo10", 542}), 1u);

  // The same file cut short, and the VF cut short, are refused.
  for (std::size_t cut : {dvi.size() / 2, dvi.size() - 5}) {
    EXPECT_FALSE(ReadDviFonts(dvi.data(), cut, fonts, error)) << cut;
  }
  const std::vector<unsigned char> vf = Load(dir_ + "/vtest.vf");
  VfFontList vfFonts;
  ASSERT_TRUE(ReadVfFonts(vf.data(), vf.size(), vfFonts, error)) << error;
  EXPECT_EQ(vfFonts.fonts.size(), 3u);
  // Cut anywhere before post (the 248s after it only pad to four bytes).
  std::size_t post = vf.size();
  while (vf[post - 1] == 248) --post;
  for (std::size_t cut = 0; cut < post + 1; ++cut) {
    EXPECT_FALSE(ReadVfFonts(vf.data(), cut, vfFonts, error)) << cut;
  }
}

}  // namespace
