// The kpathsea lookups of the Windows program, through the kpsewhich.exe
// that sits beside the METAFONT program of the MF command. Each call is one
// process started with CreateProcessA (no shell: the names are plain font
// names, checked before they are passed), its standard output read through
// a pipe, many names per process.
#pragma once

#include <string>
#include <vector>

#include "tex/texlookup.h"

class KpsewhichLookup : public TexLookup {
 public:
  // program: the full path of kpsewhich.exe.
  explicit KpsewhichLookup(std::string program) : program_(std::move(program)) {}

  std::vector<std::string> FindFiles(TexFileKind kind,
                                     const std::vector<std::string>& names) override;
  std::vector<std::string> FindPkFiles(const std::vector<std::string>& names,
                                       const std::string& mode, int dpi) override;
  std::string Variable(const std::string& name) override;

  // Where kpsewhich runs (kpathsea searches "." first): sources from the
  // folder METAFONT runs in, everything else from where kiln was started.
  void SetDirectories(const std::string& sources, const std::string& others) {
    sourceDirectory_ = sources;
    directory_ = others;
  }
  // Why the last lookup could not be made; empty when it could.
  const std::string& failure() const { return failure_; }

 private:
  bool Run(const std::vector<std::string>& options, const std::vector<std::string>& names,
           const std::string& directory, std::vector<std::string>& lines);

  std::string program_;
  std::string sourceDirectory_;
  std::string directory_;
  std::string failure_;
};

// The program that a command line starts, as CreateProcessA finds it (a
// quoted first word, or the first word; ".exe" added when it has no suffix;
// the search path of SearchPath otherwise); empty when it is not found.
std::string ProgramOfCommand(const std::string& commandLine);
// kpsewhich.exe in the directory of the MF command's program; empty when
// there is none.
std::string KpsewhichBeside(const std::string& mfCommand);

// Runs commandLine in directory (empty: the current one) with its standard
// output on a pipe (standard input and error on NUL); false with error set
// when it could not be started.
bool RunForOutput(const std::string& commandLine, const std::string& directory,
                  std::string& output, std::string& error);
