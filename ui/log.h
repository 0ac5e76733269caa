// The log writer: every part of the program writes its log lines through
// ConsolePrintf. The front end's LogSink decides what becomes of them (the
// Win32 process console, the terminal's standard error, a recorder in tests);
// it also applies the debug-mode rule, since on Win32 a line written while
// debug mode is off still has to hide the console.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "ui/text.h"

#if defined(__clang__)
#define KILN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KILN_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#endif

enum LogKind { LOG_INFO = 0, LOG_WARNING = 1, LOG_ALERT = 2 };

class LogSink {
 public:
  virtual ~LogSink() = default;
  // One formatted line, without time stamp and without the final line break.
  virtual void WriteLog(LogKind kind, const std::string& text) = 0;
};

// Installs the process-wide sink; null drops every line.
void SetLogSink(LogSink* sink);
LogSink* CurrentLogSink();

void ConsolePrintf(LogKind kind, const char* format, ...) KILN_PRINTF(2, 3);

// Bounded formatting into a string of any length.
std::string StringPrintf(const char* format, ...) KILN_PRINTF(1, 2);
std::string StringVPrintf(const char* format, va_list args);
// The lines of a program's output or a file, without their line breaks
// (and a CR before one); empty lines are kept.
std::vector<std::string> TextLines(const std::string& text);
