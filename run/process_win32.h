// The Win32 process runner: CreateProcessA with the whole command line
// untouched (the first word names the program, found by the system's search
// rules), the show type in the start-up information, the priority class in
// the creation flags, and a wait without time limit. RunAndWait passes no
// handles: the child writes into the process console it inherits.
//
// Children started side by side (Start, WaitAny) would write into that one
// console at once, their lines mixed. So each writes into a pipe of its own
// instead, and the output of a job's programs is kept by the job's working
// directory until the job has ended, when JobEnded hands it whole to the
// output writer.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "run/process.h"

class Win32ProcessRunner : public ProcessRunner {
 public:
  // A job's output is kept up to this many bytes; the rest is cut.
  static constexpr std::size_t kKeptOutputBytes = 1024 * 1024;
  // WaitForMultipleObjects' limit: no more children run side by side.
  static constexpr int kMaxChildren = 64;

  ~Win32ProcessRunner() override;
  ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) override;
  long Start(const std::string& commandLine, const std::string& workingDirectory,
             int showType, int priorityClass,
             const std::function<void(const ChildProcess&)>& started,
             unsigned long& error) override;
  Ended WaitAny() override;
  void JobEnded(const std::string& workingDirectory) override;

  // Where a job's output goes when it has ended (the process console).
  void SetOutputWriter(std::function<void(const std::string&)> writer) {
    writer_ = std::move(writer);
  }

 private:
  struct Child {
    long ticket = 0;
    void* process = nullptr;  // HANDLE
    void* pipe = nullptr;     // the read end of its output pipe
    std::string directory;
  };
  void Drain(Child& child);

  std::vector<Child> running_;
  std::map<std::string, std::string> output_;  // by working directory
  std::function<void(const std::string&)> writer_;
  long lastTicket_ = 0;
};
