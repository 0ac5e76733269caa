// The terminal program's options for documents and trees, and the reading
// of METAFONT's answer in the mode check.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "ui/term/documents.h"
#include "ui/term/mode_check.h"
#include "ui/term/options.h"

TEST(DocumentOptions, RepeatableFilesTreeAndTheirConflicts) {
  TermOptions o;
  std::string error;
  ASSERT_EQ(ParseStatus::Run,
            ParseTermOptions({"--dvi", "a.dvi", "600", "--dvi=b.dvi", "--missfont", "m.log",
                              "--texmf", "var"},
                             o, error));
  EXPECT_EQ((std::vector<std::string>{"a.dvi", "b.dvi"}), o.dvi);
  EXPECT_EQ(std::vector<std::string>{"m.log"}, o.missfont);
  EXPECT_EQ("var", o.texmf);
  EXPECT_EQ(std::vector<std::string>{"600"}, o.words);
  EXPECT_EQ("TEXMFVAR", TexmfVariable("var"));
  EXPECT_EQ("TEXMFHOME", TexmfVariable("home"));
  EXPECT_EQ("", TexmfVariable("./var"));

  const std::vector<std::vector<std::string>> refused = {
      {"--dvi"}, {"--dvi="}, {"--texmf", "t", "--target-dir", "/tmp"},
      {"--install", "F", "--dvi", "a.dvi"}, {"--uninstall", "--texmf", "t"},
      {"--install", "F", "--missfont", "m.log"}};
  for (const auto& args : refused) {
    TermOptions other;
    EXPECT_EQ(ParseStatus::Usage, ParseTermOptions(args, other, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(DocumentOptions, DriverModeOversampleAndResolutionLists) {
  TermOptions o;
  std::string error;
  ASSERT_EQ(ParseStatus::Run,
            ParseTermOptions({"--driver", "dvipng", "--oversample=3", "--mode", "cx", "--dvi",
                              "d", "100,120"},
                             o, error));
  EXPECT_EQ("dvipng", o.driver);
  EXPECT_EQ(3, o.oversample);
  EXPECT_EQ("cx", o.mode);
  // Without documents a RESOLUTION is read as it always was.
  TermOptions plain;
  EXPECT_EQ(ParseStatus::Run, ParseTermOptions({"300,600", "cm"}, plain, error));

  const std::vector<std::vector<std::string>> refused = {
      {"--driver", "dvipng", "600"},                  // no documents
      {"--mode", "cx", "600", "cm"},                  // no documents
      {"--driver", "gs", "--dvi", "d"},               // no such driver
      {"--oversample", "4", "--dvi", "d"},            // dvips has no oversampling
      {"--driver", "dvipng", "--oversample", "0", "--dvi", "d"},
      {"--mode", "cx;end", "--dvi", "d"},             // would reach METAFONT's line
      {"--dvi", "d", "100,,200"},
      {"--missfont", "m", "600x"}};
  for (const auto& args : refused) {
    TermOptions other;
    error.clear();
    EXPECT_EQ(ParseStatus::Usage, ParseTermOptions(args, other, error)) << args[1];
    EXPECT_FALSE(error.empty());
  }
}

TEST(DocumentFolders, OnlyTheDviFilesDirectlyInside) {
  char pattern[] = "/tmp/kiln-dvidir-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  for (const char* name : {"b.dvi", "a.dvi", "c.tex", "x.dvi.bak"})
    std::fclose(std::fopen((dir + "/" + name).c_str(), "w"));
  ASSERT_EQ(0, mkdir((dir + "/sub.dvi").c_str(), 0700));
  std::fclose(std::fopen((dir + "/sub.dvi/d.dvi").c_str(), "w"));
  std::vector<std::string> files;
  std::string error;
  ASSERT_TRUE(DviFilesIn(dir, files, error));
  EXPECT_EQ((std::vector<std::string>{dir + "/a.dvi", dir + "/b.dvi"}), files);
  EXPECT_FALSE(DviFilesIn(dir + "/c.tex", files, error));
  EXPECT_NE(std::string::npos, error.find("c.tex"));
  std::system(("rm -rf " + dir).c_str());
}

TEST(ModeCheck, CommandAndAnswer) {
  EXPECT_EQ("mf \\mode=ljfour; mode_setup; message decimal round pixels_per_inch; end.",
            ModeQuestionCommand("mf \\mode=", "ljfour"));
  EXPECT_EQ(600, ModeAnswer("This is METAFONT, Version 2.71828182 (TeX Live 2022)\n600\n"
                            "Font metrics written on mfput.tfm.\n"
                            "Transcript written on mfput.log.\n"));
  EXPECT_EQ(2602, ModeAnswer("This is METAFONT\r\n2602\r\nTranscript written on mfput.log.\r\n"));
  EXPECT_EQ(0, ModeAnswer("! fake mf: cannot read the first line\n[65]\n"));
  EXPECT_EQ(0, ModeAnswer(""));
  EXPECT_EQ(0, ModeAnswer("99999999999999999999\n"));  // no number METAFONT prints
  std::string text = ModeMismatchText(777, "nosuchmode", 2602);
  EXPECT_NE(std::string::npos, text.find("\"777 nosuchmode\""));
  EXPECT_NE(std::string::npos, text.find("2602 dpi, not 777"));
}
