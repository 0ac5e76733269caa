// The kpathsea lookups of the Windows program, through the kpsewhich.exe
// that sits beside the METAFONT program of the MF command. Each call is one
// process started with CreateProcessA (no shell: the names are plain font
// names, checked before they are passed), its standard output read through
// a pipe, many names per process and several processes side by side.
#pragma once

#include <string>
#include <vector>

#include "tex/texlookup.h"

class Win32KpsewhichLookup : public KpsewhichLookup {
 public:
  // program: the full path of kpsewhich.exe.
  explicit Win32KpsewhichLookup(std::string program);

 protected:
  // Up to eight processes at a time.
  bool RunCalls(const std::string& program, const std::vector<std::vector<std::string>>& calls,
                const std::string& directory, std::vector<std::string>& outputs,
                std::string& failure) override;
  // Cut at the last '\\', '/' or ':' that is not a trail byte of code page 932.
  std::string BaseName(const std::string& path) const override;
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
