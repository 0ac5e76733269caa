#include "tex/docjobs.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "tex/docfonts.h"
#include "tex/dvifonts.h"
#include "tex/maker_request.h"
#include "run/filesys.h"
#include "ui/log.h"

namespace {

// Far beyond any real DVI or VF file or missfont.log; keeps a wrong file
// (a disk image named .dvi) from eating the memory.
constexpr std::size_t kMaxInputBytes = 512u * 1024 * 1024;

// The map's entries whose font files kpathsea finds: the fonts a driver
// draws from outlines. Each font file is asked for once.
class OutlineFonts {
 public:
  OutlineFonts(TexLookup& lookup, std::map<std::string, FontMapEntry> entries)
      : lookup_(lookup), entries_(std::move(entries)) {}

  void Find(const std::vector<std::string>& names, std::set<std::string>& outline) {
    std::vector<std::string> files;
    std::vector<const FontMapEntry*> listed;
    for (const std::string& name : names) {
      auto entry = entries_.find(name);
      if (entry == entries_.end()) continue;
      listed.push_back(&entry->second);
      for (const std::string& file : entry->second.fontFiles)
        if (file.find('/') == std::string::npos && !found_.count(file)) files.push_back(file);
    }
    if (!files.empty()) {
      std::vector<std::string> paths = lookup_.FindFiles(TexFileKind::Named, files);
      for (std::size_t i = 0; i < files.size(); ++i)
        found_[files[i]] = i < paths.size() && !paths[i].empty();
    }
    for (const FontMapEntry* entry : listed) {
      bool all = true;
      for (const std::string& file : entry->fontFiles)
        all = all && (file.find('/') != std::string::npos ? IsRegularFile(file) : found_[file]);
      // No font file: one the printer or viewer holds.
      if (all) outline.insert(entry->texName);
    }
  }

 private:
  TexLookup& lookup_;
  std::map<std::string, FontMapEntry> entries_;
  std::map<std::string, bool> found_;
};

// The VF files of a level, found by kpathsea in one call and read whole.
class FileVfLookup : public VfLookup {
 public:
  FileVfLookup(TexLookup& lookup, OutlineFonts* outline) : lookup_(lookup), outline_(outline) {}
  void FindVirtualFonts(const std::vector<std::string>& names,
                        std::map<std::string, VfFile>& found) override {
    std::vector<std::string> paths = lookup_.FindFiles(TexFileKind::VirtualFont, names);
    for (std::size_t i = 0; i < names.size() && i < paths.size(); ++i) {
      if (paths[i].empty()) continue;
      VfFile& file = found[names[i]];
      file.path = paths[i];
      std::string error;
      if (!ReadWholeFile(paths[i], kMaxInputBytes, file.bytes, error) && failure.empty())
        failure = paths[i] + ": " + error;
    }
  }
  void FindOutlineFonts(const std::vector<std::string>& names,
                        std::set<std::string>& outline) override {
    if (outline_) outline_->Find(names, outline);
  }
  std::string failure;  // the first VF that could not be read

 private:
  TexLookup& lookup_;
  OutlineFonts* outline_;
};

// The map's entries; false with error when it cannot be read, or is given
// and not found. path stays empty for none.
bool ReadFontMap(const FontMapChoice& map, TexLookup& lookup,
                 std::map<std::string, FontMapEntry>& entries, std::string& path,
                 std::string& error) {
  entries.clear();
  path.clear();
  if (map.file.empty() || map.file == kNoMap) return true;
  if (map.file.find('/') != std::string::npos) {
    path = map.file;
  } else {
    path = lookup.FindFiles(TexFileKind::Named, {map.file})[0];
    if (path.empty()) {
      if (map.optional) return true;
      error = StringPrintf(TR("%s: no such font map where kpathsea looks"), map.file.c_str());
      return false;
    }
  }
  std::vector<unsigned char> bytes;
  std::string why;
  if (!ReadWholeFile(path, kMaxInputBytes, bytes, why)) {
    error = path + ": " + why;
    path.clear();
    return false;
  }
  entries = ParseFontMap(std::string(bytes.begin(), bytes.end()));
  return true;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t p = 0;
  while (p < line.size()) {
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t' || line[p] == '\r')) ++p;
    std::size_t start = p;
    while (p < line.size() && line[p] != ' ' && line[p] != '\t' && line[p] != '\r') ++p;
    if (p > start) words.push_back(line.substr(start, p - start));
  }
  return words;
}

std::string ProgramName(const std::string& word) {
  std::size_t slash = word.rfind('/');
  return slash == std::string::npos ? word : word.substr(slash + 1);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::size_t maxBytes,
                   std::vector<unsigned char>& bytes, std::string& error) {
  bytes.clear();
  if (!PathExists(path)) {
    error = TR("no such file");
    return false;
  }
  // A FIFO or a device would make the read wait or never end.
  if (!IsRegularFile(path)) {
    error = TR("not a regular file");
    return false;
  }
  errno = 0;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    error = StringPrintf(TR("cannot be read: %s"), LastErrorText().c_str());
    return false;
  }
  unsigned char chunk[65536];
  std::size_t got;
  bool tooLarge = false;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    if (bytes.size() + got > maxBytes) {
      tooLarge = true;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  bool failed = std::ferror(in) != 0;
  std::string text = failed ? LastErrorText() : std::string();
  std::fclose(in);
  if (tooLarge) {
    error = StringPrintf(TR("larger than %d MB"), static_cast<int>(maxBytes / (1024 * 1024)));
    return false;
  }
  if (failed) {
    error = StringPrintf(TR("cannot be read: %s"), text.c_str());
    return false;
  }
  return true;
}

bool ParseMissfontLine(const std::string& line, int baseDpi, DocumentFont& font,
                       std::string& why) {
  std::vector<std::string> words = Words(line);
  if (words.empty() || ProgramName(words[0]) != "mktexpk") {
    why = TR("not a PK font request");
    return false;
  }
  MakerRequest request;
  if (!ParseMakerRequest(std::vector<std::string>(words.begin() + 1, words.end()), request,
                         why))
    return false;
  if (request.baseDpi != baseDpi) {
    why = StringPrintf(TR("for a mode of %d dpi, not %d"), request.baseDpi,
                       static_cast<int>(baseDpi));
    return false;
  }
  font.name = request.name;
  font.resolution = request.dpi;
  return true;
}

bool PlanDocumentFonts(const std::vector<std::string>& dviFiles,
                       const std::vector<std::string>& missfontLogs, int baseDpi,
                       const FontMapChoice& map, TexLookup& lookup, DocumentPlan& plan,
                       std::string& error, std::uint32_t magnification,
                       const std::set<std::string>& passable) {
  plan = DocumentPlan();
  std::vector<DocumentFont> wanted;
  std::map<std::string, FontMapEntry> entries;
  if (!ReadFontMap(map, lookup, entries, plan.mapPath, error)) return false;
  std::unique_ptr<OutlineFonts> outline;
  if (!plan.mapPath.empty()) outline = std::make_unique<OutlineFonts>(lookup, std::move(entries));
  std::set<std::string> outlineNames;

  std::vector<DviFontList> documents;
  for (const std::string& path : dviFiles) {
    std::vector<unsigned char> bytes;
    std::string why;
    DviFontList list;
    if (!ReadWholeFile(path, kMaxInputBytes, bytes, why) ||
        !ReadDviFonts(bytes.data(), bytes.size(), list, why)) {
      if (passable.count(path)) {
        plan.passedOver.push_back(path + ": " + why);
        continue;
      }
      error = path + ": " + why;
      return false;
    }
    if (magnification != 0) list.magnification = magnification;
    documents.push_back(std::move(list));
  }
  if (!documents.empty()) {
    FileVfLookup vfs(lookup, outline.get());
    DocumentFonts expanded;
    std::string why;
    bool read = ExpandDocumentFonts(documents, baseDpi, vfs, expanded, why);
    if (!vfs.failure.empty()) {
      error = vfs.failure;
      return false;
    }
    if (!read) {
      error = why;
      return false;
    }
    for (const NeededFont& font : expanded.fonts) wanted.push_back({font.name, font.resolution});
    for (const std::string& name : expanded.outline)
      if (outlineNames.insert(name).second) plan.outline.push_back(name);
    for (const std::string& report : expanded.reports) plan.reports.push_back(report);
  }

  for (const std::string& path : missfontLogs) {
    std::vector<unsigned char> bytes;
    std::string why;
    if (!ReadWholeFile(path, kMaxInputBytes, bytes, why)) {
      error = path + ": " + why;
      return false;
    }
    std::string text(bytes.begin(), bytes.end());
    std::set<std::string> reported;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      start = end + 1;
      if (Words(line).empty()) continue;
      DocumentFont font;
      if (ParseMissfontLine(line, baseDpi, font, why))
        wanted.push_back(font);
      else if (reported.insert(line).second)
        plan.reports.push_back(StringPrintf(TR("%s: passed over (%s): %s"), path.c_str(), why.c_str(),
                                            VisibleText(line).c_str()));
    }
  }

  std::set<std::pair<std::string, int>> seen;
  std::vector<DocumentFont> unique;
  std::vector<std::string> names;
  std::set<std::string> named;
  std::set<std::string> unusable;
  for (const DocumentFont& font : wanted) {
    // A name from a document or a VF becomes file names in the target and
    // METAFONT's and gftopk's arguments: only a plain name may, whatever a
    // lookup would answer for it.
    if (!IsPlainFontName(font.name)) {
      if (unusable.insert(font.name).second)
        plan.reports.push_back(StringPrintf(TR("font \"%s\": not a usable font name, not built"),
                                            VisibleText(font.name).c_str()));
      continue;
    }
    if (font.resolution <= 0 || !seen.insert({font.name, font.resolution}).second) continue;
    unique.push_back(font);
    if (named.insert(font.name).second) names.push_back(font.name);
  }
  // The requests of font-making logs go through the map too (those of the
  // documents went on their way through their virtual fonts).
  if (outline && !missfontLogs.empty()) {
    std::vector<std::string> unasked;
    for (const std::string& name : names)
      if (!outlineNames.count(name)) unasked.push_back(name);
    std::set<std::string> found;
    outline->Find(unasked, found);
    for (const std::string& name : unasked)
      if (found.count(name) && outlineNames.insert(name).second) plan.outline.push_back(name);
    std::vector<DocumentFont> kept;
    for (const DocumentFont& font : unique)
      if (!outlineNames.count(font.name)) kept.push_back(font);
    unique.swap(kept);
    std::vector<std::string> keptNames;
    for (const std::string& name : names)
      if (!outlineNames.count(name)) keptNames.push_back(name);
    names.swap(keptNames);
  }
  std::vector<std::string> sources = lookup.FindFiles(TexFileKind::MetafontSource, names);
  std::set<std::string> withoutSource;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (i >= sources.size() || sources[i].empty()) {
      withoutSource.insert(names[i]);
      plan.withoutSource.push_back(names[i]);
    }
  for (const DocumentFont& font : unique)
    if (!withoutSource.count(font.name)) plan.fonts.push_back(font);
  return true;
}
