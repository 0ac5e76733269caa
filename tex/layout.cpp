#include "tex/layout.h"

#include <cstdio>
#include <fstream>

#include "run/filelock.h"
#include "run/filesys.h"
#include "run/output.h"
#include "ui/dialogue.h"
#include "ui/log.h"

const char* const kOutsideTreeRel = "kiln";
const char* const kTreeWorkDir = "kiln";

namespace {

FlatLayout flatLayout;
OutputLayout* currentLayout = &flatLayout;

const int kOffsets[3] = {0, -1, +1};

std::string PkName(const std::string& fontName, long long resolution) {
  return fontName + "." + std::to_string(resolution) + "pk";
}

std::string GfName(const std::string& fontName, int resolution) {
  return fontName + "." + std::to_string(resolution) + "gf";
}

// Copies a by-product into directory and removes it once the copy is good;
// when the copy fails the file stays and the log says so.
bool FileByProduct(const std::string& name, const std::string& directory) {
  if (CopyFileBytes(name, directory + kDirSeparator + name)) {
    RemoveFile(name);
    return true;
  }
  if (PathExists(name))
    ConsolePrintf(LOG_ALERT, "%s kept in the working directory: its copy failed",
                  name.c_str());
  return false;
}

// Seen on the terminal without debug mode too: a file that did not reach
// the tree is one that no driver finds.
void ReportTreeProblem(const std::string& text) {
  ConsolePrintf(LOG_ALERT, "%s", text.c_str());
  MessageBoxPrintf(nullptr, kProductTitle, BOX_SETFOREGROUND | BOX_ICONWARNING, "%s",
                   text.c_str());
}

bool UsableFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('\\') == std::string::npos;
}

}  // namespace

void SetOutputLayout(OutputLayout* layout) {
  currentLayout = layout ? layout : &flatLayout;
}

OutputLayout& CurrentLayout() { return *currentLayout; }

void FlatLayout::Prepare() {
  // An existing directory is fine; any other failure shows up when the
  // by-products are filed.
  MakeDirectory("tfm");
  MakeDirectory("log");
}

int FlatLayout::PkExists(const std::string& fontName, int resolution) {
  return PkFileExists(fontName, resolution);
}

int FlatLayout::FileOutputs(const std::string& fontName, int resolution,
                            const std::string& workDir) {
  return ::FileOutputs(fontName, resolution, workDir);
}

std::string SourceFolderOf(const std::string& sourcePath) {
  const std::string marker = "/fonts/source/";
  std::size_t at = sourcePath.rfind(marker);
  std::size_t slash = sourcePath.rfind('/');
  if (at == std::string::npos || slash <= at + marker.size()) return kOutsideTreeRel;
  std::string rel = sourcePath.substr(at + marker.size(), slash - at - marker.size());
  // Every folder name must be a plain one: the PK path is made from them.
  std::size_t start = 0;
  for (;;) {
    std::size_t end = rel.find('/', start);
    if (!UsableFolderName(rel.substr(start, end == std::string::npos ? end : end - start)))
      return kOutsideTreeRel;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return rel;
}

bool MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    MakeDirectory(path.substr(0, slash));
  MakeDirectory(path);
  return DirectoryStatus(path) == 1;
}

std::string LsRAppendix(const std::map<std::string, std::set<std::string>>& added,
                        char tail) {
  std::string text;
  // A block must follow a blank line, whatever the file ended with.
  if (tail != 0 && tail != '\n') text += '\n';
  for (const auto& entry : added) {
    if (entry.second.empty()) continue;
    text += "\n./" + entry.first + ":\n";
    for (const std::string& name : entry.second) text += name + "\n";
  }
  return text;
}

void LsRFontEntries::AddLine(const std::string& line) {
  if (line.empty() || line[0] == '%') return;
  if (line.back() == ':') {
    std::string folder = line.substr(0, line.size() - 1);
    if (folder.compare(0, 2, "./") == 0) {
      folder.erase(0, 2);
    } else if (!root_.empty() && folder.compare(0, root_.size() + 1, root_ + "/") == 0) {
      folder.erase(0, root_.size() + 1);
    } else if (!folder.empty() && folder[0] == '/') {
      folder.clear();  // another tree's folder
    }
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    folder_ = folder;
    wanted_ = folder.compare(0, 9, "fonts/pk/") == 0 || folder.compare(0, 10, "fonts/tfm/") == 0;
    return;
  }
  if (wanted_) entries_[folder_].insert(line);
}

bool LsRFontEntries::Lists(const std::string& folder, const std::string& name) const {
  auto found = entries_.find(folder);
  return found != entries_.end() && found->second.count(name) != 0;
}

bool IsTreeFontFileName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  auto endsWith = [&](const std::string& tail) {
    return name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
  };
  if (endsWith(".tfm")) return true;
  if (!endsWith("pk")) return false;
  std::size_t digits = name.size() - 2;
  std::size_t first = digits;
  while (first > 0 && name[first - 1] >= '0' && name[first - 1] <= '9') --first;
  return first < digits && first >= 2 && name[first - 1] == '.';
}

namespace {

// The font files below root/folder, folder by folder. The depth bound keeps
// a folder that links back to its parent from walking for ever.
void CollectTreeFonts(const std::string& root, const std::string& folder, int depth,
                      std::map<std::string, std::set<std::string>>& found) {
  std::vector<std::string> names;
  if (depth <= 0 || !ListDirectory(root + "/" + folder, names)) return;
  for (const std::string& name : names) {
    const std::string rel = folder + "/" + name;
    if (IsTreeFontFileName(name) && IsRegularFile(root + "/" + rel))
      found[folder].insert(name);
    else if (name[0] != '.' && DirectoryStatus(root + "/" + rel) == 1)
      CollectTreeFonts(root, rel, depth - 1, found);
  }
}

constexpr int kTreeFolderDepth = 12;  // fonts/pk/MODE/REL... is far less

}  // namespace

void TreeLayout::Prepare() {
  if (logDirectory_.empty())
    MakeDirectory("log");
  else
    MakeDirectories(logDirectory_);
}

std::string TreeLayout::LogFolder() const {
  return logDirectory_.empty() ? OutputLayout::LogFolder() : logDirectory_;
}

std::string TreeLayout::PkFolder(const std::string& fontName) {
  if (!pkFolder_.empty() && pkFolder_[0] == '/') return pkFolder_;
  return "fonts/pk/" + mode_ + "/" + (pkFolder_.empty() ? SourceFolder(fontName) : pkFolder_);
}

void TreeLayout::Prefetch(const std::vector<DocumentFont>& fonts) {
  std::map<int, std::vector<std::string>> byResolution;
  std::vector<std::string> names;
  std::set<std::string> named;
  for (const DocumentFont& font : fonts) {
    byResolution[font.resolution].push_back(font.name);
    if (named.insert(font.name).second) names.push_back(font.name);
  }
  lookup_.FindFiles(TexFileKind::MetafontSource, names);
  lookup_.FindFiles(TexFileKind::Tfm, names);
  lookup_.FindPkFilesAt(byResolution, mode_);
}

std::string TreeLayout::SourceFolder(const std::string& fontName) {
  std::string source = lookup_.FindFile(TexFileKind::MetafontSource, fontName);
  return source.empty() ? std::string(kOutsideTreeRel) : SourceFolderOf(source);
}

std::string TreeLayout::PkPath(const std::string& fontName, int resolution) {
  const std::string folder = PkFolder(fontName);
  return (folder[0] == '/' ? folder : root_ + "/" + folder) + "/" +
         PkName(fontName, resolution);
}

int TreeLayout::PkExists(const std::string& fontName, int resolution) {
  std::string folder = PkFolder(fontName);
  folder = (folder[0] == '/' ? folder : root_ + "/" + folder) + "/";
  for (int offset : kOffsets) {
    std::string path = folder + PkName(fontName, static_cast<long long>(resolution) + offset);
    if (PathExists(path)) {
      ConsolePrintf(LOG_INFO, "%s is already in the tree", path.c_str());
      return 1;
    }
  }
  std::string found = lookup_.FindPkFile(fontName, mode_, resolution);
  if (!found.empty()) {
    ConsolePrintf(LOG_INFO, "%s at %d dpi is found by kpathsea: %s", fontName.c_str(),
                  resolution, found.c_str());
    return 1;
  }
  return 0;
}

// A rename, which a driver reading meanwhile sees whole or not at all; across
// file systems a copy to a temporary name beside the destination, renamed.
bool TreeLayout::MoveIntoTree(const std::string& name, const std::string& directory) {
  const std::string folder = directory[0] == '/' ? directory : root_ + "/" + directory;
  if (!MakeDirectories(folder)) {
    ReportTreeProblem(StringPrintf(TR("%s cannot be created: %s"), folder.c_str(),
                                   LastErrorText().c_str()));
    return false;
  }
  std::string destination = folder + "/" + name;
  if (!ReplaceFileWith(name, destination)) {
    if (!CopyFileBytes(name, destination)) {
      ReportTreeProblem(StringPrintf(TR("%s is kept in the working directory: it could not be "
                                        "moved to %s"),
                                     name.c_str(), destination.c_str()));
      return false;
    }
    RemoveFile(name);
  }
  ConsolePrintf(LOG_INFO, "%s moved to %s", name.c_str(), destination.c_str());
  // ls-R lists what lies below the tree.
  if (directory[0] != '/')
    added_[directory].insert(name);
  else if (directory.compare(0, root_.size() + 1, root_ + "/") == 0)
    added_[directory.substr(root_.size() + 1)].insert(name);
  return true;
}

int TreeLayout::FileOutputs(const std::string& fontName, int resolution,
                            const std::string& workDir) {
  // A scratch directory's files join the working directory first (one file
  // system, a rename): what cannot be filed then stays where a job run
  // there would have left it. The GF file is only ever deleted, so it is
  // deleted where it is: moved out first, a kill before its deletion would
  // leave it in the working directory, where no later run looks for it once
  // the PK file is filed.
  if (!workDir.empty()) {
    RemoveFile(InWorkDir(workDir, GfName(fontName, resolution)));
    for (const std::string& name : {fontName + ".tfm", fontName + ".log"}) {
      const std::string from = InWorkDir(workDir, name);
      if (PathExists(from) && !ReplaceFileWith(from, name))
        ConsolePrintf(LOG_ALERT, "%s cannot be moved out of %s: %s", name.c_str(),
                      workDir.c_str(), LastErrorText().c_str());
    }
  }
  const std::string rel = SourceFolder(fontName);
  // The TFM file goes first: once the PK file is in the tree a later run
  // passes the font over, so a kill between the two would have left the
  // font without its TFM for good.
  const std::string tfm = fontName + ".tfm";
  const std::string tfmFolder = "fonts/tfm/" + rel;
  bool tfmFiled = true;
  // The TFM is the same for every mode and size: one is enough, and one
  // that kpathsea finds elsewhere already serves.
  // METAFONT's own TFM in the working folder does not count.
  const std::string found = lookup_.FindFile(TexFileKind::Tfm, fontName);
  bool wanted = (found.empty() || found.compare(0, 2, "./") == 0) &&
                !PathExists(root_ + "/" + tfmFolder + "/" + tfm);
  if (wanted && PathExists(tfm)) tfmFiled = MoveIntoTree(tfm, tfmFolder);
  if (tfmFiled) RemoveFile(tfm);

  bool pkFiled = MoveIntoTree(PkName(fontName, resolution), PkFolder(fontName));

  bool logFiled = FileByProduct(fontName + ".log", LogFolder());
  RemoveFile(GfName(fontName, resolution));
  return pkFiled && tfmFiled && logFiled ? 1 : 0;
}

// Appends what the tree holds and its ls-R does not list: this run's files,
// and those of a run that was killed before its end (or that someone put
// there), which a tree searched through ls-R alone would never find. What
// the file lists already is never listed again; the file is only appended
// to, so that a reader meanwhile sees it whole.
void TreeLayout::Finish() {
  const std::string lsR = root_ + "/ls-R";
  std::map<std::string, std::set<std::string>> added;
  added.swap(added_);
  if (!IsRegularFile(lsR)) return;
  // What another program appends meanwhile (an on-demand request, another
  // kiln) is read before this run's list is made, so that nothing is
  // listed twice.
  FileLock lock;
  if (!lock.Lock(lsR))
    ConsolePrintf(LOG_WARNING, "%s cannot be locked; appended to without a lock", lsR.c_str());
  LsRFontEntries listed(root_);
  char tail = 0;
  {
    std::ifstream in(lsR, std::ios::binary);
    std::string line;
    bool any = false;
    while (std::getline(in, line)) {
      listed.AddLine(line);
      any = true;
    }
    if (in.bad()) {
      ReportTreeProblem(StringPrintf(TR("%s could not be updated (%s); kpathsea may not find "
                                        "the new fonts until it is rebuilt"),
                                     lsR.c_str(), TR("read error")));
      return;
    }
    // getline drops the last line break: the byte before the end tells.
    in.clear();
    if (any && in.seekg(-1, std::ios::end)) tail = static_cast<char>(in.get());
  }
  // Several programs at once file fonts that are still on their way; each
  // lists its own.
  if (!shared_)
    for (const char* top : {"fonts/pk", "fonts/tfm"})
      CollectTreeFonts(root_, top, kTreeFolderDepth, added);
  std::map<std::string, std::set<std::string>> missing;
  for (const auto& entry : added)
    for (const std::string& name : entry.second)
      if (!listed.Lists(entry.first, name) && PathExists(root_ + "/" + entry.first + "/" + name))
        missing[entry.first].insert(name);
  if (missing.empty()) return;
  const std::string text = LsRAppendix(missing, tail);
  std::FILE* out = std::fopen(lsR.c_str(), "ab");
  bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out && std::fclose(out) != 0) written = false;
  if (!written)
    ReportTreeProblem(StringPrintf(TR("%s could not be updated (%s); kpathsea may not find the new "
                                   "fonts until it is rebuilt"),
                                lsR.c_str(), LastErrorText().c_str()));
  else
    ConsolePrintf(LOG_INFO, "%s: %zu folders added", lsR.c_str(), missing.size());
}
