#include "ui/term/mode_check.h"

#include "deffile/runsettings.h"
#include "run/filesys.h"
#include "run/process_posix.h"
#include "ui/dialogue.h"
#include "ui/log.h"

namespace {

// METAFONT's by-products of the question ("mfput" is its job name when the
// first line names no file).
const char* const kScratchFolder = "kiln-mode-check";
const char* const kByProducts[] = {"mfput.log", "mfput.tfm"};

}  // namespace

std::string ModeQuestionCommand(const std::string& mfCommand, const std::string& modeName) {
  return mfCommand + modeName + "; mode_setup; message decimal round pixels_per_inch; end.";
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
      "The mode line \"%d %s\" does not fit METAFONT: it gives mode %s %d dpi, not %d.\n"
      "(METAFONT uses proof mode, 2602 dpi, for a mode it does not know.)",
      lineResolution, modeName.c_str(), modeName.c_str(), answer, lineResolution);
}

int CheckModeResolution(const std::string& directory) {
  const int lineResolution = static_cast<int>(runSettings.resolution);
  const std::string command = ModeQuestionCommand(runSettings.mfCommand, runSettings.modeName);
  const std::string scratch = directory + "/" + kScratchFolder;
  MakeDirectory(scratch);
  const bool inScratch = DirectoryStatus(scratch) == 1;

  PosixProcessRunner runner;
  runner.SetOutput(PosixProcessRunner::Output::Capture);
  ConsolePrintf(LOG_INFO, "Mode check: %s", command.c_str());
  ChildOutcome outcome =
      runner.RunAndWait(command, inScratch ? scratch : directory, 1, PRIORITY_NORMAL, nullptr);
  if (inScratch) {
    for (const char* name : kByProducts) RemoveFile(scratch + "/" + name);
    RemoveFile(scratch);  // only when empty
  }
  int answer = outcome.started ? ModeAnswer(runner.LastOutput()) : 0;
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
  if (errorReaction == 'I') {
    ConsolePrintf(LOG_ALERT, "%s", text.c_str());
    return 1;
  }
  if (errorReaction == 'C') {
    return ShowBox(nullptr, text + "\nBuild the fonts all the same?", kProductTitle,
                   BOX_OKCANCEL | BOX_ICONQUESTION | BOX_SETFOREGROUND) == ANSWER_OK;
  }
  ShowBox(nullptr, text + "\nThe run ends; no font is built.", kProductTitle,
          BOX_ICONERROR | BOX_SETFOREGROUND);
  return 0;
}
