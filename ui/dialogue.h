// Messages and questions to the user. The core never shows a window or
// calls exit: it asks the front end through UserDialogue (message boxes on
// Win32, standard error and the tty on a terminal, scripted answers in tests).
#pragma once

#include <string>

#include "ui/log.h"

// Box flags and answers carry the Windows API's values, so that the Win32
// front end can pass them through unchanged.
constexpr unsigned BOX_OK = 0x0;
constexpr unsigned BOX_OKCANCEL = 0x1;
constexpr unsigned BOX_ICONERROR = 0x10;
constexpr unsigned BOX_ICONQUESTION = 0x20;
constexpr unsigned BOX_ICONWARNING = 0x30;
constexpr unsigned BOX_ICONINFORMATION = 0x40;
constexpr unsigned BOX_SETFOREGROUND = 0x10000;

constexpr int ANSWER_OK = 1;
constexpr int ANSWER_CANCEL = 2;

// The title almost every box carries; the trailing blank is part of it.
extern const char* const kProductTitle;         // "Fontkiln for WIN32 "
extern const char* const kVersionTitle;         // "Fontkiln for WIN32 Version 3.10"

// An owner window of the front end's own kind; null means no owner.
using BoxOwner = void*;

class UserDialogue {
 public:
  virtual ~UserDialogue() = default;
  // Shows text under title; returns the answer (ANSWER_OK, ANSWER_CANCEL),
  // or 0 when the box could not be shown.
  virtual int ShowMessageBox(BoxOwner owner, const std::string& text,
                             const std::string& title, unsigned flags) = 0;
  // Ends the program at once with the given status (the two fatal failures:
  // an unreadable definition file, a console that cannot be created).
  [[noreturn]] virtual void ExitProgram(int status) = 0;
};

void SetUserDialogue(UserDialogue* dialogue);
UserDialogue& CurrentDialogue();

// MessageBoxA's counterpart: no formatting.
int ShowBox(BoxOwner owner, const std::string& text, const std::string& title,
            unsigned flags);
// Formats without any length limit, then shows the box.
int MessageBoxPrintf(BoxOwner owner, const char* title, unsigned flags,
                     const char* format, ...) KILN_PRINTF(4, 5);
[[noreturn]] void ExitProgram(int status);
