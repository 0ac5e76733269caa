#include "support/fakes.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "run/filesys.h"

namespace fs = std::filesystem;

RecordingLog::RecordingLog() { SetLogSink(this); }
RecordingLog::~RecordingLog() { SetLogSink(nullptr); }

void RecordingLog::WriteLog(LogKind kind, const std::string& text) {
  lines.push_back({kind, text});
}

std::vector<std::string> RecordingLog::Texts() const {
  std::vector<std::string> texts;
  for (const auto& line : lines) texts.push_back(line.text);
  return texts;
}

bool RecordingLog::Contains(const std::string& text) const {
  for (const auto& line : lines)
    if (line.text == text) return true;
  return false;
}

ScriptedDialogue::ScriptedDialogue() { SetUserDialogue(this); }
ScriptedDialogue::~ScriptedDialogue() { SetUserDialogue(nullptr); }

int ScriptedDialogue::ShowMessageBox(BoxOwner owner, const std::string& text,
                                     const std::string& title, unsigned flags) {
  boxes.push_back({owner, text, title, flags});
  if ((flags & BOX_OKCANCEL) && !answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return ANSWER_OK;
}

void ScriptedDialogue::ExitProgram(int status) { throw ProgramExit(status); }

void RecordingProgress::SetRange(int upper) { range = upper; }
void RecordingProgress::SetPosition(int position) { positions.push_back(position); }
void RecordingProgress::SetStateLine(const std::string& text) { stateLines.push_back(text); }
void RecordingProgress::SetCommandLine(const std::string& text) { commandLines.push_back(text); }
void RecordingProgress::SetTimeLine(const std::string& text) { timeLines.push_back(text); }

ScratchDirectory::ScratchDirectory() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << "kiln-test-" << stamp << "-" << counter++;
  fs::path dir = fs::temp_directory_path() / name.str();
  fs::create_directories(dir);
  path_ = dir.string();
  saved_ = CurrentDirectory();
  ChangeDirectory(path_);
}

ScratchDirectory::~ScratchDirectory() {
  ChangeDirectory(saved_);
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void ScratchDirectory::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(fs::path(path_) / name, std::ios::binary);
  out << bytes;
}

std::string ScratchDirectory::Read(const std::string& name) const {
  std::ifstream in(fs::path(path_) / name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::time_t LocalTime(int hour, int minute, int second) {
  std::tm local = {};
  local.tm_year = 2024 - 1900;
  local.tm_mday = 15;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}
