// The walk from documents to real fonts, level by level: every font of one
// nesting level is looked up in one batch, so that a document with hundreds
// of fonts costs one kpsewhich run per level, not one per font.
//
// Sizes follow dvips (vfontdef): a VF's fnt_def gives the scaled size as a
// fix_word times the virtual font's own scaled size (DVI units), and the
// design size as a fix_word in points, which is 16 times the DVI unit (sp).
#include "tex/docfonts.h"
#include "ui/log.h"

#include <set>
#include <unordered_set>
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
  int parent = -1;                // the virtual font that names it (index in Walk::fonts_)
};

// name, NUL, then the sizes' bytes: one hashable string per font at a size.
std::string SizeKey(const FontAtSize& font) {
  std::string key = font.name;
  key.push_back('\0');
  for (std::uint64_t value : {font.scaledSize, font.designSize, std::uint64_t{font.magnification}}) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  return key;
}

class Walk {
 public:
  Walk(int baseDpi, VfLookup& lookup, DocumentFonts& out)
      : baseDpi_(baseDpi), lookup_(lookup), out_(out) {}

  // Adds a font of the next level, unless met before at that size.
  void Add(FontAtSize font) {
    if (font.scaledSize == 0 || font.scaledSize >= kSizeLimit || font.designSize == 0 ||
        font.designSize >= kSizeLimit) {
      if (FirstTime(SizeProblem(font))) {
        Report(StringPrintf(TR("font %s%s: size out of range, not built"), font.name.c_str(),
                            Through(font.parent).c_str()));
      }
      return;
    }
    if (!met_.insert(SizeKey(font)).second) return;
    fonts_.push_back(std::move(font));
  }

  bool Run(std::string& error) {
    std::size_t levelStart = 0;
    for (int depth = 0; levelStart < fonts_.size(); ++depth) {
      const std::size_t levelEnd = fonts_.size();
      if (!LookUp(levelStart, levelEnd, error)) return false;
      for (std::size_t i = levelStart; i < levelEnd; ++i) Expand(static_cast<int>(i), depth);
      levelStart = levelEnd;
    }
    return true;
  }

 private:
  struct Virtual {
    std::string path;
    VfFontList fonts;
  };

  // " (through A B)": the virtual fonts above font, outermost first.
  std::string Through(int font) const {
    std::string text;
    for (; font >= 0; font = fonts_[font].parent) text = " " + fonts_[font].name + text;
    return text.empty() ? text : StringPrintf(TR(" (through%s)"), text.c_str());
  }

  // One batch for the names of a level not asked before.
  bool LookUp(std::size_t begin, std::size_t end, std::string& error) {
    std::vector<std::string> names;
    for (std::size_t i = begin; i < end; ++i) {
      if (asked_.insert(fonts_[i].name).second) names.push_back(fonts_[i].name);
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

  void Expand(int index, int depth) {
    // A copy: Add may move fonts_.
    const FontAtSize font = fonts_[index];
    auto vf = virtuals_.find(font.name);
    if (vf == virtuals_.end()) {
      Build(font);
      return;
    }
    const std::string& path = vf->second.path;
    if (depth >= kMaxVirtualFontDepth) {
      if (FirstTime("deep " + font.name)) {
        Report(StringPrintf(TR("virtual font %s%s: nested deeper than %d virtual fonts, "
                               "not followed"),
                            path.c_str(), Through(font.parent).c_str(),
                            static_cast<int>(kMaxVirtualFontDepth)));
      }
      return;
    }
    for (const TexFontDef& def : vf->second.fonts.fonts) {
      if (++steps_ > kMaxVirtualFontSteps) {
        if (FirstTime("steps")) {
          Report(StringPrintf(TR("more than %d font definitions of virtual fonts; the rest "
                                 "not followed"),
                              static_cast<int>(kMaxVirtualFontSteps)));
        }
        return;
      }
      if (def.name == font.name) {
        if (FirstTime("self " + font.name)) {
          Report(StringPrintf(TR("virtual font %s%s names itself, not followed"), path.c_str(),
                              Through(font.parent).c_str()));
        }
        continue;
      }
      bool cycle = false;
      for (int above = font.parent; above >= 0 && !cycle; above = fonts_[above].parent) {
        cycle = fonts_[above].name == def.name;
      }
      if (cycle) {
        if (FirstTime("cycle " + font.name + " " + def.name)) {
          Report(StringPrintf(TR("virtual font %s%s names %s, which leads back to it, "
                                 "not followed"),
                              path.c_str(), Through(font.parent).c_str(), def.name.c_str()));
        }
        continue;
      }
      FontAtSize child;
      child.name = def.name;
      child.magnification = font.magnification;
      child.parent = index;
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
      if (FirstTime(SizeProblem(font))) {
        Report(StringPrintf(TR("font %s%s: size out of range, not built"), font.name.c_str(),
                            Through(font.parent).c_str()));
      }
      return;
    }
    if (built_.insert({font.name, resolution}).second) {
      out_.fonts.push_back({font.name, resolution});
    }
  }

  void Report(const std::string& line) { out_.reports.push_back(line); }
  // A font too small or too large: once for each VF that names it so.
  std::string SizeProblem(const FontAtSize& font) const {
    return "size " + font.name + " " + (font.parent >= 0 ? fonts_[font.parent].name : std::string());
  }
  // One report per problem (a VF naming itself, a font too small, ...), the
  // first way it is met, however many sizes or documents meet it again.
  bool FirstTime(const std::string& problem) { return reported_.insert(problem).second; }

  const int baseDpi_;
  VfLookup& lookup_;
  DocumentFonts& out_;
  std::vector<FontAtSize> fonts_;  // every font met, level after level
  std::unordered_set<std::string> met_;
  std::size_t steps_ = 0;  // VF font definitions followed
  std::set<std::string> asked_;
  std::map<std::string, Virtual> virtuals_;
  std::set<std::pair<std::string, int>> built_;
  std::unordered_set<std::string> reported_;
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
