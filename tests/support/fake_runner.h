// A process runner that behaves like METAFONT and gftopk as far as the batch
// can tell: it leaves the files they would leave in the working directory.
// Per font it can fail in the ways the batch has to meet.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "run/process.h"

class FakeRunner : public ProcessRunner {
 public:
  struct FontBehaviour {
    bool writeNothing = false;  // METAFONT leaves no file at all
    int gfOffset = 0;           // the GF file's resolution is this far off
    bool skipLog = false;       // no NAME.log
    bool skipPk = false;        // gftopk leaves no PK file
    bool shortPk = false;       // gftopk's PK file ends before its postamble
    // METAFONT stops at this error line ("! ..."), printed and in its log,
    // and writes no GF or TFM file; with missingSource the error comes
    // before any file is read, and the log (mfput.log) lacks the line.
    std::string error;
    bool missingSource = false;
    std::string gftopkMessage;  // what gftopk prints when it leaves no PK file
  };

  ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) override;

  // Children started side by side end in the order they were started, but
  // one whose command line contains slowCommand ends only when no other
  // child is left.
  long Start(const std::string& commandLine, const std::string& workingDirectory,
             int showType, int priorityClass,
             const std::function<void(const ChildProcess&)>& started,
             unsigned long& error) override;
  Ended WaitAny() override;
  std::string slowCommand;

  // Resolution of a METAFONT command line as METAFONT computes it from the
  // mode and the magnification; 0 when the line names no mode.
  int ResolutionOf(const std::string& commandLine) const;

  std::map<std::string, int> modeDpi = {
      {"nexthi", 400}, {"bitgraph", 118}, {"cx", 300}, {"ljfour", 600}};
  std::map<std::string, FontBehaviour> fonts;        // by font name
  std::map<std::string, unsigned long> startErrors;  // by program: fails to start
  // Called while a METAFONT job runs, before it writes its files.
  std::function<void(const std::string& commandLine)> duringJob;

  std::vector<std::string> commands;  // every command line, started or not
  std::vector<int> priorities;
  std::vector<int> showTypes;

 private:
  std::deque<std::pair<Ended, bool>> ended_;  // with: it is slow
};
