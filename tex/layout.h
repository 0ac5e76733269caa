// Where the files of a built font go: flat in the target directory (the PK
// files there, TFM and log files in "tfm" and "log"), or a TeX tree, where
// every kpathsea program finds them. The batch and the job generator ask the
// current layout; the filing code exists once per layout.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "deffile/runsettings.h"
#include "tex/texlookup.h"

class OutputLayout {
 public:
  virtual ~OutputLayout() = default;
  // Before the first job, in the working directory: the directories that
  // the filing needs.
  virtual void Prepare() = 0;
  // 1 when the PK file of fontName at resolution (or one off) is there
  // already, so that the job is passed over.
  virtual int PkExists(const std::string& fontName, int resolution) = 0;
  // Files what a built job left: its PK file in the working directory, its
  // other files in workDir (a scratch directory there, or empty for the
  // working directory itself). 1 when every file reached its place, 0 when
  // one stayed (it has been reported).
  virtual int FileOutputs(const std::string& fontName, int resolution,
                          const std::string& workDir) = 0;
  // After the last job, however the batch ended.
  virtual void Finish() {}
  // True when the TFM files go into the target directory's "tfm" beside
  // "log"; false when they join the fonts and only "log" is left there.
  virtual bool FilesTfmAside() const { return true; }
  // Where the logs go: "log" in the working directory, or an absolute path.
  virtual std::string LogFolder() const { return "log"; }
};

// The target directory as the definition file describes it.
class FlatLayout : public OutputLayout {
 public:
  void Prepare() override;
  int PkExists(const std::string& fontName, int resolution) override;
  int FileOutputs(const std::string& fontName, int resolution,
                  const std::string& workDir) override;
};

// A TeX tree at root: PK files in fonts/pk/MODE/REL/, TFM files in
// fonts/tfm/REL/ (only when kpathsea does not find that TFM already), REL
// being the folder of the font's METAFONT source below fonts/source, or
// kOutsideTreeRel. Work files and the log folder stay in the working
// directory (kTreeWorkDir below root). Files are moved into place whole, by
// a rename. When root holds an ls-R file, Finish appends the new files.
class TreeLayout : public OutputLayout {
 public:
  TreeLayout(std::string root, std::string mode, CachedTexLookup& lookup)
      : root_(std::move(root)), mode_(std::move(mode)), lookup_(lookup) {}

  void Prepare() override;
  int PkExists(const std::string& fontName, int resolution) override;
  int FileOutputs(const std::string& fontName, int resolution,
                  const std::string& workDir) override;
  void Finish() override;
  bool FilesTfmAside() const override { return false; }
  std::string LogFolder() const override;

  // The folder of the PK files instead of fonts/pk/MODE/REL (an on-demand
  // request's --destdir): an absolute one as it is, a relative one in
  // place of REL.
  void SetPkFolder(std::string folder) { pkFolder_ = std::move(folder); }
  // Where the logs go (absolute), instead of "log" in the working directory.
  void SetLogDirectory(std::string directory) { logDirectory_ = std::move(directory); }
  // Other programs file into the tree at the same time (on-demand
  // requests): only this run's files are added to ls-R, without a walk over
  // the whole tree for files of killed runs (ls-R is read and appended to
  // under a lock on it in any case).
  void SetShared(bool shared) { shared_ = shared; }

  // Asks kpathsea about every font of the list at once (sources, TFM files,
  // PK files grouped by resolution), so that the checks and the filing of
  // a document's jobs start no lookup of their own.
  void Prefetch(const std::vector<DocumentFont>& fonts);
  // REL for fontName, from where kpathsea finds its source.
  std::string SourceFolder(const std::string& fontName);
  std::string PkPath(const std::string& fontName, int resolution);
  // Files placed in the tree so far, relative to root ("fonts/pk/...").
  const std::map<std::string, std::set<std::string>>& added() const { return added_; }

 private:
  // directory: relative to root, or absolute.
  bool MoveIntoTree(const std::string& name, const std::string& directory);
  // The PK files' folder of fontName, relative to root or absolute.
  std::string PkFolder(const std::string& fontName);

  std::string root_;
  std::string mode_;
  std::string pkFolder_;
  std::string logDirectory_;
  bool shared_ = false;
  CachedTexLookup& lookup_;
  std::map<std::string, std::set<std::string>> added_;  // directory -> names
};

// The REL of a source that lies outside any TeX tree's fonts/source.
extern const char* const kOutsideTreeRel;  // "kiln"
// The tree's own folder for kiln's work files and logs.
extern const char* const kTreeWorkDir;     // "kiln"

// REL from the path of a METAFONT source ("/x/fonts/source/public/cm/cmr10.mf"
// gives "public/cm"); kOutsideTreeRel when the path is not below a
// fonts/source folder or its folder names cannot be used.
std::string SourceFolderOf(const std::string& sourcePath);

// Creates path and every missing folder above it; true when it is a
// directory at the end.
bool MakeDirectories(const std::string& path);

// The text appended to an ls-R file for the given new files (directory
// relative to the tree -> names); tail is the last byte of the file as it is
// ('\n' or anything else; 0 for an empty file).
std::string LsRAppendix(const std::map<std::string, std::set<std::string>>& added, char tail);

// The files an ls-R lists below fonts/pk and fonts/tfm, folder (relative
// to the tree, "fonts/pk/ljfour/public/cm") -> names. Fed one line at a
// time; a folder line may be relative ("./fonts/...:") or absolute (below
// root).
class LsRFontEntries {
 public:
  explicit LsRFontEntries(std::string root) : root_(std::move(root)) {}
  void AddLine(const std::string& line);
  bool Lists(const std::string& folder, const std::string& name) const;
  const std::map<std::string, std::set<std::string>>& entries() const { return entries_; }

 private:
  std::string root_;
  std::string folder_;
  bool wanted_ = false;  // folder_ is one whose names are kept
  std::map<std::string, std::set<std::string>> entries_;
};

// A name kiln gives the files it puts into a tree: NAME.DPIpk or NAME.tfm
// (not a dot file, not a partial copy).
bool IsTreeFontFileName(const std::string& name);

// The layout the batch files into; flat until another is set. Not owned.
void SetOutputLayout(OutputLayout* layout);
OutputLayout& CurrentLayout();
