// Readers for the font definitions of DVI and VF files, and the resolution
// a DVI driver asks for. Pure functions over bytes: no file system and no
// kpathsea, so that they can be fuzzed and unit-tested on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One fnt_def command (DVI postamble or VF preamble part).
struct TexFontDef {
  std::uint32_t number = 0;      // k
  std::uint32_t checksum = 0;    // c
  std::uint32_t scaledSize = 0;  // s (DVI units, or fix_word relative to the VF's size)
  std::uint32_t designSize = 0;  // d
  std::string area;              // the first a bytes of the name (usually empty)
  std::string name;              // the last l bytes
  // DVI: the character codes that the pages set in this font (set_char,
  // set, put), ascending, each once. A font with none is loaded by no driver.
  std::vector<std::uint32_t> characters;
};

struct DviFontList {
  std::uint32_t num = 0;
  std::uint32_t den = 0;
  std::uint32_t magnification = 1000;   // the postamble's mag (document magnification x 1000)
  std::vector<TexFontDef> fonts;        // in postamble order, one per font number
};

// A character that a VF packet sets in one of the VF's own fonts.
struct VfUse {
  std::size_t font = 0;         // index into VfFontList::fonts
  std::uint32_t character = 0;
};

struct VfFontList {
  std::uint32_t designSize = 0;         // ds, fix_word
  std::vector<TexFontDef> fonts;        // the fnt_defs of the preamble, in order
  // For each character of the virtual font, what its packet sets, each once.
  std::map<std::uint32_t, std::vector<VfUse>> packets;
};

// true: out holds the file's fonts. false: error says what is wrong, in a
// short English phrase without the file name (the caller names the file),
// e.g. "not a DVI file", "no postamble", "truncated font definition".
// Never reads outside [data, data + size).
bool ReadDviFonts(const unsigned char* data, std::size_t size, DviFontList& out,
                  std::string& error);
bool ReadVfFonts(const unsigned char* data, std::size_t size, VfFontList& out,
                 std::string& error);

// The resolution a DVI driver asks for at baseDpi for a font of scaledSize
// and designSize (the same unit) in a document of magnification (x 1000):
// baseDpi x magnification / 1000 x scaledSize / designSize rounded half up,
// computed exactly (no floating point: 1555.5 must give 1556), then replaced
// by the rounded resolution of a whole or half magstep of baseDpi when that
// lies within one dpi of it. 0 when the result is not a positive int.
int DriverResolution(int baseDpi, std::uint64_t magnification, std::uint64_t scaledSize,
                     std::uint64_t designSize);
// The magstep rule alone, for a resolution already rounded.
int MagstepFix(int baseDpi, long long dpi);
