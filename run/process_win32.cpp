#include "run/process_win32.h"

#include <windows.h>

#include <vector>

namespace {

// The start-up information and added creation flags of a show type; false
// for a type that does not exist.
bool PrepareStartup(int showType, STARTUPINFOA& startup, DWORD& addedFlags) {
  startup = STARTUPINFOA();
  startup.cb = sizeof startup;
  addedFlags = 0;
  switch (showType) {
    case 0:
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = SW_SHOWMINIMIZED;
      return true;
    case 1:
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = SW_SHOWNORMAL;
      return true;
    case 2:
      addedFlags = DETACHED_PROCESS;
      return true;
    default:
      return false;
  }
}

// CreateProcessA may write into the command line, so it gets a private,
// writable copy of whatever length the line has.
std::vector<char> WritableLine(const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  return line;
}

const char* DirectoryOrNull(const std::string& directory) {
  return directory.empty() ? nullptr : directory.c_str();
}

}  // namespace

Win32ProcessRunner::~Win32ProcessRunner() {
  for (Child& child : running_) {
    CloseHandle(child.process);
    CloseHandle(child.pipe);
  }
}

ChildOutcome Win32ProcessRunner::RunAndWait(
    const std::string& commandLine, const std::string& workingDirectory,
    int showType, int priorityClass,
    const std::function<void(const ChildProcess&)>& started) {
  ChildOutcome outcome;
  STARTUPINFOA startup;
  DWORD addedFlags = 0;
  if (!PrepareStartup(showType, startup, addedFlags)) {
    outcome.error = ERROR_INVALID_PARAMETER;
    return outcome;
  }
  std::vector<char> line = WritableLine(commandLine);
  PROCESS_INFORMATION process = {};
  BOOL created = CreateProcessA(
      nullptr, line.data(), nullptr, nullptr, FALSE,
      static_cast<DWORD>(priorityClass) | addedFlags, nullptr,
      DirectoryOrNull(workingDirectory), &startup, &process);
  if (!created) {
    outcome.error = GetLastError();
    return outcome;
  }
  outcome.started = true;
  WaitForInputIdle(process.hProcess, INFINITE);
  if (started) {
    ChildProcess child;
    child.processId = static_cast<long>(process.dwProcessId);
    child.threadId = static_cast<long>(process.dwThreadId);
    started(child);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process.hProcess, &exitCode))
    outcome.exitCode = static_cast<int>(exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return outcome;
}

long Win32ProcessRunner::Start(const std::string& commandLine,
                               const std::string& workingDirectory, int showType,
                               int priorityClass,
                               const std::function<void(const ChildProcess&)>& started,
                               unsigned long& error) {
  STARTUPINFOA startup;
  DWORD addedFlags = 0;
  if (!PrepareStartup(showType, startup, addedFlags)) {
    error = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (static_cast<int>(running_.size()) >= kMaxChildren) {
    error = ERROR_TOO_MANY_OPEN_FILES;
    return 0;
  }
  // Only the master thread starts children, and the parent's copies of the
  // inheritable ends are closed right after the start: no other child can
  // inherit this one's pipe and keep it open.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 64 * 1024)) {
    error = GetLastError();
    return 0;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = input == INVALID_HANDLE_VALUE ? nullptr : input;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::vector<char> line = WritableLine(commandLine);
  PROCESS_INFORMATION process = {};
  BOOL created = CreateProcessA(
      nullptr, line.data(), nullptr, nullptr, TRUE,
      static_cast<DWORD>(priorityClass) | addedFlags, nullptr,
      DirectoryOrNull(workingDirectory), &startup, &process);
  DWORD createError = created ? 0 : GetLastError();
  CloseHandle(writeEnd);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (!created) {
    CloseHandle(readEnd);
    error = createError;
    return 0;
  }
  CloseHandle(process.hThread);
  if (started) {
    ChildProcess child;
    child.processId = static_cast<long>(process.dwProcessId);
    child.threadId = static_cast<long>(process.dwThreadId);
    started(child);
  }
  Child child;
  child.ticket = ++lastTicket_;
  child.process = process.hProcess;
  child.pipe = readEnd;
  child.directory = workingDirectory;
  running_.push_back(child);
  return child.ticket;
}

// Takes what the pipe holds now, without waiting: a grandchild that keeps
// the pipe open must not hold up the batch.
void Win32ProcessRunner::Drain(Child& child) {
  std::string& kept = output_[child.directory];
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(child.pipe, nullptr, 0, nullptr, &available, nullptr) ||
        available == 0)
      return;
    DWORD read = 0;
    DWORD wanted = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
    if (!ReadFile(child.pipe, buffer, wanted, &read, nullptr) || read == 0) return;
    if (kept.size() < kKeptOutputBytes)
      kept.append(buffer, read < kKeptOutputBytes - kept.size() ? read
                                                                : kKeptOutputBytes - kept.size());
  }
}

ProcessRunner::Ended Win32ProcessRunner::WaitAny() {
  Ended ended;
  if (running_.empty()) return ended;  // nothing started: a caller's slip
  std::vector<HANDLE> handles;
  for (;;) {
    // The pipes are emptied while the children run, so that none of them
    // blocks on a full one.
    for (Child& child : running_) Drain(child);
    handles.clear();
    for (const Child& child : running_) handles.push_back(child.process);
    DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                          FALSE, 20);
    if (result == WAIT_TIMEOUT) continue;
    if (result >= WAIT_OBJECT_0 + handles.size()) return ended;  // ticket 0: lost track
    std::size_t index = result - WAIT_OBJECT_0;
    Child child = running_[index];
    running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(index));
    Drain(child);
    ended.ticket = child.ticket;
    ended.outcome.started = true;
    DWORD exitCode = 0;
    if (GetExitCodeProcess(child.process, &exitCode))
      ended.outcome.exitCode = static_cast<int>(exitCode);
    CloseHandle(child.process);
    CloseHandle(child.pipe);
    return ended;
  }
}

void Win32ProcessRunner::JobEnded(const std::string& workingDirectory) {
  auto kept = output_.find(workingDirectory);
  if (kept == output_.end()) return;
  std::string text = std::move(kept->second);
  output_.erase(kept);
  if (text.size() >= kKeptOutputBytes) text += "\r\n[...]\r\n";
  if (writer_ && !text.empty()) writer_(text);
}
