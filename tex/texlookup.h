// TeX's own file lookups (kpathsea), behind one seam: finding a font's
// METAFONT source, its TFM or VF file, a PK file at a mode and resolution,
// and a variable such as TEXMFVAR. No search path is written into kiln.
// Every call takes many names at once, so that a document with hundreds of
// fonts costs a few lookups, not one per font.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Named: the name carries its suffix and kpathsea takes the format from it
// (psfonts.map, cmr10.pfb).
enum class TexFileKind { MetafontSource, Tfm, VirtualFont, Named };

class TexLookup {
 public:
  virtual ~TexLookup() = default;
  // The path found for each name (a font name without suffix), in the order
  // of names; an empty path when there is none.
  virtual std::vector<std::string> FindFiles(TexFileKind kind,
                                             const std::vector<std::string>& names) = 0;
  // The PK file a DVI driver would use for each name at mode and dpi (it may
  // be one or two dpi off), or an empty path.
  virtual std::vector<std::string> FindPkFiles(const std::vector<std::string>& names,
                                               const std::string& mode, int dpi) = 0;
  // FindPkFiles for several resolutions at once (names by resolution); the
  // answers in the same shape. An implementation may ask them side by side.
  virtual std::map<int, std::vector<std::string>> FindPkFilesAt(
      const std::map<int, std::vector<std::string>>& namesByDpi, const std::string& mode) {
    std::map<int, std::vector<std::string>> found;
    for (const auto& group : namesByDpi)
      found[group.first] = FindPkFiles(group.second, mode, group.first);
    return found;
  }
  // The value of a kpathsea variable; empty when it has none.
  virtual std::string Variable(const std::string& name) = 0;
};

// The suffix kpathsea knows the kind by: ".mf", ".tfm", ".vf"; "" for Named.
const char* TexFileSuffix(TexFileKind kind);

// True for a font name that can be handed to a lookup and to METAFONT's
// first line: letters, digits and ". _ + -", not starting with "-" or ".",
// at most 240 bytes. Other names are never looked up (they are not found).
bool IsPlainFontName(const std::string& name);

// The font a PK file's name belongs to: "cmr10.720pk" and "cmr10.pk" (in
// dpi720/) both give "cmr10"; anything else gives "".
std::string PkFontNameOf(std::string fileName);
// True for a font name of the definition file that can become file names
// in the target and an argument of METAFONT and gftopk: not empty, at most
// 240 bytes, not starting with "-" or ".", and no "/", "\\", double quote
// or control character. Wider than a plain name: the file is the user's
// own, and its specified entry rules can leave an asterisk in a name.
bool IsSafeFontFileName(const std::string& name);
// A name or line from a file, fit to be shown: control bytes and bytes above
// 127 as \xNN, cut after 80 bytes with "...", so that a hostile document
// cannot send escape sequences to the user's terminal.
std::string VisibleText(const std::string& text);

// Remembers every answer for the run, so that the same font is asked about
// once however many sets, documents and checks need it; Prefetch asks for
// many names in one call of the lookup below.
class CachedTexLookup : public TexLookup {
 public:
  explicit CachedTexLookup(TexLookup& lookup) : lookup_(lookup) {}
  std::vector<std::string> FindFiles(TexFileKind kind,
                                     const std::vector<std::string>& names) override;
  std::vector<std::string> FindPkFiles(const std::vector<std::string>& names,
                                       const std::string& mode, int dpi) override;
  std::map<int, std::vector<std::string>> FindPkFilesAt(
      const std::map<int, std::vector<std::string>>& namesByDpi,
      const std::string& mode) override;
  std::string Variable(const std::string& name) override;

  std::string FindFile(TexFileKind kind, const std::string& name) {
    return FindFiles(kind, {name})[0];
  }
  std::string FindPkFile(const std::string& name, const std::string& mode, int dpi) {
    return FindPkFiles({name}, mode, dpi)[0];
  }
  // Answers learnt another way (a kpsewhich call that asked for several
  // kinds at once, or a request that kpathsea has just failed): later
  // lookups of them ask nothing.
  void Remember(TexFileKind kind, const std::string& name, const std::string& path) {
    files_[{static_cast<int>(kind), name}] = path;
  }
  void RememberPk(const std::string& name, const std::string& mode, int dpi,
                  const std::string& path) {
    pk_[{mode, dpi}][name] = path;
  }

 private:
  TexLookup& lookup_;
  std::map<std::pair<int, std::string>, std::string> files_;
  std::map<std::pair<std::string, int>, std::map<std::string, std::string>> pk_;
  std::map<std::string, std::string> variables_;
};

// The lookups through TeX's own kpsewhich: many names per call, in calls
// of bounded size, each kind in its own format, and the answers matched to
// the names asked (kpsewhich prints only what it finds). A platform says
// only how to run the program and how to cut a path to its file name.
class KpsewhichLookup : public TexLookup {
 public:
  // What one call may carry after the program: at most `names` names and
  // `bytes` bytes of program and arguments, a blank before each argument.
  struct CallLimits {
    std::size_t names;
    std::size_t bytes;
  };
  KpsewhichLookup(std::string program, CallLimits limits)
      : program_(std::move(program)), limits_(limits) {}

  std::vector<std::string> FindFiles(TexFileKind kind,
                                     const std::vector<std::string>& names) override;
  std::vector<std::string> FindPkFiles(const std::vector<std::string>& names,
                                       const std::string& mode, int dpi) override;
  std::map<int, std::vector<std::string>> FindPkFilesAt(
      const std::map<int, std::vector<std::string>>& namesByDpi,
      const std::string& mode) override;
  std::string Variable(const std::string& name) override;

  const std::string& program() const { return program_; }
  // Where kpsewhich runs, as kpathsea searches "." first: sources are
  // looked for from the folder METAFONT runs in, everything else from where
  // the user started kiln (a driver's "."), not from the work folder that
  // holds METAFONT's fresh TFM files. Empty: kiln's current directory.
  void SetDirectories(const std::string& sources, const std::string& others) {
    sourceDirectory_ = sources;
    directory_ = others;
  }
  // Why the last lookup could not be made (kpsewhich not started); empty
  // when it could. Nothing is found then.
  const std::string& failure() const { return failure_; }
  int processesStarted() const { return processesStarted_; }

 protected:
  // Runs the program once for each call (its arguments after the program)
  // in directory (empty: the current one), several side by side where the
  // platform can; outputs gets each call's standard output. false with
  // failure set when a call could not be started.
  virtual bool RunCalls(const std::string& program,
                        const std::vector<std::vector<std::string>>& calls,
                        const std::string& directory, std::vector<std::string>& outputs,
                        std::string& failure) = 0;
  // The file name of a path that kpsewhich printed.
  virtual std::string BaseName(const std::string& path) const = 0;

 private:
  // Appends the calls that ask options + names, split by the limits (one
  // call for no names).
  void AddCalls(const std::vector<std::string>& options, const std::vector<std::string>& names,
                std::vector<std::vector<std::string>>& calls) const;
  // Each call's output lines; false when kpsewhich could not be run.
  bool Run(const std::vector<std::vector<std::string>>& calls, const std::string& directory,
           std::vector<std::vector<std::string>>& lines);

  std::string program_;
  CallLimits limits_;
  std::string sourceDirectory_;
  std::string directory_;
  std::string failure_;
  int processesStarted_ = 0;
};
