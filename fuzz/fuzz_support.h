// Shared pieces of the fuzz targets: a dialogue that never waits or exits,
// and a scratch directory to stand in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/dialogue.h"

class FuzzDialogue : public UserDialogue {
 public:
  int ShowMessageBox(BoxOwner, const std::string&, const std::string&,
                     unsigned flags) override {
    return (flags & BOX_OKCANCEL) ? ANSWER_CANCEL : ANSWER_OK;
  }
  [[noreturn]] void ExitProgram(int) override { __builtin_trap(); }
};

// A private scratch directory, made the current directory once per process.
const std::string& FuzzDirectory();
