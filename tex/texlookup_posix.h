// The kpathsea lookups through TeX's own `kpsewhich`, started without a
// shell, many names per process.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tex/texlookup.h"

class KpsewhichLookup : public TexLookup {
 public:
  // program: a path, or a name searched on PATH.
  explicit KpsewhichLookup(std::string program) : program_(std::move(program)) {}

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

 private:
  // kpsewhich's standard output for options + names, in pieces of a bounded
  // number of names; false when it could not be run.
  bool Run(const std::vector<std::string>& options, const std::vector<std::string>& names,
           const std::string& directory, std::vector<std::string>& lines);
  // Several kpsewhich calls (their arguments after the program), a few
  // processes at a time; lines gets each call's output lines.
  bool RunAll(const std::vector<std::vector<std::string>>& calls, const std::string& directory,
              std::vector<std::vector<std::string>>& lines);

  std::string program_;
  std::string sourceDirectory_;
  std::string directory_;
  std::string failure_;
  int processesStarted_ = 0;
};

// The kpsewhich that belongs to the METAFONT that mfCommand starts: the one
// in the same directory as that program (found on PATH as the runner finds
// it), else plain "kpsewhich" on PATH.
std::string KpsewhichFor(const std::string& mfCommand);

// Runs argv (argv[0] searched on PATH) in directory (empty: the current one) with standard input from /dev/null
// and standard error discarded; output gets its standard output. false
// with error set when it could not be started.
bool RunForOutput(const std::vector<std::string>& argv, const std::string& directory,
                  std::string& output, int& exitStatus, std::string& error);
