// The walk from documents to real fonts, level by level: every font of one
// nesting level is looked up in one batch, so that a document with hundreds
// of fonts costs one kpsewhich run per level, not one per font.
//
// Sizes follow dvips (vfontdef): a VF's fnt_def gives the scaled size as a
// fix_word times the virtual font's own scaled size (DVI units), and the
// design size as a fix_word in points, which is 16 times the DVI unit (sp).
#include "run/docfonts.h"

#include <set>
#include <tuple>
#include <utility>

namespace {

constexpr std::uint64_t kSizeLimit = std::uint64_t{1} << 32;  // sizes stay uint32
constexpr int kFixWordShift = 20;
constexpr int kFixWordToSp = 4;  // a fix_word design size is in 2^-20 pt, sp is 2^-16 pt

struct FontAtSize {
  std::string name;
  std::uint64_t scaledSize = 0;   // DVI units
  std::uint64_t designSize = 0;   // DVI units
  std::uint32_t magnification = 1000;
  std::vector<std::string> chain; // the virtual fonts above, outermost first
};

using SizeKey = std::tuple<std::string, std::uint64_t, std::uint64_t, std::uint32_t>;

std::string Through(const std::vector<std::string>& chain) {
  if (chain.empty()) return std::string();
  std::string text = " (through";
  for (const std::string& name : chain) text += " " + name;
  return text + ")";
}

class Walk {
 public:
  Walk(int baseDpi, VfLookup& lookup, DocumentFonts& out)
      : baseDpi_(baseDpi), lookup_(lookup), out_(out) {}

  // Adds a font of the next level, unless met before at that size.
  void Add(FontAtSize font) {
    if (font.scaledSize == 0 || font.scaledSize >= kSizeLimit || font.designSize == 0 ||
        font.designSize >= kSizeLimit) {
      Report("font " + font.name + Through(font.chain) +
                             ": size out of range, not built");
      return;
    }
    SizeKey key{font.name, font.scaledSize, font.designSize, font.magnification};
    if (met_.count(key)) return;
    if (met_.size() >= kMaxFontInstances) {
      Report("more than " + std::to_string(kMaxFontInstances) +
             " fonts through virtual fonts; the rest not followed");
      return;
    }
    met_.insert(std::move(key));
    next_.push_back(std::move(font));
  }

  bool Run(std::string& error) {
    for (int depth = 0; !next_.empty(); ++depth) {
      std::vector<FontAtSize> level;
      level.swap(next_);
      if (!LookUp(level, error)) return false;
      for (const FontAtSize& font : level) Expand(font, depth);
    }
    return true;
  }

 private:
  struct Virtual {
    std::string path;
    VfFontList fonts;
  };

  // One batch for the names of a level not asked before.
  bool LookUp(const std::vector<FontAtSize>& level, std::string& error) {
    std::vector<std::string> names;
    for (const FontAtSize& font : level) {
      if (asked_.insert(font.name).second) names.push_back(font.name);
    }
    if (names.empty()) return true;
    std::map<std::string, VfFile> found;
    lookup_.FindVirtualFonts(names, found);
    for (const std::string& name : names) {
      auto file = found.find(name);
      if (file == found.end()) continue;
      Virtual& vf = virtuals_[name];
      vf.path = file->second.path;
      std::string problem;
      if (!ReadVfFonts(file->second.bytes.data(), file->second.bytes.size(), vf.fonts, problem)) {
        error = vf.path + ": " + problem;
        return false;
      }
    }
    return true;
  }

  void Expand(const FontAtSize& font, int depth) {
    auto vf = virtuals_.find(font.name);
    if (vf == virtuals_.end()) {
      Build(font);
      return;
    }
    const std::string& path = vf->second.path;
    if (depth >= kMaxVirtualFontDepth) {
      Report("virtual font " + path + Through(font.chain) + ": nested deeper than " +
                             std::to_string(kMaxVirtualFontDepth) + " virtual fonts, not followed");
      return;
    }
    for (const TexFontDef& def : vf->second.fonts.fonts) {
      if (def.name == font.name) {
        Report("virtual font " + path + Through(font.chain) +
                               " names itself, not followed");
        continue;
      }
      bool cycle = false;
      for (const std::string& above : font.chain) cycle = cycle || above == def.name;
      if (cycle) {
        Report("virtual font " + path + Through(font.chain) + " names " +
                               def.name + ", which leads back to it, not followed");
        continue;
      }
      FontAtSize child;
      child.name = def.name;
      child.magnification = font.magnification;
      child.chain = font.chain;
      child.chain.push_back(font.name);
      // fix_words are signed: a negative one is a bad size (0).
      if (def.scaledSize < 0x80000000u) {
        child.scaledSize = (std::uint64_t{def.scaledSize} * font.scaledSize) >> kFixWordShift;
      }
      if (def.designSize < 0x80000000u) child.designSize = def.designSize >> kFixWordToSp;
      Add(std::move(child));
    }
  }

  void Build(const FontAtSize& font) {
    const double magnification = font.magnification / 1000.0 *
                                 static_cast<double>(font.scaledSize) /
                                 static_cast<double>(font.designSize);
    const int resolution = DriverResolution(baseDpi_, magnification);
    if (resolution <= 0) {
      Report("font " + font.name + Through(font.chain) +
                             ": size out of range, not built");
      return;
    }
    if (built_.insert({font.name, resolution}).second) {
      out_.fonts.push_back({font.name, resolution});
    }
  }

  // The same line once, however many sizes or documents meet it.
  void Report(const std::string& line) {
    if (reported_.insert(line).second) out_.reports.push_back(line);
  }

  const int baseDpi_;
  VfLookup& lookup_;
  DocumentFonts& out_;
  std::vector<FontAtSize> next_;
  std::set<SizeKey> met_;
  std::set<std::string> asked_;
  std::map<std::string, Virtual> virtuals_;
  std::set<std::pair<std::string, int>> built_;
  std::set<std::string> reported_;
};

}  // namespace

bool ExpandDocumentFonts(const std::vector<DviFontList>& documents, int baseDpi,
                         VfLookup& lookup, DocumentFonts& out, std::string& error) {
  out = DocumentFonts();
  Walk walk(baseDpi, lookup, out);
  for (const DviFontList& document : documents) {
    for (const TexFontDef& def : document.fonts) {
      FontAtSize font;
      font.name = def.name;
      font.scaledSize = def.scaledSize;
      font.designSize = def.designSize;
      font.magnification = document.magnification;
      walk.Add(std::move(font));
    }
  }
  return walk.Run(error);
}
