// Recording and scripted stand-ins for the front end's seams, shared by the
// core's tests.
#pragma once

#include <ctime>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/dialogue.h"
#include "ui/log.h"
#include "ui/progress.h"

struct LoggedLine {
  LogKind kind;
  std::string text;
};

// Records every log line; installs itself for its lifetime.
class RecordingLog : public LogSink {
 public:
  RecordingLog();
  ~RecordingLog() override;
  void WriteLog(LogKind kind, const std::string& text) override;
  std::vector<std::string> Texts() const;
  bool Contains(const std::string& text) const;
  std::vector<LoggedLine> lines;
};

struct ShownBox {
  BoxOwner owner;
  std::string text;
  std::string title;
  unsigned flags;
};

// Thrown by ScriptedDialogue::ExitProgram so tests can see the exit.
struct ProgramExit : std::runtime_error {
  explicit ProgramExit(int s) : std::runtime_error("exit"), status(s) {}
  int status;
};

// Records every box; answers questions from a script (OK when it runs out),
// and plain boxes with OK. Installs itself for its lifetime.
class ScriptedDialogue : public UserDialogue {
 public:
  ScriptedDialogue();
  ~ScriptedDialogue() override;
  int ShowMessageBox(BoxOwner owner, const std::string& text,
                     const std::string& title, unsigned flags) override;
  [[noreturn]] void ExitProgram(int status) override;
  std::deque<int> answers;
  std::vector<ShownBox> boxes;
};

class RecordingProgress : public ProgressView {
 public:
  void SetRange(int upper) override;
  void SetPosition(int position) override;
  void SetStateLine(const std::string& text) override;
  void SetCommandLine(const std::string& text) override;
  void SetTimeLine(const std::string& text) override;
  int range = -1;
  std::vector<int> positions;
  std::vector<std::string> stateLines, commandLines, timeLines;
};

// A scratch directory, made the current directory for the test's lifetime.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& path() const { return path_; }
  // Writes a file (relative to the scratch directory) with the given bytes.
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
  std::string saved_;
};

// A calendar time at the given local hour, minute and second of one day, so
// that time texts can be checked whatever the time zone.
std::time_t LocalTime(int hour, int minute, int second);
