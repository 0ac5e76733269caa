#include "support/fake_runner.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

// The value of "key=" or "key:=" up to the next semicolon.
std::string ValueAfter(const std::string& line, const std::string& key) {
  for (const std::string& form : {key + "=", key + ":="}) {
    std::size_t at = line.find(form);
    if (at == std::string::npos) continue;
    std::size_t begin = at + form.size();
    std::size_t end = line.find(';', begin);
    return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  return std::string();
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string InDirectory(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : directory + "/" + name;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

long FakeRunner::Start(const std::string& commandLine, const std::string& workingDirectory,
                       int showType, int priorityClass,
                       const std::function<void(const ChildProcess&)>& started,
                       unsigned long& error) {
  long ticket = ProcessRunner::Start(commandLine, workingDirectory, showType, priorityClass,
                                     started, error);
  if (ticket == 0) return 0;
  // The default runs the child at once and hands it straight back; the
  // order the children end in is this runner's to choose.
  bool slow = !slowCommand.empty() && commandLine.find(slowCommand) != std::string::npos;
  ended_.emplace_back(ProcessRunner::WaitAny(), slow);
  return ticket;
}

ProcessRunner::Ended FakeRunner::WaitAny() {
  if (ended_.empty()) return Ended();
  auto next = ended_.begin();
  while (next != ended_.end() && next->second) ++next;
  if (next == ended_.end()) next = ended_.begin();
  Ended end = next->first;
  ended_.erase(next);
  return end;
}

int FakeRunner::ResolutionOf(const std::string& commandLine) const {
  auto mode = modeDpi.find(Trimmed(ValueAfter(commandLine, "mode")));
  // METAFONT falls back to proof mode for a mode it does not know.
  double dpi = mode == modeDpi.end() ? 2601.72 : mode->second;
  std::string mag = Trimmed(ValueAfter(commandLine, "mag"));
  double factor = 1;
  if (mag.compare(0, 7, "magstep") == 0)
    factor = std::pow(1.2, std::atof(mag.c_str() + 7));
  else if (!mag.empty())
    factor = std::atof(mag.c_str());
  return static_cast<int>(std::floor(dpi * factor + 0.5));
}

ChildOutcome FakeRunner::RunAndWait(
    const std::string& commandLine, const std::string& workingDirectory,
    int showType, int priorityClass,
    const std::function<void(const ChildProcess&)>& started) {
  commands.push_back(commandLine);
  priorities.push_back(priorityClass);
  showTypes.push_back(showType);
  ChildOutcome outcome;
  std::string program = commandLine.substr(0, commandLine.find(' '));
  auto error = startErrors.find(program);
  if (error != startErrors.end()) {
    outcome.error = error->second;
    return outcome;
  }
  outcome.started = true;
  if (started) started(ChildProcess{static_cast<long>(1000 + commands.size()), 1});

  if (program == "gftopk") {
    // gftopk NAME.Ngf NAME.Npk
    std::size_t gfBegin = commandLine.find(' ') + 1;
    std::size_t pkBegin = commandLine.find(' ', gfBegin) + 1;
    std::string gf = commandLine.substr(gfBegin, pkBegin - 1 - gfBegin);
    std::string pk = commandLine.substr(pkBegin);
    std::string font = gf.substr(0, gf.find('.'));
    if (!FileExists(InDirectory(workingDirectory, gf)) || fonts[font].skipPk) {
      outcome.exitCode = 1;
      outcome.output = fonts[font].gftopkMessage;
      return outcome;
    }
    // A short one: the preamble (no comment) and no postamble, as a full
    // disk leaves it.
    WriteFile(InDirectory(workingDirectory, pk),
              fonts[font].shortPk ? std::string("\xf7\x59\x00", 3) : "PK " + pk);
    return outcome;
  }

  std::string font = Trimmed(commandLine.substr(commandLine.rfind("input ") + 6));
  if (duringJob) duringJob(commandLine);
  const FontBehaviour& behaviour = fonts[font];
  if (behaviour.writeNothing) {
    outcome.exitCode = 1;
    return outcome;
  }
  if (!behaviour.error.empty()) {
    const std::string log = behaviour.missingSource ? "mfput.log" : font + ".log";
    outcome.exitCode = 1;
    outcome.output = "This is METAFONT\n" + behaviour.error + "\n! Emergency stop.\n" +
                     "Transcript written on " + log + ".\n";
    WriteFile(InDirectory(workingDirectory, log),
              "**" + commandLine + "\n" + (behaviour.missingSource ? "" : behaviour.error + "\n") +
                  "! Emergency stop.\n");
    return outcome;
  }
  int resolution = ResolutionOf(commandLine) + behaviour.gfOffset;
  WriteFile(InDirectory(workingDirectory, font + "." + std::to_string(resolution) + "gf"),
            "GF " + font);
  WriteFile(InDirectory(workingDirectory, font + ".tfm"), "TFM " + font);
  if (!behaviour.skipLog)
    WriteFile(InDirectory(workingDirectory, font + ".log"), "This is METAFONT, " + commandLine);
  return outcome;
}
