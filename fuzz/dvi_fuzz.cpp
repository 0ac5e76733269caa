// The DVI reader over any bytes, then what the program does with a file it
// accepts: the driver resolution of every font, and the expansion with no
// virtual fonts.
#include <cstdint>
#include <map>
#include <string>

#include "tex/docfonts.h"
#include "tex/dvifonts.h"

namespace {

class NoVirtualFonts : public VfLookup {
 public:
  void FindVirtualFonts(const std::vector<std::string>&, std::map<std::string, VfFile>&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DviFontList fonts;
  std::string error;
  if (!ReadDviFonts(data, size, fonts, error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  for (const TexFontDef& font : fonts.fonts) {
    for (int dpi : {300, 600, 1200}) {
      DriverResolution(dpi, fonts.magnification, font.scaledSize, font.designSize);
    }
  }
  NoVirtualFonts lookup;
  DocumentFonts needed;
  ExpandDocumentFonts({fonts}, 600, lookup, needed, error);
  return 0;
}
