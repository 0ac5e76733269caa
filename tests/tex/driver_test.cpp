// What each driver asks for when told nothing, read from its own files,
// and the resolution lists of the command line.
#include <gtest/gtest.h>

#include "tex/driver.h"

TEST(DriverConfig, DvipsReadsTheLastMAndDLinesAtTheStartOfALine) {
  std::string mode;
  int dpi = 0;
  ReadDvipsConfig("% M cx\n D 300\nD 300\nM\tljfour\nX 600\nD 1200\r\nMx nothing\n"
                  "M lj;rm -rf\n",
                  mode, dpi);
  EXPECT_EQ("ljfour", mode);  // "M lj;rm -rf" is no mode name
  EXPECT_EQ(1200, dpi);
  mode.clear();
  dpi = 0;
  ReadDvipsConfig("D 0\nD 99999999999\nD six\n", mode, dpi);
  EXPECT_EQ("", mode);
  EXPECT_EQ(0, dpi);
}

TEST(DriverConfig, PdftexAndXdviSettings) {
  std::string mode;
  int dpi = 0;
  ReadPdftexConfig("\\pdfpkresolution     = 600\n% \\pdfpkmode = {cx}\n"
                   "\\pdfpkmode={ljfive} % a comment\n",
                   mode, dpi);
  EXPECT_EQ("ljfive", mode);
  EXPECT_EQ(600, dpi);
  mode.clear();
  dpi = 0;
  ReadXdviResources("! *mfmode: cx\n*pixelsPerInch: 300\nXDvi*mfmode: ljfour:600\n", mode,
                    dpi);
  EXPECT_EQ("ljfour", mode);
  EXPECT_EQ(600, dpi);
}

TEST(DriverDefaults, EachSourceInTurnThenLjfourAt600) {
  DriverSources config;
  config.configPath = "/texmf/dvips/config/config.ps";
  config.configText = "M cx\nD 300\n";
  config.kpathseaMode = "/";
  config.kpathseaDpi = 600;
  DriverDefaults fromFile = DefaultsForDriver(Driver::Dvips, config);
  EXPECT_EQ("cx", fromFile.mode);
  EXPECT_EQ(300, fromFile.modeDpi);
  EXPECT_EQ(300, fromFile.renderDpi);
  EXPECT_EQ(config.configPath, fromFile.modeFrom);

  DriverSources kpathsea;
  kpathsea.kpathseaMode = "nexthi";
  kpathsea.kpathseaDpi = 400;
  DriverDefaults fromKpathsea = DefaultsForDriver(Driver::Pdftex, kpathsea);
  EXPECT_EQ("nexthi", fromKpathsea.mode);
  EXPECT_EQ(400, fromKpathsea.modeDpi);

  // kpsewhich's "/" is no mode, and its 600 belongs to no mode either.
  DriverSources nothing;
  nothing.kpathseaMode = "/";
  nothing.kpathseaDpi = 300;
  DriverDefaults fallback = DefaultsForDriver(Driver::Xdvi, nothing);
  EXPECT_EQ("ljfour", fallback.mode);
  EXPECT_EQ(600, fallback.modeDpi);
  EXPECT_EQ(600, fallback.renderDpi);

  // dvipng asks for cx at 300 whatever the files say, at 4 x its -D 100.
  DriverDefaults dvipng = DefaultsForDriver(Driver::Dvipng, config);
  EXPECT_EQ("cx", dvipng.mode);
  EXPECT_EQ(300, dvipng.modeDpi);
  EXPECT_EQ(400, dvipng.renderDpi);
}

// Each driver's file is read by its own reader: the other readers find
// nothing in it.
TEST(DriverDefaults, PdftexAndXdviEachReadTheirOwnFile) {
  DriverSources pdftex;
  pdftex.configPath = "/texmf/tex/generic/config/pdftexconfig.tex";
  pdftex.configText = "\\pdfpkresolution=1200\n\\pdfpkmode={ljfive}\n";
  DriverDefaults fromPdftex = DefaultsForDriver(Driver::Pdftex, pdftex);
  EXPECT_EQ("ljfive", fromPdftex.mode);
  EXPECT_EQ(1200, fromPdftex.modeDpi);
  EXPECT_EQ("ljfour", DefaultsForDriver(Driver::Xdvi, pdftex).mode);

  DriverSources xdvi;
  xdvi.configPath = "/texmf/xdvi/XDvi";
  xdvi.configText = "XDvi*mfmode: nexthi:400\n";
  DriverDefaults fromXdvi = DefaultsForDriver(Driver::Xdvi, xdvi);
  EXPECT_EQ("nexthi", fromXdvi.mode);
  EXPECT_EQ(400, fromXdvi.renderDpi);
  EXPECT_EQ("ljfour", DefaultsForDriver(Driver::Pdftex, xdvi).mode);
}

TEST(DriverNames, NamesAndMaps) {
  Driver driver = Driver::Dvips;
  ASSERT_TRUE(ParseDriverName("pdftex", driver));
  EXPECT_EQ(Driver::Pdftex, driver);
  EXPECT_STREQ("pdftex.map", DriverDefaultMap(driver));
  EXPECT_STREQ("psfonts.map", DriverDefaultMap(Driver::Dvipng));
  EXPECT_FALSE(ParseDriverName("DVIPS", driver));
  EXPECT_FALSE(ParseDriverName("", driver));
}

TEST(ResolutionList, ListsRepeatsAndRefusals) {
  std::vector<int> dpis;
  std::string error;
  ASSERT_TRUE(ParseResolutionList("100,120,200", dpis, error));
  EXPECT_EQ((std::vector<int>{100, 120, 200}), dpis);
  ASSERT_TRUE(ParseResolutionList("600dpi,600", dpis, error));
  EXPECT_EQ(std::vector<int>{600}, dpis);
  for (const char* bad : {"", ",", "100,", "0", "-600", "100000000000", "12x", "1 2", "dpi"}) {
    EXPECT_FALSE(ParseResolutionList(bad, dpis, error)) << bad;
    EXPECT_NE(std::string::npos, error.find(bad)) << bad;
  }
}
