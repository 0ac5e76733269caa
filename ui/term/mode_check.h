// Before the first font of a real run: METAFONT, started through the
// definition file's MF command, is asked for the resolution of the run's
// mode and the answer is compared with the mode line. A mode METAFONT does
// not know falls back, silently, to proof mode at 2602 dpi, and every font
// built in it would be useless.
#pragma once

#include <string>

#include "run/process.h"

// The command line that asks: the MF value, the mode name, then
// "; mode_setup; message decimal round pixels_per_inch; end.".
std::string ModeQuestionCommand(const std::string& mfCommand, const std::string& modeName);
// The resolution METAFONT printed (the last line that is a number alone);
// 0 when there is none.
int ModeAnswer(const std::string& output);
// The report of a mismatch, naming the mode line and both resolutions.
std::string ModeMismatchText(int lineResolution, const std::string& modeName, int answer);

// METAFONT's resolution for the mode (run in a temporary folder); 0 when
// it gave none. A mode it does not know gives proof mode's 2602.
int AskModeResolution(const std::string& mfCommand, const std::string& modeName);
constexpr int kProofModeResolution = 2602;

// 1: the batch may start (a match, no answer, or the user goes on);
// 0: the run ends. Honours reaction (errorReaction as the user chose it):
// S ends, C asks, I logs. METAFONT runs in a temporary folder, removed
// after.
int CheckModeResolution(int reaction);
