#include "ui/term/term_log.h"

#include <cstdio>

#include "deffile/runsettings.h"
#include "ui/term/term_output.h"
#include "ui/text.h"

bool ColourWanted(bool isTerminal, const char* noColor) {
  return isTerminal && !(noColor && *noColor);
}

std::string FormatLogLine(LogKind kind, const std::string& text,
                          const std::tm& local, bool colour) {
  std::string line = StringPrintf("%02d:%02d:%02d ", local.tm_hour,
                                  local.tm_min, local.tm_sec) + text;
  if (!colour) return line + "\n";
  const char* start = kind == LOG_ALERT     ? "\x1b[91m"
                      : kind == LOG_WARNING ? "\x1b[93m"
                                            : "\x1b[96m";
  return start + line + "\x1b[0m\n";
}

std::string TerminalLogText(const std::string& text) {
  // The Windows program's log keeps its specified wording; on a terminal,
  // where --debug shows it to the user, these read as what they mean.
  static const char* const kMended[][2] = {
      {"Thread: Termina request send", TR_NOOP("Thread: progress view closed, master told to stop")},
      {"Master: Recieve Terminate request", TR_NOOP("Master: stop request received")},
  };
  for (const auto& mended : kMended)
    if (text == mended[0]) return TR(mended[1]);
  return text;
}

void TermLogSink::WriteLog(LogKind kind, const std::string& text) {
  if (!debugMode) return;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Output().Print(stderr, FormatLogLine(kind, TerminalLogText(text), local, colour_));
}
