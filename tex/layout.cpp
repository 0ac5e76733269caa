#include "tex/layout.h"

#include <cstdio>

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

void TreeLayout::Prepare() {
  MakeDirectory("log");
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
  return root_ + "/fonts/pk/" + mode_ + "/" + SourceFolder(fontName) + "/" +
         PkName(fontName, resolution);
}

int TreeLayout::PkExists(const std::string& fontName, int resolution) {
  std::string folder = root_ + "/fonts/pk/" + mode_ + "/" + SourceFolder(fontName) + "/";
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
  if (!MakeDirectories(root_ + "/" + directory)) {
    ReportTreeProblem(StringPrintf(TR("%s/%s cannot be created: %s"), root_.c_str(),
                                   directory.c_str(), LastErrorText().c_str()));
    return false;
  }
  std::string destination = root_ + "/" + directory + "/" + name;
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
  added_[directory].insert(name);
  return true;
}

int TreeLayout::FileOutputs(const std::string& fontName, int resolution,
                            const std::string& workDir) {
  // A scratch directory's files join the working directory first (one file
  // system, a rename): what cannot be filed then stays where a job run
  // there would have left it.
  if (!workDir.empty()) {
    for (const std::string& name :
         {fontName + ".tfm", fontName + ".log", GfName(fontName, resolution)}) {
      const std::string from = InWorkDir(workDir, name);
      if (PathExists(from) && !ReplaceFileWith(from, name))
        ConsolePrintf(LOG_ALERT, "%s cannot be moved out of %s: %s", name.c_str(),
                      workDir.c_str(), LastErrorText().c_str());
    }
  }
  const std::string rel = SourceFolder(fontName);
  bool pkFiled = MoveIntoTree(PkName(fontName, resolution), "fonts/pk/" + mode_ + "/" + rel);

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

  bool logFiled = FileByProduct(fontName + ".log", "log");
  RemoveFile(GfName(fontName, resolution));
  return pkFiled && tfmFiled && logFiled ? 1 : 0;
}

void TreeLayout::Finish() {
  const std::string lsR = root_ + "/ls-R";
  std::map<std::string, std::set<std::string>> added;
  added.swap(added_);
  if (added.empty() || !IsRegularFile(lsR)) return;
  char tail = 0;
  if (std::FILE* in = std::fopen(lsR.c_str(), "rb")) {
    if (std::fseek(in, -1, SEEK_END) == 0) {
      int c = std::fgetc(in);
      if (c != EOF) tail = static_cast<char>(c);
    }
    std::fclose(in);
  }
  const std::string text = LsRAppendix(added, tail);
  std::FILE* out = std::fopen(lsR.c_str(), "ab");
  bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out && std::fclose(out) != 0) written = false;
  if (!written)
    ReportTreeProblem(StringPrintf(TR("%s could not be updated (%s); kpathsea may not find the new "
                                   "fonts until it is rebuilt"),
                                lsR.c_str(), LastErrorText().c_str()));
  else
    ConsolePrintf(LOG_INFO, "%s: %zu folders added", lsR.c_str(), added.size());
}
