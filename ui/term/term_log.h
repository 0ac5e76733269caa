// The log writer of the terminal program: the process console becomes
// standard error. Lines are written only in debug mode, time-stamped, and
// coloured by kind when standard error is a terminal and NO_COLOR is unset.
#pragma once

#include <ctime>
#include <string>

#include "ui/log.h"

// Colour is wanted on a terminal unless NO_COLOR holds a non-empty value.
bool ColourWanted(bool isTerminal, const char* noColor);

// The terminal's wording of a log text (two specified ones are misspelt).
std::string TerminalLogText(const std::string& text);

// "%02d:%02d:%02d text\n", in the kind's colour when colour is set
// (bright cyan, bright yellow, bright red; the colour is reset after it).
std::string FormatLogLine(LogKind kind, const std::string& text,
                          const std::tm& local, bool colour);

class TermLogSink : public LogSink {
 public:
  explicit TermLogSink(bool colour) : colour_(colour) {}
  void WriteLog(LogKind kind, const std::string& text) override;

 private:
  bool colour_;
};
