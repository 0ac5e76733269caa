// The process console: a console of the program's own, allocated on the
// first line written in debug mode, which the child processes inherit and
// write into. It carries a unique title, the program's icon, no Close item,
// is disabled for input while the batch runs (a console in selection state
// blocks every write to it, and with it the program), and is docked beneath
// the dialog of the moment.
#pragma once

#include <windows.h>

#include <string>

#include "ui/log.h"

constexpr std::size_t kConsoleLineBytes = 1024;  // one line, NUL included

extern HWND consoleWindow;  // 0 until the console exists

// The log writer of the Win32 program. Lines of both threads are written
// whole: a mutex keeps one line's colour and text from interleaving with
// another's.
class ProcessConsole : public LogSink {
 public:
  void WriteLog(LogKind kind, const std::string& text) override;
};

// Writes what a child process printed, as it printed it, whole and in the
// console's plain colour (the output of children that did not write into
// the console themselves). Does nothing before the console exists.
void WriteProcessOutput(const std::string& bytes);

// Docks the console beneath dialog: showFlags 0 (move only), SWP_SHOWWINDOW
// or SWP_HIDEWINDOW. Does nothing before the console exists.
void DockConsole(HWND dialog, UINT showFlags);

// The first top-level window whose text equals title exactly, or 0. Only
// used where the console's window cannot be had from GetConsoleWindow.
HWND FindWindowByTitle(const std::string& title);
