#include "ui/term/mode_check.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "deffile/runsettings.h"
#include "run/filesys.h"
#include "run/process_posix.h"
#include "ui/dialogue.h"
#include "ui/log.h"

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

}  // namespace

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

int AskModeResolution(const std::string& mfCommand, const std::string& modeName) {
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
  return outcome.started ? ModeAnswer(runner.LastOutput()) : 0;
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
