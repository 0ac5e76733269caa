// The POSIX process runner: the command line is split as a Windows C
// runtime would split it (SplitCommandLine) and started by StartChild,
// never through a shell; the program is searched on PATH. The child gets
// /dev/null as standard input (METAFONT would otherwise wait for input when
// its first line goes wrong) and a process group of its own, so that Ctrl-C
// at the terminal reaches kiln and not the child. Priority classes map to
// nice values.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "run/process.h"

// How StartChild sets up a child.
struct ChildSetup {
  int outputFd = -1;            // standard output and error; -1: kiln's own
  bool quietErrors = false;     // standard error to /dev/null instead
  // A process group of its own, with the terminal's signals blocked (a
  // program of the batch); else kiln's group and nothing blocked (a lookup).
  bool ownProcessGroup = true;
};
// Starts argv (argv[0] searched on PATH, no shell) in directory (empty:
// kiln's own) with /dev/null as standard input, no descriptor of kiln's
// above 2 but the directory lock's, and default signal actions; on Linux it
// is killed when kiln ends (process_posix.cpp says how). 0 with pid, or the
// errno of the step that failed, the exec's included.
int StartChild(char* const* argv, const std::string& directory, const ChildSetup& setup,
               pid_t& pid);

class PosixProcessRunner : public ProcessRunner {
 public:
  enum class Output {
    Inherit,  // the child writes to kiln's own standard output and error
    Capture,  // the child's output is kept (its last kCapturedBytes bytes)
  };
  static constexpr std::size_t kCapturedBytes = 64 * 1024;

  ~PosixProcessRunner() override;
  ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) override;
  long Start(const std::string& commandLine, const std::string& workingDirectory,
             int showType, int priorityClass,
             const std::function<void(const ChildProcess&)>& started,
             unsigned long& error) override;
  // After WaitAny, LastOutput() is the output of the child handed back.
  Ended WaitAny() override;

  void SetOutput(Output output) { output_ = output; }
  Output output() const { return output_; }
  // With Output::Capture: what the last child wrote (stdout and stderr
  // interleaved), cut to its last kCapturedBytes bytes.
  const std::string& LastOutput() const { return lastOutput_; }
  // Set when a priority class could not be had (for example a negative nice
  // value without the privilege); the front end tells the user once.
  const std::string& PriorityWarning() const { return priorityWarning_; }

 private:
  struct Child {
    long ticket = 0;
    long pid = -1;
    int fd = -1;        // the read end of its output pipe (Capture)
    bool open = true;   // the pipe has not ended yet
    std::string output;
  };
  // 0 or the errno of the failed step; pid and the pipe's read end (or -1).
  int Spawn(const std::string& commandLine, const std::string& workingDirectory,
            int priorityClass, long& pid, int& readFd);
  Ended Finish(std::size_t index, int status);

  Output output_ = Output::Inherit;
  std::vector<Child> running_;
  long lastTicket_ = 0;
  std::string lastOutput_;
  std::string priorityWarning_;
};

// A plain file that this process may execute.
bool IsExecutableFile(const std::string& path);
// The program a child of that name is started from: a name with a slash as
// it is, any other the first executable file of that name on PATH (an
// empty entry: the current directory); empty when there is none.
std::string ProgramOnPath(const std::string& program);

// The nice value a priority class maps to.
int NiceValueForPriorityClass(int priorityClass);
