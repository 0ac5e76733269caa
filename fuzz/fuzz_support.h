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

// Serves the input as the definition file at path, from memory. With
// KILN_FUZZ_FROM_DISK set, the input is written to that file in the scratch
// directory and read from there instead, as a run of the program reads it:
// the benchmark's comparison.
void ServeFuzzInput(const std::string& path, const uint8_t* data, std::size_t size);
