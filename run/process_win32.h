// The Win32 process runner: CreateProcessA with the whole command line
// untouched (the first word names the program, found by the system's search
// rules), the show type in the start-up information, the priority class in
// the creation flags, no inherited handles, and a wait without time limit.
#pragma once

#include <string>

#include "run/process.h"

class Win32ProcessRunner : public ProcessRunner {
 public:
  ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) override;
};
