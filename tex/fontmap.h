// Font maps (dvips's psfonts.map, pdfTeX's pdftex.map): which TeX fonts a
// driver draws from outline fonts instead of PK files. The parser is pure;
// whether an entry's files exist is asked of kpathsea by the caller.
#pragma once

#include <map>
#include <string>
#include <vector>

struct FontMapEntry {
  std::string texName;
  // The font files to embed or download (a .pfb, .pfa, .ttf, ...), without
  // the encodings. None: a font the printer or viewer holds itself.
  std::vector<std::string> fontFiles;
};

// The entries of a map file's text by TeX name; the first entry of a name
// counts, as later ones are duplicates a driver warns about. Comment lines
// (% * # ;) and blank lines are passed over, so are lines that name no font.
std::map<std::string, FontMapEntry> ParseFontMap(const std::string& text);

// The map a driver reads unless told otherwise.
constexpr const char* kDvipsMapFile = "psfonts.map";
