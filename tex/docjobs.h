// The second source of jobs: the fonts that documents need. DVI files are
// read whole and their fonts expanded through their virtual fonts; the
// font-making requests that TeX programs leave in missfont.log are taken
// too. Every font at every resolution is one job; fonts that kpathsea finds
// no METAFONT source for are set aside to be listed, not built.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "deffile/runsettings.h"
#include "tex/fontmap.h"
#include "tex/texlookup.h"

struct DocumentPlan {
  std::vector<DocumentFont> fonts;         // to build, each once, first met first
  std::vector<std::string> withoutSource;  // font names, each once
  std::vector<std::string> outline;        // drawn from outline fonts, each name once
  std::string mapPath;                     // the map read; empty: none
  std::vector<std::string> reports;        // lines passed over, VFs not followed
  // DVI files that could be passed over and could not be read whole:
  // "path: what is wrong", each once.
  std::vector<std::string> passedOver;
};

// One line of a missfont.log: true with the font and resolution when it is
// a PK request for a mode of baseDpi; otherwise false, with why set to the
// reason it is passed over.
bool ParseMissfontLine(const std::string& line, int baseDpi, DocumentFont& font,
                       std::string& why);

// The font map a driver reads, as a document run is told it.
struct FontMapChoice {
  // "none": bitmaps for every font; a path (with a slash) read as it is;
  // else a name that kpathsea finds (psfonts.map, pdftex.map).
  std::string file = kDvipsMapFile;
  // A map that is not found means bitmaps for every font (a driver without
  // its map does the same) instead of the end of the run.
  bool optional = true;
};
constexpr const char* kNoMap = "none";

// Reads every file and fills plan. false when a file cannot be read whole
// (not there, not a DVI file, a damaged font definition, a VF that cannot
// be read, a map given and not found): error names the file and what is
// wrong, and nothing may run. A DVI file of passable (one of many in a
// folder, where a half-written one is to be expected) that cannot be read
// is named in plan.passedOver instead, and the others are planned.
// magnification: replaces the documents' own (x 1000, a driver's -x); 0
// keeps theirs.
bool PlanDocumentFonts(const std::vector<std::string>& dviFiles,
                       const std::vector<std::string>& missfontLogs, int baseDpi,
                       const FontMapChoice& map, TexLookup& lookup, DocumentPlan& plan,
                       std::string& error, std::uint32_t magnification = 0,
                       const std::set<std::string>& passable = {});

// The whole of a regular file, at most maxBytes; false with error ("cannot
// be read: ...", "not a regular file", "larger than ...").
bool ReadWholeFile(const std::string& path, std::size_t maxBytes,
                   std::vector<unsigned char>& bytes, std::string& error);
