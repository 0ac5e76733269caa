// The kpathsea lookups through TeX's own `kpsewhich`, started without a
// shell, many names per process.
#pragma once

#include <string>
#include <vector>

#include "tex/texlookup.h"

class PosixKpsewhichLookup : public KpsewhichLookup {
 public:
  // program: a path, or a name searched on PATH.
  explicit PosixKpsewhichLookup(std::string program);

 protected:
  // Up to eight processes at a time, started without a shell.
  bool RunCalls(const std::string& program, const std::vector<std::vector<std::string>>& calls,
                const std::string& directory, std::vector<std::string>& outputs,
                std::string& failure) override;
  std::string BaseName(const std::string& path) const override;
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
