// What a driver's command line says about the fonts it will ask for.
#include "tex/driver_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DriverCommand, TheDocumentAndWhatChangesItsFonts) {
  DriverCommand command;
  std::string why;
  // A documentation builder's dvipng: colours and output options around
  // the resolution.
  ASSERT_TRUE(ReadDriverCommand({"/usr/bin/dvipng", "-gamma", "1.5", "-D", "110", "-bg",
                                 "Transparent", "--depth", "-o", "math.png", "math.dvi"},
                                command, why))
      << why;
  EXPECT_EQ(Driver::Dvipng, command.driver);
  EXPECT_EQ("math.dvi", command.dvi);
  EXPECT_EQ(110, command.resolution);

  ASSERT_TRUE(ReadDriverCommand({"dvipng", "-D120", "-Q", "2", "-x", "2000", "-mode",
                                 "ljfour", "-T", "tight", "-z9", "snippet"},
                                command, why))
      << why;
  EXPECT_EQ(120, command.resolution);
  EXPECT_EQ(2, command.oversample);
  EXPECT_EQ(2000, command.magnification);
  EXPECT_EQ("ljfour", command.mode);
  EXPECT_EQ("snippet", command.dvi);

  ASSERT_TRUE(ReadDriverCommand({"dvips", "-q", "-u", "psfonts_pk.map", "-o", "out.ps",
                                 "-D600", "-Z0", "paper.dvi"},
                                command, why))
      << why;
  EXPECT_EQ(Driver::Dvips, command.driver);
  EXPECT_EQ("psfonts_pk.map", command.map);
  EXPECT_EQ("paper.dvi", command.dvi);

  ASSERT_TRUE(ReadDriverCommand({"xdvi-xaw", "-geometry", "800x600", "-mfmode", "cx:300",
                                 "+3", "paper"},
                                command, why))
      << why;
  EXPECT_EQ(Driver::Xdvi, command.driver);
  EXPECT_EQ("cx", command.mode);
  EXPECT_EQ(300, command.resolution);

  // Told to draw no font from outlines, the driver asks for every font.
  ASSERT_TRUE(ReadDriverCommand({"xdvi", "-notype1fonts", "paper"}, command, why)) << why;
  EXPECT_EQ("none", command.map);
  ASSERT_TRUE(ReadDriverCommand({"dvipng", "--freetype0", "paper"}, command, why)) << why;
  EXPECT_EQ("none", command.map);
  ASSERT_TRUE(ReadDriverCommand({"dvipng", "--freetype", "paper"}, command, why)) << why;
  EXPECT_EQ("", command.map);
}

TEST(DriverCommand, WhatNarrowsTheFontsOrCannotBeReadLeavesOneFont) {
  const std::vector<std::vector<std::string>> refused = {
      {"dvips", "-pp", "1-2", "paper.dvi"},        // some pages only
      {"dvips", "-p", "3", "paper.dvi"},
      {"dvips", "-A", "paper.dvi"},                // odd pages
      {"dvips", "-f"},                             // a filter: the document on stdin
      {"dvips", "-u", "+extra.map", "paper.dvi"},  // a map added to the default
      {"dvips", "-Ppdf", "paper.dvi"},             // another configuration
      {"dvips", "-qM", "paper.dvi"},               // not an option of dvips
      {"dvipng", "-l", "2", "math.dvi"},
      {"dvipng", "--follow", "math.dvi"},
      {"dvipng", "-D", "abc", "math.dvi"},
      {"dvipng", "-D", "110"},                     // no document
      {"dvipng", "a.dvi", "b.dvi"},
      {"dvipng", "math.dvi", "-o"},                // no value
      {"dvipng", "-o", "x.png", ""},               // no name at all
      {"pdftex", "paper.tex"},                     // not a DVI driver
      {"latexmk", "-pdf", "paper"},
  };
  for (const auto& argv : refused) {
    DriverCommand command;
    std::string why;
    std::string line;
    for (const std::string& word : argv) line += word + " ";
    EXPECT_FALSE(ReadDriverCommand(argv, command, why)) << line;
    EXPECT_FALSE(why.empty()) << line;
  }
}
