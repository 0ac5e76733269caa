// The job generator over a whole definition file: every job of every set,
// once with no PK file present and once more after some were made, with and
// without overwrite.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "fuzz/fuzz_support.h"
#include "run/filesys.h"
#include "run/jobgen.h"

namespace {
// Bounds the work per input: a file can name very many jobs.
constexpr int kMaxJobsPerSet = 2000;

void RemovePkFiles(const std::vector<std::string>& made) {
  for (const auto& name : made) RemoveFile(name);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzDialogue dialogue;
  SetUserDialogue(&dialogue);
  WriteFuzzFile("FONTS.DAT", data, size);
  ResetJobGenerator();
  CloseDefinitionReader();
  RunSettings settings;
  settings.definitionPath = "FONTS.DAT";
  settings.mfCommand = "mf \\mode=";
  settings.modeName = "ljfour";
  settings.resolution = size % 2 ? 600 : 118;

  std::vector<std::string> sets;
  std::string label;
  while (NextFontSetLabel(settings.definitionPath, label) && sets.size() < 20)
    sets.push_back(label.substr(0, label.size() - 1));
  CloseDefinitionReader();

  std::vector<std::string> made;
  for (int pass = 0; pass < 3; ++pass) {
    settings.overwrite = pass == 2;
    for (const auto& set : sets) {
      std::string command;
      int jobs = 0;
      while (NextMetafontJob(settings, set, command)) {
        if (command.size() > kMaxCommandLine) __builtin_trap();
        if (pass == 0 && jobs % 3 == 0 && settings.fontName.size() < 200 &&
            settings.fontName.find('/') == std::string::npos) {
          std::string pk = settings.fontName + "." +
                           std::to_string(settings.fontResolution) + "pk";
          if (FILE* file = std::fopen(pk.c_str(), "wb")) {
            std::fclose(file);
            made.push_back(pk);
          }
        }
        if (++jobs >= kMaxJobsPerSet) {
          // Leave the set half-done as a stopped batch would.
          ResetJobGenerator();
          CloseDefinitionReader();
          break;
        }
      }
    }
  }
  RemovePkFiles(made);
  return 0;
}
