// The process runner: starts one command line as a child process and waits
// for it. Win32: CreateProcessA with the whole line untouched. POSIX: the
// line split by SplitCommandLine, posix_spawn without a shell, stdin from
// /dev/null. Tests: a fake that leaves files. For several jobs at once a
// runner can also start children without waiting and then wait for
// whichever ends first.
#pragma once

#include <deque>
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
  // What the child wrote (standard output and error), where the runner
  // keeps it; empty otherwise. A failed font's reason is read from it.
  std::string output;
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

  // Starts a child as RunAndWait does but returns once it runs: a ticket
  // above 0 that WaitAny hands back with its outcome. 0 when it could not be
  // started (error: the platform's error number). This default runs the
  // child to its end at once, which is all a runner for one worker needs.
  virtual long Start(const std::string& commandLine,
                     const std::string& workingDirectory, int showType,
                     int priorityClass,
                     const std::function<void(const ChildProcess&)>& started,
                     unsigned long& error);
  struct Ended {
    long ticket = 0;
    ChildOutcome outcome;
  };
  // Waits for whichever started child ends first. Only called while a
  // started child has not been handed back yet.
  virtual Ended WaitAny();
  // The job that ran in workingDirectory has ended (its programs are done
  // and it is filed), just before it is reported: a runner that kept the
  // children's output shows it now, one job's whole at a time.
  virtual void JobEnded(const std::string& /*workingDirectory*/) {}
  // The job that ran in workingDirectory has ended and been reported:
  // whatever the runner kept about its children is no longer needed.
  virtual void ForgetDirectory(const std::string& /*workingDirectory*/) {}

 private:
  std::deque<Ended> ended_;
  long lastTicket_ = 0;
};

// ExecProcess over a runner: checks the show type, logs "Exec: %s" and
// "ProcessID %d, ThreadID %d", reports a start failure with its box titled
// "CreateProcess". 1 = the child ran and ended, 0 = nothing was started.
// outcome, when given, receives how the child ended (or why it did not
// start).
int ExecProcess(ProcessRunner& runner, const std::string& commandLine,
                int showType, int creationFlags,
                const std::string& workingDirectory = std::string(),
                ChildOutcome* outcome = nullptr);
// ExecProcess in two halves, for children that run side by side: the
// checks, the log lines and the start-failure box, returning the runner's
// ticket (0: nothing was started, startError then the platform's error
// number, when given); and the log line of how a child ended.
long StartProcess(ProcessRunner& runner, const std::string& commandLine,
                  int showType, int creationFlags,
                  const std::string& workingDirectory,
                  unsigned long* startError = nullptr);
void LogChildEnd(const ChildOutcome& outcome);
