// The Win32 program's UserDialogue: message boxes, with the BOX_* flags
// passed through unchanged (they carry the MB_* values) and the owner a
// window handle.
#pragma once

#include "ui/dialogue.h"

class MessageBoxDialogue : public UserDialogue {
 public:
  int ShowMessageBox(BoxOwner owner, const std::string& text,
                     const std::string& title, unsigned flags) override;
  [[noreturn]] void ExitProgram(int status) override;
};
