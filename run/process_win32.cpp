#include "run/process_win32.h"

#include <windows.h>

#include <vector>

ChildOutcome Win32ProcessRunner::RunAndWait(
    const std::string& commandLine, const std::string& workingDirectory,
    int showType, int priorityClass,
    const std::function<void(const ChildProcess&)>& started) {
  ChildOutcome outcome;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  DWORD addedFlags = 0;
  switch (showType) {
    case 0:
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = SW_SHOWMINIMIZED;
      break;
    case 1:
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = SW_SHOWNORMAL;
      break;
    case 2:
      addedFlags = DETACHED_PROCESS;
      break;
    default:
      outcome.error = ERROR_INVALID_PARAMETER;
      return outcome;
  }

  // CreateProcessA may write into the command line, so it gets a private,
  // writable copy of whatever length the line has.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');

  PROCESS_INFORMATION process = {};
  BOOL created = CreateProcessA(
      nullptr, line.data(), nullptr, nullptr, FALSE,
      static_cast<DWORD>(priorityClass) | addedFlags, nullptr,
      workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
      &process);
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
