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
#include <map>

#include "run/argsplit.h"
#include "run/process_posix.h"
#include "ui/log.h"

namespace {

// Far below any system's argument limit, even with long names.
constexpr std::size_t kNamesPerProcess = 1000;
constexpr std::size_t kProcessesAtOnce = 8;

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The font a PK file found by kpsewhich belongs to: "cmr10.720pk" and
// "dpi720/cmr10.pk" both give "cmr10".
std::string PkFontName(const std::string& path) { return PkFontNameOf(BaseName(path)); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::string& line : TextLines(text))
    if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace

namespace {

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

bool KpsewhichLookup::RunAll(const std::vector<std::vector<std::string>>& calls,
                             const std::string& directory,
                             std::vector<std::vector<std::string>>& lines) {
  lines.assign(calls.size(), std::vector<std::string>());
  failure_.clear();
  // Several at a time: most of a lookup's time is kpathsea reading its
  // databases and searching, which the processes do side by side.
  for (std::size_t first = 0; first < calls.size(); first += kProcessesAtOnce) {
    std::vector<Started> children;
    std::size_t last = std::min(calls.size(), first + kProcessesAtOnce);
    for (std::size_t i = first; i < last; ++i) {
      std::vector<std::string> argv{program_};
      argv.insert(argv.end(), calls[i].begin(), calls[i].end());
      Started child;
      std::string error;
      if (!StartForOutput(argv, directory, child, error)) {
        failure_ = error;
        for (Started& started : children) {
          std::string ignored;
          int status = 0;
          FinishForOutput(started, ignored, status);
        }
        return false;
      }
      ++processesStarted_;
      children.push_back(child);
    }
    for (std::size_t i = first; i < last; ++i) {
      std::string output;
      int status = 0;
      // Exit status 1 only says that some name was not found.
      FinishForOutput(children[i - first], output, status);
      lines[i] = SplitLines(output);
    }
  }
  return true;
}

bool KpsewhichLookup::Run(const std::vector<std::string>& options,
                          const std::vector<std::string>& names,
                          const std::string& directory, std::vector<std::string>& lines) {
  std::vector<std::vector<std::string>> calls;
  std::size_t first = 0;
  do {
    std::vector<std::string> call = options;
    for (std::size_t i = first; i < names.size() && i < first + kNamesPerProcess; ++i)
      call.push_back(names[i]);
    calls.push_back(call);
    first += kNamesPerProcess;
  } while (first < names.size());
  std::vector<std::vector<std::string>> outputs;
  lines.clear();
  if (!RunAll(calls, directory, outputs)) return false;
  for (const std::vector<std::string>& output : outputs)
    lines.insert(lines.end(), output.begin(), output.end());
  return true;
}

std::vector<std::string> KpsewhichLookup::FindFiles(TexFileKind kind,
                                                    const std::vector<std::string>& names) {
  std::vector<std::string> paths(names.size());
  const std::vector<std::string> asked = PlainNames(names);
  if (asked.empty()) return paths;
  // The format is named: kpsewhich does not take every suffix for its
  // format (NAME.vf is not searched as a virtual font).
  std::vector<std::string> options;
  if (kind == TexFileKind::MetafontSource) options.push_back("-format=mf");
  if (kind == TexFileKind::Tfm) options.push_back("-format=tfm");
  if (kind == TexFileKind::VirtualFont) options.push_back("-format=vf");
  std::vector<std::string> lines;
  const std::string& directory =
      kind == TexFileKind::MetafontSource ? sourceDirectory_ : directory_;
  if (!Run(options, asked, directory, lines)) return paths;
  // kpsewhich prints only what it finds; the file's own name tells which.
  return MatchFoundFiles(kind, names, lines, BaseName);
}

std::vector<std::string> KpsewhichLookup::FindPkFiles(const std::vector<std::string>& names,
                                                      const std::string& mode, int dpi) {
  std::vector<std::string> paths(names.size());
  const std::vector<std::string> asked = PlainNames(names);
  if (asked.empty() || dpi <= 0 || !IsPlainFontName(mode)) return paths;
  std::vector<std::string> lines;
  if (!Run({"-format=pk", "-mode=" + mode, "-dpi=" + std::to_string(dpi)}, asked, directory_,
           lines))
    return paths;
  return MatchFoundPkFiles(names, lines, BaseName);
}

std::map<int, std::vector<std::string>> KpsewhichLookup::FindPkFilesAt(
    const std::map<int, std::vector<std::string>>& namesByDpi, const std::string& mode) {
  std::map<int, std::vector<std::string>> found;
  std::vector<std::vector<std::string>> calls;
  std::vector<int> callDpi;
  for (const auto& group : namesByDpi) {
    found[group.first].assign(group.second.size(), std::string());
    std::vector<std::string> asked;
    for (const std::string& name : group.second)
      if (IsPlainFontName(name)) asked.push_back(name);
    if (asked.empty() || group.first <= 0 || !IsPlainFontName(mode)) continue;
    for (std::size_t first = 0; first < asked.size(); first += kNamesPerProcess) {
      std::vector<std::string> call{"-format=pk", "-mode=" + mode,
                                    "-dpi=" + std::to_string(group.first)};
      for (std::size_t i = first; i < asked.size() && i < first + kNamesPerProcess; ++i)
        call.push_back(asked[i]);
      calls.push_back(call);
      callDpi.push_back(group.first);
    }
  }
  std::vector<std::vector<std::string>> outputs;
  if (calls.empty() || !RunAll(calls, directory_, outputs)) return found;
  std::map<int, std::map<std::string, std::string>> byName;
  for (std::size_t i = 0; i < outputs.size(); ++i)
    for (const std::string& line : outputs[i]) byName[callDpi[i]].emplace(PkFontName(line), line);
  for (const auto& group : namesByDpi) {
    const std::map<std::string, std::string>& paths = byName[group.first];
    for (std::size_t i = 0; i < group.second.size(); ++i) {
      auto path = paths.find(group.second[i]);
      if (path != paths.end() && !group.second[i].empty()) found[group.first][i] = path->second;
    }
  }
  return found;
}

std::string KpsewhichLookup::Variable(const std::string& name) {
  if (!IsPlainFontName(name)) return std::string();
  std::vector<std::string> lines;
  if (!Run({"-var-value=" + name}, {}, directory_, lines) || lines.empty())
    return std::string();
  return lines[0];
}
