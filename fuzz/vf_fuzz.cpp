// The VF reader over any bytes, then the expansion of a document whose every
// font has this VF: it names itself, forms cycles and nests to the depth
// limit, whatever the bytes say.
#include <cstdint>
#include <map>
#include <string>

#include "tex/docfonts.h"
#include "tex/dvifonts.h"

namespace {

class EveryFontThisVf : public VfLookup {
 public:
  EveryFontThisVf(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
  void FindVirtualFonts(const std::vector<std::string>& names,
                        std::map<std::string, VfFile>& found) override {
    // Every other name, so that real fonts are reached too.
    for (size_t i = 0; i < names.size(); i += 2) found[names[i]] = {names[i] + ".vf", bytes_};
  }

 private:
  std::vector<unsigned char> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VfFontList fonts;
  std::string error;
  if (!ReadVfFonts(data, size, fonts, error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  DviFontList document;
  document.magnification = 1095;
  // Every font sets every character the VF has a packet for, so that the
  // expansion follows each packet.
  std::vector<std::uint32_t> used;
  for (const auto& packet : fonts.packets) used.push_back(packet.first);
  TexFontDef first;
  first.scaledSize = first.designSize = 655360;
  first.name = "first";
  first.characters = used;
  document.fonts.push_back(first);
  for (TexFontDef font : fonts.fonts) {
    font.characters = used;
    document.fonts.push_back(font);
  }
  EveryFontThisVf lookup(data, size);
  DocumentFonts needed;
  ExpandDocumentFonts({document}, 600, lookup, needed, error);
  return 0;
}
