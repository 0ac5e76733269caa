// The METAFONT job generator: one call, one job of a font set, built from the
// font lines of the definition file.
#pragma once

#include <string>

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
// Half up by the first decimal, after six-decimal formatting.
int RoundResolution(double value);
// Back to the program-start state (tests).
void ResetJobGenerator();
