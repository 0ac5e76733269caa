#include "run/process.h"

#include "ui/dialogue.h"
#include "ui/log.h"

namespace {
const char* const kLauncherTitle = TR_NOOP("CreateProcess");
}

int ExecProcess(ProcessRunner& runner, const std::string& commandLine,
                int showType, int creationFlags) {
  if (showType < 0 || showType > 2) {
    MessageBoxPrintf(nullptr, kLauncherTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                     TR("ExecProcess 関数の第三パラメータに誤りがあります。\n"
                     "完全なソフトウエアバグです。"));
    return 0;
  }
  ConsolePrintf(LOG_INFO, "Exec: %s", commandLine.c_str());
  ChildOutcome outcome = runner.RunAndWait(
      commandLine, std::string(), showType, creationFlags,
      [](const ChildProcess& child) {
        ConsolePrintf(LOG_INFO, "ProcessID %d, ThreadID %d",
                      static_cast<int>(child.processId),
                      static_cast<int>(child.threadId));
      });
  if (!outcome.started) {
    MessageBoxPrintf(nullptr, kLauncherTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                     TR("[%s] は\nError %d(%x) の為起動出来ません。"), commandLine.c_str(),
                     static_cast<int>(outcome.error),
                     static_cast<unsigned>(outcome.error));
    return 0;
  }
  // Whether the child did its work is judged by the files it leaves; its
  // status is logged so that debug mode shows why a font failed.
  if (outcome.signal != 0)
    ConsolePrintf(LOG_WARNING, "Child ended by signal %d", outcome.signal);
  else if (outcome.exitCode != 0)
    ConsolePrintf(LOG_WARNING, "Child ended with exit code %d (0x%x)", outcome.exitCode,
                  static_cast<unsigned>(outcome.exitCode));
  return 1;
}
