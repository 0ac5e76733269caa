#include "run/process.h"

#include "ui/dialogue.h"
#include "ui/log.h"

namespace {
const char* const kLauncherTitle = TR_NOOP("CreateProcess");

bool ShowTypeValid(int showType) {
  if (showType >= 0 && showType <= 2) return true;
  MessageBoxPrintf(nullptr, kLauncherTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                   TR("ExecProcess 関数の第三パラメータに誤りがあります。\n"
                   "完全なソフトウエアバグです。"));
  return false;
}

void LogStarted(const ChildProcess& child) {
  ConsolePrintf(LOG_INFO, "ProcessID %d, ThreadID %d", static_cast<int>(child.processId),
                static_cast<int>(child.threadId));
}

void ShowStartFailure(const std::string& commandLine, unsigned long error) {
  MessageBoxPrintf(nullptr, kLauncherTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                   TR("[%s] は\nError %d(%x) の為起動出来ません。"), commandLine.c_str(),
                   static_cast<int>(error), static_cast<unsigned>(error));
}
}  // namespace

long ProcessRunner::Start(const std::string& commandLine,
                          const std::string& workingDirectory, int showType,
                          int priorityClass,
                          const std::function<void(const ChildProcess&)>& started,
                          unsigned long& error) {
  Ended end;
  end.outcome = RunAndWait(commandLine, workingDirectory, showType, priorityClass, started);
  if (!end.outcome.started) {
    error = end.outcome.error;
    return 0;
  }
  end.ticket = ++lastTicket_;
  ended_.push_back(end);
  return end.ticket;
}

ProcessRunner::Ended ProcessRunner::WaitAny() {
  Ended end;
  if (ended_.empty()) return end;  // nothing started: a caller's slip
  end = ended_.front();
  ended_.pop_front();
  return end;
}

void LogChildEnd(const ChildOutcome& outcome) {
  // Whether the child did its work is judged by the files it leaves; its
  // status is logged so that debug mode shows why a font failed.
  if (outcome.signal != 0)
    ConsolePrintf(LOG_WARNING, "Child ended by signal %d", outcome.signal);
  else if (outcome.exitCode != 0)
    ConsolePrintf(LOG_WARNING, "Child ended with exit code %d (0x%x)", outcome.exitCode,
                  static_cast<unsigned>(outcome.exitCode));
}

long StartProcess(ProcessRunner& runner, const std::string& commandLine,
                  int showType, int creationFlags,
                  const std::string& workingDirectory, unsigned long* startError) {
  if (!ShowTypeValid(showType)) return 0;
  ConsolePrintf(LOG_INFO, "Exec: %s", commandLine.c_str());
  unsigned long error = 0;
  long ticket = runner.Start(commandLine, workingDirectory, showType, creationFlags,
                             LogStarted, error);
  if (ticket == 0) ShowStartFailure(commandLine, error);
  if (ticket == 0 && startError) *startError = error;
  return ticket;
}

int ExecProcess(ProcessRunner& runner, const std::string& commandLine,
                int showType, int creationFlags, const std::string& workingDirectory,
                ChildOutcome* outcome) {
  if (!ShowTypeValid(showType)) return 0;
  ConsolePrintf(LOG_INFO, "Exec: %s", commandLine.c_str());
  ChildOutcome ended = runner.RunAndWait(commandLine, workingDirectory, showType,
                                         creationFlags, LogStarted);
  if (!ended.started) ShowStartFailure(commandLine, ended.error);
  else LogChildEnd(ended);
  const bool ran = ended.started;
  if (outcome) *outcome = std::move(ended);
  return ran ? 1 : 0;
}
