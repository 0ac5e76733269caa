#include "tex/texlookup_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <utility>

#include "run/argsplit.h"
#include "run/process_posix.h"
#include "ui/log.h"

namespace {

// Far below any system's argument limit, even with long names.
constexpr std::size_t kNamesPerProcess = 1000;
constexpr std::size_t kArgumentBytes = 128 * 1024;
constexpr std::size_t kProcessesAtOnce = 8;

struct Started {
  pid_t pid = -1;
  int fd = -1;
};

// Starts argv with its standard output on a pipe; false with error set.
bool StartForOutput(const std::vector<std::string>& argv, const std::string& directory,
                    Started& child, std::string& error) {
  if (argv.empty()) {
    error = TR("no program");
    return false;
  }
  int fds[2];
  if (pipe(fds) != 0) {
    error = std::strerror(errno);
    return false;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  std::vector<std::string> words = argv;
  std::vector<char*> args;
  for (std::string& word : words) args.push_back(&word[0]);
  args.push_back(nullptr);

  // A lookup stays in kiln's process group, and dies with kiln too.
  ChildSetup setup;
  setup.outputFd = fds[1];
  setup.quietErrors = true;
  setup.ownProcessGroup = false;
  pid_t pid = -1;
  int rc = StartChild(args.data(), directory, setup, pid);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    error = argv[0] + ": " + std::strerror(rc);
    return false;
  }
  child.pid = pid;
  child.fd = fds[0];
  return true;
}

// Reads the child's output to its end and waits for it.
void FinishForOutput(Started& child, std::string& output, int& exitStatus) {
  output.clear();
  char chunk[8192];
  for (;;) {
    ssize_t n = read(child.fd, chunk, sizeof chunk);
    if (n > 0) {
      output.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(child.fd);
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

bool RunForOutput(const std::vector<std::string>& argv, const std::string& directory,
                  std::string& output, int& exitStatus, std::string& error) {
  output.clear();
  exitStatus = -1;
  Started child;
  if (!StartForOutput(argv, directory, child, error)) return false;
  FinishForOutput(child, output, exitStatus);
  return true;
}

std::string KpsewhichFor(const std::string& mfCommand) {
  const std::string fallback = "kpsewhich";
  std::vector<std::string> words = SplitCommandLine(mfCommand);
  if (words.empty() || words[0].empty()) return fallback;
  // The directory the runner starts the METAFONT program from.
  const std::string program = ProgramOnPath(words[0]);
  if (program.empty()) return fallback;
  const std::string candidate = program.substr(0, program.rfind('/')) + "/kpsewhich";
  return IsExecutableFile(candidate) ? candidate : fallback;
}

PosixKpsewhichLookup::PosixKpsewhichLookup(std::string program)
    : KpsewhichLookup(std::move(program), {kNamesPerProcess, kArgumentBytes}) {}

bool PosixKpsewhichLookup::RunCalls(const std::string& program,
                                    const std::vector<std::vector<std::string>>& calls,
                                    const std::string& directory,
                                    std::vector<std::string>& outputs, std::string& failure) {
  outputs.assign(calls.size(), std::string());
  // Several at a time: most of a lookup's time is kpathsea reading its
  // databases and searching, which the processes do side by side.
  for (std::size_t first = 0; first < calls.size(); first += kProcessesAtOnce) {
    std::vector<Started> children;
    std::size_t last = std::min(calls.size(), first + kProcessesAtOnce);
    for (std::size_t i = first; i < last; ++i) {
      std::vector<std::string> argv{program};
      argv.insert(argv.end(), calls[i].begin(), calls[i].end());
      Started child;
      if (!StartForOutput(argv, directory, child, failure)) {
        for (Started& started : children) {
          std::string ignored;
          int status = 0;
          FinishForOutput(started, ignored, status);
        }
        return false;
      }
      children.push_back(child);
    }
    for (std::size_t i = first; i < last; ++i) {
      int status = 0;
      // Exit status 1 only says that some name was not found.
      FinishForOutput(children[i - first], outputs[i], status);
    }
  }
  return true;
}

std::string PosixKpsewhichLookup::BaseName(const std::string& path) const {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
