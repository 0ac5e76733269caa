// The on-demand maker's arguments as TeX's programs pass them, and the
// resolutions their --mag values stand for.
#include "tex/maker_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    if (end > start) words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

}  // namespace

TEST(MakerRequest, TheFormsDriversUse) {
  struct Case {
    const char* line;
    const char* name;
    const char* mode;
    int base, dpi, fd;
    const char* destdir;
  };
  const Case cases[] = {
      {"--mfmode cx --bdpi 300 --mag 1+140/300 --dpi 440 ecbx1440", "ecbx1440", "cx", 300, 440,
       1, ""},
      // "/": the program has no mode; below the base resolution "0+".
      {"--mfmode / --bdpi 300 --mag 0+264/300 --dpi 264 cmr10", "cmr10", "", 300, 264, 1, ""},
      // --dpi left out: the magstep gives it, rounded as drivers round.
      {"--mfmode ljfour --bdpi 600 --mag magstep(0.5) cmr10", "cmr10", "ljfour", 600, 657, 1, ""},
      {"--bdpi=600 --mag=1+120/600 logo10 >&3", "logo10", "", 600, 720, 3, ""},
      {"--mfmode ljfour --bdpi 600 --dpi 600 --destdir /tmp/pk cmr10", "cmr10", "ljfour", 600,
       600, 1, "/tmp/pk"},
      {"--bdpi 600 --mag 2 --destdir local/fonts cmr10", "cmr10", "", 600, 1200, 1,
       "local/fonts"},
  };
  for (const Case& c : cases) {
    MakerRequest request;
    std::string why;
    ASSERT_TRUE(ParseMakerRequest(Words(c.line), request, why)) << c.line << ": " << why;
    EXPECT_EQ(c.name, request.name) << c.line;
    EXPECT_EQ(c.mode, request.mode) << c.line;
    EXPECT_EQ(c.base, request.baseDpi) << c.line;
    EXPECT_EQ(c.dpi, request.dpi) << c.line;
    EXPECT_EQ(c.fd, request.answerFd) << c.line;
    EXPECT_EQ(c.destdir, request.destdir) << c.line;
  }
}

TEST(MakerRequest, AnythingElseIsRefusedWithItsReason) {
  const std::pair<const char*, const char*> refused[] = {
      {"--bdpi 600 --dpi 600", "no font"},
      {"--bdpi 600 --dpi 600 cmr10 cmr12", "more than one font name"},
      {"--bdpi 600 --dpi 600 --shell x cmr10", "unknown option --shell"},
      {"--bdpi 600 --dpi", "no value after --dpi"},
      {"--bdpi 600 --dpi 600 ../../etc/x", "not a usable font name"},
      // The mode becomes a METAFONT word and a folder of the tree.
      {"--mfmode ljfour;input --bdpi 600 --dpi 600 cmr10", "--mfmode"},
      {"--mfmode .. --bdpi 600 --dpi 600 cmr10", "--mfmode"},
      {"--bdpi 600 --dpi 600 --destdir a/../../b cmr10", "--destdir"},
      {"--bdpi 600 --mag 1+x/600 cmr10", "no font, --bdpi or --dpi"},
      {"--bdpi 600 --dpi 600 cmr10 >&x", "more than one font name"},
  };
  for (const auto& c : refused) {
    MakerRequest request;
    std::string why;
    EXPECT_FALSE(ParseMakerRequest(Words(c.first), request, why)) << c.first;
    EXPECT_NE(std::string::npos, why.find(c.second)) << c.first << ": " << why;
  }
}

TEST(MakerRequest, MagValues) {
  EXPECT_EQ(720, ResolutionOfMag("1+120/600", 600));
  EXPECT_EQ(264, ResolutionOfMag("0+264/300", 300));
  EXPECT_EQ(329, ResolutionOfMag("magstep(0.5)", 300));
  EXPECT_EQ(250, ResolutionOfMag("magstep(-1)", 300));
  EXPECT_EQ(450, ResolutionOfMag("1.5", 300));
  for (const char* bad : {"", "1+2", "1+/600", "+1/2", "1+1/0", "magstep(x)", "magstep(1",
                          "-2", "1e3"})
    EXPECT_EQ(0, ResolutionOfMag(bad, 600)) << bad;
}

TEST(MakerRequest, ModesForBaseResolutionsAndTheDefault) {
  EXPECT_EQ("cx", ModeForBaseResolution(300));
  EXPECT_EQ("ljfour", ModeForBaseResolution(600));
  EXPECT_EQ("ultre", ModeForBaseResolution(1200));
  EXPECT_EQ("", ModeForBaseResolution(333));
  EXPECT_EQ("ljfour", MakerDefaultMode("/", 600).mode);
  EXPECT_EQ(600, MakerDefaultMode("", 0).dpi);
  EXPECT_EQ("ljfive", MakerDefaultMode("ljfive", 600).mode);
}
