// The process runner: starts one command line as a child process and waits
// for it. Win32: CreateProcessA with the whole line untouched. POSIX: the
// line split by SplitCommandLine, posix_spawn without a shell, stdin from
// /dev/null. Tests: a fake that leaves files.
#pragma once

#include <functional>
#include <string>

struct ChildProcess {
  long processId = 0;
  long threadId = 0;
};

struct ChildOutcome {
  bool started = false;
  unsigned long error = 0;    // the platform's error number when not started
  int exitCode = 0;           // when it ran and exited
  int signal = 0;             // POSIX: the signal that ended it, else 0
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Runs commandLine in workingDirectory (empty: the current directory) with
  // a show type (0 minimised, 1 normal, 2 detached; the caller has checked
  // it) and a priority class (PRIORITY_*). started() is called once the child
  // runs, before the wait. Returns when the child has ended, or at once when
  // it could not be started.
  virtual ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) = 0;
};

// ExecProcess over a runner: checks the show type, logs "Exec: %s" and
// "ProcessID %d, ThreadID %d", reports a start failure with its box titled
// "CreateProcess". 1 = the child ran and ended, 0 = nothing was started.
int ExecProcess(ProcessRunner& runner, const std::string& commandLine,
                int showType, int creationFlags);
