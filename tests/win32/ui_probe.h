// Looking at and operating the windows of another process, as the Wine test
// driver needs it: the dialogs and message boxes of kiln.exe are top-level
// windows of class #32770 belonging to its process id. Every call that goes to
// the other process uses a timeout, so a stuck program cannot hang the tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace probe {

enum class Kind { Settings, Progress, Install, Version, Box, Other };

const char* KindName(Kind kind);

// Visible top-level dialogs (#32770) of the process, topmost first.
std::vector<HWND> Dialogs(DWORD pid);
Kind KindOf(HWND dialog);

std::string Title(HWND window);
// WM_GETTEXT across processes; GetWindowText returns nothing for a control
// of another process.
std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
bool SetItemText(HWND dialog, int id, const std::string& text);
// A message box's text is its static control 0xFFFF.
std::string BoxText(HWND box);

std::vector<std::string> ComboItems(HWND combo);
std::vector<std::string> ListItems(HWND list);
// LRESULT of a message sent with a timeout; `fallback` when it timed out.
LRESULT Query(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT fallback = -1);
LRESULT QueryItem(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);

// Posted, not sent: a command that opens a modal box would otherwise block
// the driver until somebody answers it.
void Press(HWND dialog, int id);
void PostSysCommand(HWND dialog, WPARAM command);

// One line describing each visible dialog of the process, for failure output.
std::string Describe(DWORD pid);

// The screen area of the windows, saved as a 24-bit BMP file.
bool SaveScreenArea(const std::vector<HWND>& windows, const std::string& path);

// Line breaks shown as \n, so that a text fits one line of the log.
std::string Escaped(const std::string& text);
// CP932 bytes (the program's and this driver's narrow texts) as UTF-8.
std::string Utf8(const std::string& text);

}  // namespace probe
