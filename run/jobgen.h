// The METAFONT job generator: one call, one job of a font set, built from the
// font lines of the definition file.
#pragma once

#include <string>
#include <vector>

#include "deffile/runsettings.h"

// CreateProcessA takes at most 32767 characters including the terminating
// NUL, so 32766 is the longest line a child can be given; a longer job is
// refused with a message naming its font line.
constexpr std::size_t kMaxCommandLine = 32766;
constexpr int kMaxFontLineFields = 50;
constexpr double kMagstepBase = 1.2;

// 1: a job is ready (command, settings.fontName, fontPrefix, fontResolution
// set). 0: the set has no further job; the generator and the definition
// reader are reset, so the next call starts a set from its label.
int NextMetafontJob(RunSettings& settings, const std::string& fontSetName,
                    std::string& command);
// The jobs of settings.documentFonts, one per call, as NextMetafontJob
// gives those of a set: 1 with a job, 0 (and back to the first) at the end.
int NextDocumentJob(RunSettings& settings, std::string& command);

// Where the jobs of a run come from: every chosen font set, then the fonts
// of the documents. The batch, its counting pass and the dry run take every
// source alike.
struct JobSource {
  std::string label;        // the set's name, or kDocumentsLabel
  bool documents = false;
};
extern const char* const kDocumentsLabel;  // "documents"
std::vector<JobSource> RunJobSources(const RunSettings& settings);
int NextJob(RunSettings& settings, const JobSource& source, std::string& command);

// METAFONT's mag for resolution at base dpi, exact: "1", "2", "1+189/600"
// (each numeric token below METAFONT's 4096), else a decimal.
std::string MagnificationText(int resolution, int base);

// Half up by the first decimal, after six-decimal formatting.
int RoundResolution(double value);
// Back to the program-start state (tests).
void ResetJobGenerator();
// Fonts passed over because their PK file is there, each font and
// resolution once, since the last ForgetPresentFonts.
int PresentFontCount();
void ForgetPresentFonts();
