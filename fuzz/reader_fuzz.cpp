// Every lookup of the definition reader over the same input, in the order
// the program uses them, plus interleavings that continue a half-read file.
// The input is served from memory: the reading rules are the file's.
#include <cstdint>
#include <string>

#include "deffile/reader.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzDialogue dialogue;
  SetUserDialogue(&dialogue);
  // TARGET_DIR lines are looked up relative to the scratch directory.
  FuzzDirectory();
  const std::string path = "FONTS.DAT";
  ServeFuzzInput(path, data, size);

  CloseDefinitionReader();
  int resolution = 0;
  std::string text;
  while (NextMode(path, resolution, text)) {
  }
  while (NextFontSetLabel(path, text)) {
    std::string name = text.substr(0, text.size() - 1);
    // Look the label up again, as the settings and the generator do.
    CloseDefinitionReader();
    FindFontSetLabel(path, name);
    CloseDefinitionReader();
    break;
  }
  CloseDefinitionReader();
  FindForce(path);
  std::string directory;
  ReadTargetDir(path, directory);
  ReadMfCommand(path, text);
  ReadErrorReaction(path);
  // Continue a lookup from a half-read file.
  ReadDefinitionLine(path, text);
  NextFontSetLabel(path, text);
  CloseDefinitionReader();
  CloseDefinitionReader();

  // Kept between inputs, as the reader keeps its own: only the routines'
  // work is measured, not fresh allocations.
  static std::vector<std::string> fields;
  static std::string line;
  line.assign(reinterpret_cast<const char*>(data), size);
  for (int maximum : {1, 3, 50}) SplitFields(line, ' ', fields, maximum);
  IsAllDigits(line);
  TrimBlanks(ReplaceChar(line, '\t', ' '));
  return 0;
}
