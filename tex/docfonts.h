// The real fonts a set of documents needs, as a DVI driver (dvips, xdvi)
// loads them: the fonts whose characters the pages set, with a virtual font
// replaced by the fonts that the packets of its used characters set,
// recursively, each at the resolution the driver asks kpathsea for. Fonts
// that the driver draws from outline fonts (its map) are passed over. Pure: the
// VF files come through VfLookup, which the program answers with kpathsea and
// tests with a table.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tex/dvifonts.h"

// A font to build: what a driver asks for at baseDpi.
struct NeededFont {
  std::string name;
  int resolution = 0;
};

struct VfFile {
  std::string path;                  // for messages
  std::vector<unsigned char> bytes;  // the whole file
};

class VfLookup {
 public:
  virtual ~VfLookup() = default;
  // For each name, its VF file when kpathsea finds one (`kpsewhich NAME.vf`);
  // a name without a VF is left out of found. Called once per nesting level
  // with every name of that level not asked before.
  virtual void FindVirtualFonts(const std::vector<std::string>& names,
                                std::map<std::string, VfFile>& found) = 0;
  // Of names, those the driver draws from outline fonts; asked before the
  // VFs (a driver looks at its map first), with the names of a level not
  // asked before. None by default: bitmaps for every font.
  virtual void FindOutlineFonts(const std::vector<std::string>& names,
                                std::set<std::string>& outline) {
    (void)names;
    (void)outline;
  }
};

// The depth limit. A font of a DVI file is at depth 0, a font named by the VF
// of a depth-0 font at depth 1, and so on. The VF of a font at depth d is
// followed when d < kMaxVirtualFontDepth; a font at depth kMaxVirtualFontDepth
// that has a VF is reported and neither followed nor built. So a chain holds
// at most 8 virtual fonts; real ones hold one or two.
constexpr int kMaxVirtualFontDepth = 8;
// Font definitions of VFs followed in one expansion (a VF met at n sizes
// counts n times); past it the rest is reported and not followed, so that VFs
// that name each other at ever new sizes cannot make the walk grow without
// bound. Real documents stay far below: 500 virtual fonts of 4 fonts each
// are 2000.
constexpr std::size_t kMaxVirtualFontSteps = 100000;

struct DocumentFonts {
  // The real fonts (no VF), each name and resolution once, in the order first met.
  std::vector<NeededFont> fonts;
  // The fonts drawn from outline fonts instead, each name once, first met first.
  std::vector<std::string> outline;
  // One line for each VF not followed (it names itself, closes a cycle, or
  // lies too deep) and each font whose size gives no resolution.
  std::vector<std::string> reports;
};

// false: a VF file cannot be read; error is "PATH: what is wrong", and out is
// incomplete. The fonts' area parts are ignored, as kpathsea searches by name.
bool ExpandDocumentFonts(const std::vector<DviFontList>& documents, int baseDpi,
                         VfLookup& lookup, DocumentFonts& out, std::string& error);
