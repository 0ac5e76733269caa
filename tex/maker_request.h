// A request for one PK font as TeX's programs make it when kpathsea finds
// none: they run the first "mktexpk" on PATH with
//   --mfmode MODE --bdpi BASE --mag MAG --dpi DPI [--destdir DIR] NAME [>&N]
// (MODE "/" when the program has none; MAG as "1+120/600" or
// "magstep(0.5)"), and read the new file's path from the last line of its
// standard output. The same lines land in missfont.log when that fails.
// Pure: parsing and TeX's conventions only.
#pragma once

#include <string>
#include <vector>

struct MakerRequest {
  std::string name;
  std::string mode;      // empty for "/" or no --mfmode: the program named none
  int baseDpi = 0;       // --bdpi
  int dpi = 0;           // --dpi, or the resolution --mag gives at --bdpi
  std::string destdir;   // --destdir as given; empty for none
  int answerFd = 1;      // where the path goes: 1, or N of a last ">&N"
};

// The words after the program's name. false with why for anything that is
// not such a request (an unknown option, a value missing, no font, a name
// or mode that cannot be a file or METAFONT word, resolutions out of range).
bool ParseMakerRequest(const std::vector<std::string>& words, MakerRequest& request,
                       std::string& why);

// Digits only, at most 6 of them (0 allowed): a count or resolution as a
// TeX program writes it. false for anything else.
bool ReadCount(const std::string& text, int& value);

// The resolution a --mag value gives at base dpi: "1+120/600" (whole part,
// then a fraction of base), "magstep(0.5)" (rounded as drivers round a
// magstep), or a plain decimal factor. 0 for anything else.
int ResolutionOfMag(const std::string& mag, int baseDpi);

// The mode that on-demand making takes for a device of base resolution dpi
// when the mode it was given does not print at that resolution; empty when
// there is none.
std::string ModeForBaseResolution(int dpi);

// The default mode of on-demand making when a program names none
// (kpathsea's MAKETEX_MODE when it gives one, else ljfour), and the base
// resolution that it prints at (MAKETEX_BASE_DPI, else 600).
struct DefaultMakerMode {
  std::string mode;
  int dpi = 0;
};
DefaultMakerMode MakerDefaultMode(const std::string& kpathseaMode, int kpathseaDpi);

// Where the PK file goes below a tree's fonts/pk/MODE for a --destdir: an
// absolute one is the folder itself, a relative one stands for the
// supplier and typeface folders. false for a relative one that climbs out
// (".." or an empty part).
bool UsableDestdir(const std::string& destdir);
