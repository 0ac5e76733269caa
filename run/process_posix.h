// The POSIX process runner: the command line is split as a Windows C
// runtime would split it (SplitCommandLine) and started with posix_spawn,
// never through a shell; the program is searched on PATH. The child gets
// /dev/null as standard input (METAFONT would otherwise wait for input when
// its first line goes wrong) and a process group of its own, so that Ctrl-C
// at the terminal reaches kiln and not the child. Priority classes map to
// nice values.
#pragma once

#include <string>

#include "run/process.h"

class PosixProcessRunner : public ProcessRunner {
 public:
  enum class Output {
    Inherit,  // the child writes to kiln's own standard output and error
    Capture,  // the child's output is kept (its last kCapturedBytes bytes)
  };
  static constexpr std::size_t kCapturedBytes = 64 * 1024;

  ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) override;

  void SetOutput(Output output) { output_ = output; }
  Output output() const { return output_; }
  // With Output::Capture: what the last child wrote (stdout and stderr
  // interleaved), cut to its last kCapturedBytes bytes.
  const std::string& LastOutput() const { return lastOutput_; }
  // Set when a priority class could not be had (for example a negative nice
  // value without the privilege); the front end tells the user once.
  const std::string& PriorityWarning() const { return priorityWarning_; }

 private:
  Output output_ = Output::Inherit;
  std::string lastOutput_;
  std::string priorityWarning_;
};

// The nice value a priority class maps to.
int NiceValueForPriorityClass(int priorityClass);
