#include "ui/term/mode_check.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "deffile/runsettings.h"
#include "run/argsplit.h"
#include "run/filesys.h"
#include "run/process_posix.h"
#include "tex/layout.h"
#include "tex/texlookup_posix.h"
#include "ui/dialogue.h"
#include "ui/log.h"
#include "ui/term/paths.h"

namespace {

// METAFONT answers in a temporary folder of its own, outside the target
// directory: the question leaves by-products ("mfput.log" and the like),
// and the target directory must hold nothing but fonts and what kiln files.
std::string MakeScratchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kiln-mode-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) return std::string();
  return name.data();
}

// The folder and whatever METAFONT left in it (plain files only).
void RemoveScratchFolder(const std::string& folder) {
  if (DIR* dir = opendir(folder.c_str())) {
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) unlink((folder + "/" + name).c_str());
  }
  rmdir(folder.c_str());
}

// Enough for every mode of every METAFONT a user has; the oldest go first.
constexpr std::size_t kCachedAnswers = 200;

// A file as it is now: a changed or replaced file gives another text.
std::string FileIdentity(const std::string& path) {
  struct stat status;
  if (path.empty() || stat(path.c_str(), &status) != 0) return "-";
  // Seconds only, which every system has; a file rewritten within one
  // second keeps its time but rarely its inode, size and change time too.
  return StringPrintf("%s:%lld:%lld:%lld:%llu", path.c_str(),
                      static_cast<long long>(status.st_size),
                      static_cast<long long>(status.st_mtime),
                      static_cast<long long>(status.st_ctime),
                      static_cast<unsigned long long>(status.st_ino));
}

// The line's key: every field without tabs or line breaks.
std::string CacheKey(const std::vector<std::string>& fields) {
  std::string key;
  for (std::string field : fields) {
    for (char& c : field)
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    key += (key.empty() ? "" : "\t") + field;
  }
  return key;
}

std::vector<std::string> ReadCacheLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// The answer kept for key, 0 when there is none.
int CachedAnswer(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines)
    if (line.size() > key.size() + 1 && line.compare(0, key.size(), key) == 0 &&
        line[key.size()] == '\t')
      return std::atoi(line.c_str() + key.size() + 1);
  return 0;
}

// Writes the answer beside the others, through a temporary file renamed
// into place: a reader meanwhile sees the old file or the new one. A cache
// that cannot be written costs the next run a METAFONT question, nothing else.
void KeepAnswer(const std::string& path, const std::string& key, int answer) {
  std::vector<std::string> lines = ReadCacheLines(path);
  std::vector<std::string> kept;
  for (const std::string& line : lines)
    if (line.compare(0, key.size() + 1, key + "\t") != 0) kept.push_back(line);
  while (kept.size() >= kCachedAnswers) kept.erase(kept.begin());
  kept.push_back(key + "\t" + std::to_string(answer));
  const std::string folder = path.substr(0, path.rfind('/'));
  if (!MakeDirectories(folder)) return;
  std::string pattern = folder + "/.modes-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return;
  std::string text;
  for (const std::string& line : kept) text += line + "\n";
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (close(fd) != 0) written = false;
  if (!written || rename(name.data(), path.c_str()) != 0) unlink(name.data());
}

// The program the MF command starts, as the runner finds it.
std::string ProgramOfCommand(const std::string& mfCommand) {
  std::vector<std::string> words = SplitCommandLine(mfCommand);
  return words.empty() ? std::string() : ProgramOnPath(words[0]);
}

// The base file through the kpsewhich beside the program; "" when none.
std::string FindBaseFile(const std::string& mfCommand) {
  std::string output, error;
  int status = 0;
  if (!RunForOutput({KpsewhichFor(mfCommand), "-engine=metafont",
                     BaseFileOfCommand(mfCommand)},
                    std::string(), output, status, error))
    return std::string();
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output.find('\n') == std::string::npos ? output : std::string();
}

}  // namespace

std::string BaseFileOfCommand(const std::string& mfCommand) {
  for (const std::string& word : SplitCommandLine(mfCommand))
    if (word.size() > 1 && word[0] == '&' && IsPlainFontName(word.substr(1)))
      return word.substr(1) + ".base";
  return "mf.base";
}

std::string ModeCachePath() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return std::string(cache) + "/fontkiln/modes";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.cache/fontkiln/modes";
  return std::string();
}

std::string ModeQuestionCommand(const std::string& mfCommand, const std::string& modeName) {
  return mfCommand + modeName + NOTR("; mode_setup; message decimal round pixels_per_inch; end.");
}

int ModeAnswer(const std::string& output) {
  int answer = 0;
  std::size_t start = 0;
  while (start <= output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    bool number = !line.empty() && line.size() <= 9;
    for (char c : line) number = number && c >= '0' && c <= '9';
    if (number) answer = std::stoi(line);
    start = end + 1;
  }
  return answer;
}

std::string ModeMismatchText(int lineResolution, const std::string& modeName, int answer) {
  return StringPrintf(
      TR("The mode line \"%d %s\" does not fit METAFONT: in mode %s it prints at\n"
         "%d dpi, not %d. (METAFONT uses proof mode, 2602 dpi, for a mode it does not know.)"),
      lineResolution, modeName.c_str(), modeName.c_str(), answer, lineResolution);
}

int AskModeResolution(const std::string& mfCommand, const std::string& modeName,
                      const std::string& basePath) {
  const std::string cache = ModeCachePath();
  const std::string key =
      CacheKey({mfCommand, FileIdentity(ProgramOfCommand(mfCommand)),
                FileIdentity(basePath.empty() ? FindBaseFile(mfCommand) : basePath), modeName});
  if (!cache.empty()) {
    int kept = CachedAnswer(ReadCacheLines(cache), key);
    if (kept > 0) {
      ConsolePrintf(LOG_INFO, "Mode check: %s is %d dpi (kept in %s)", modeName.c_str(), kept,
                    cache.c_str());
      return kept;
    }
  }
  const std::string command = ModeQuestionCommand(mfCommand, modeName);
  const std::string scratch = MakeScratchFolder();
  if (scratch.empty()) {
    ConsolePrintf(LOG_WARNING, "Mode check: no temporary folder (%s); not checked",
                  LastErrorText().c_str());
    return 0;
  }
  PosixProcessRunner runner;
  runner.SetOutput(PosixProcessRunner::Output::Capture);
  ConsolePrintf(LOG_INFO, "Mode check: %s", command.c_str());
  ChildOutcome outcome = runner.RunAndWait(command, scratch, 1, PRIORITY_NORMAL, nullptr);
  RemoveScratchFolder(scratch);
  const int answer = outcome.started ? ModeAnswer(runner.LastOutput()) : 0;
  if (answer > 0 && !cache.empty()) KeepAnswer(cache, key, answer);
  return answer;
}

int CheckModeResolution(int reaction) {
  const int lineResolution = static_cast<int>(runSettings.resolution);
  int answer = AskModeResolution(runSettings.mfCommand, runSettings.modeName);
  if (answer == 0) {
    // The batch itself reports a METAFONT that does not run.
    ConsolePrintf(LOG_WARNING, "Mode check: no resolution from METAFONT for mode %s",
                  runSettings.modeName.c_str());
    return 1;
  }
  if (answer == lineResolution) {
    ConsolePrintf(LOG_INFO, "Mode check: %s is %d dpi", runSettings.modeName.c_str(), answer);
    return 1;
  }
  const std::string text = ModeMismatchText(lineResolution, runSettings.modeName, answer);
  if (reaction == 'I') {
    ConsolePrintf(LOG_ALERT, "%s", text.c_str());
    return 1;
  }
  if (reaction == 'C') {
    return ShowBox(nullptr, text + TR("\nBuild the fonts all the same?"), kProductTitle,
                   BOX_OKCANCEL | BOX_ICONQUESTION | BOX_SETFOREGROUND) == ANSWER_OK;
  }
  ShowBox(nullptr, text + TR("\nThe run ends; no font is built."), kProductTitle,
          BOX_ICONERROR | BOX_SETFOREGROUND);
  return 0;
}
