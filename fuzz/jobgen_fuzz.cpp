// The job generator over a whole definition file: the jobs of its first
// sets, as a batch takes them. Every third job made counts as built at
// once, so a font named again later is passed over as present; the input's
// size chooses the resolution and whether present fonts are built anyway.
// The file is served from memory and the PK files that "exist" are a set
// in memory, so an input costs no file system call.
#include <cstdint>
#include <string>
#include <map>
#include <set>
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
constexpr int kMaxJobsPerSet = 6;
constexpr std::size_t kMaxSets = 2;

// The flat layout's rule (the resolution or one off) over a set in memory.
class MemoryLayout : public OutputLayout {
 public:
  void Prepare() override {}
  int PkExists(const std::string& fontName, int resolution) override {
    auto font = present.find(fontName);
    if (font == present.end()) return 0;
    for (long long r : {0LL + resolution, resolution - 1LL, resolution + 1LL})
      if (font->second.count(r)) return 1;
    return 0;
  }
  int FileOutputs(const std::string&, int, const std::string&) override { return 1; }
  std::map<std::string, std::set<long long>> present;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzDialogue dialogue;
  SetUserDialogue(&dialogue);
  static MemoryLayout layout;
  SetOutputLayout(&layout);
  layout.present.clear();
  ServeFuzzInput("FONTS.DAT", data, size);
  ResetJobGenerator();
  RunSettings settings;
  settings.definitionPath = "FONTS.DAT";
  settings.mfCommand = "mf \\mode=";
  settings.modeName = "ljfour";
  settings.resolution = size % 2 ? 600 : 118;

  static std::vector<std::string> sets;
  sets.clear();
  std::string label;
  while (sets.size() < kMaxSets && NextFontSetLabel(settings.definitionPath, label))
    sets.push_back(label.substr(0, label.size() - 1));
  CloseDefinitionReader();

  settings.overwrite = size % 4 >= 2;
  std::string command;
  for (const auto& set : sets) {
    int jobs = 0;
    while (NextMetafontJob(settings, set, command)) {
      if (command.size() > kMaxCommandLine) __builtin_trap();
      if (jobs % 3 == 0) layout.present[settings.fontName].insert(settings.fontResolution);
      if (++jobs >= kMaxJobsPerSet) {
        // Leave the set half-done as a stopped batch would.
        ResetJobGenerator();
        CloseDefinitionReader();
        break;
      }
    }
  }
  // Free what this input made before returning: libFuzzer takes a run that
  // leaves more blocks than it found for a possible leak, and runs it again
  // under the leak checker.
  ResetJobGenerator();
  layout.present.clear();
  sets.clear();
  return 0;
}
