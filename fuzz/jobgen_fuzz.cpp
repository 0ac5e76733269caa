// The job generator over a whole definition file: every job of every set,
// once with no PK file present and once more after some were made, with and
// without overwrite. The file is served from memory and the PK files that
// "exist" are a set in memory, so an input costs no file system call.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "fuzz/fuzz_support.h"
#include "run/jobgen.h"
#include "tex/layout.h"

namespace {
// Bounds the work per input: a file can name very many jobs, and every job
// takes the same path through the generator; more sets and jobs would only
// slow the run down.
constexpr int kMaxJobsPerSet = 32;
constexpr std::size_t kMaxSets = 8;

// The flat layout's rule (the resolution or one off) over a set in memory.
class MemoryLayout : public OutputLayout {
 public:
  void Prepare() override {}
  int PkExists(const std::string& fontName, int resolution) override {
    for (long long r : {0LL + resolution, resolution - 1LL, resolution + 1LL})
      if (present.count(Key(fontName, r))) return 1;
    return 0;
  }
  int FileOutputs(const std::string&, int, const std::string&) override { return 1; }
  static std::string Key(const std::string& fontName, long long resolution) {
    return fontName + '\n' + std::to_string(resolution);
  }
  std::unordered_set<std::string> present;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzDialogue dialogue;
  SetUserDialogue(&dialogue);
  static MemoryLayout layout;
  SetOutputLayout(&layout);
  layout.present.clear();
  ServeDefinitionFromMemory("FONTS.DAT", reinterpret_cast<const char*>(data), size);
  ResetJobGenerator();
  RunSettings settings;
  settings.definitionPath = "FONTS.DAT";
  settings.mfCommand = "mf \\mode=";
  settings.modeName = "ljfour";
  settings.resolution = size % 2 ? 600 : 118;

  std::vector<std::string> sets;
  std::string label;
  while (NextFontSetLabel(settings.definitionPath, label) && sets.size() < kMaxSets)
    sets.push_back(label.substr(0, label.size() - 1));
  CloseDefinitionReader();

  for (int pass = 0; pass < 3; ++pass) {
    settings.overwrite = pass == 2;
    for (const auto& set : sets) {
      std::string command;
      int jobs = 0;
      while (NextMetafontJob(settings, set, command)) {
        if (command.size() > kMaxCommandLine) __builtin_trap();
        if (pass == 0 && jobs % 3 == 0)
          layout.present.insert(MemoryLayout::Key(settings.fontName, settings.fontResolution));
        if (++jobs >= kMaxJobsPerSet) {
          // Leave the set half-done as a stopped batch would.
          ResetJobGenerator();
          CloseDefinitionReader();
          break;
        }
      }
    }
  }
  return 0;
}
