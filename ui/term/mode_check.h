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
// it gave none. A mode it does not know gives proof mode's 2602. The answer
// is kept in the user's cache folder, keyed by the MF command, the program
// it starts and its base file (path, size and time of each) and the mode,
// so that the same question costs METAFONT's run once. basePath: the base
// file as kpathsea finds it ("" when unknown: it is looked up).
int AskModeResolution(const std::string& mfCommand, const std::string& modeName,
                      const std::string& basePath = std::string());
// The base file the MF command loads: NAME.base for a word "&NAME", else
// "mf.base".
std::string BaseFileOfCommand(const std::string& mfCommand);
// The cache file of the answers: $XDG_CACHE_HOME/fontkiln/modes, or
// ~/.cache/fontkiln/modes; empty when neither can be named.
std::string ModeCachePath();
constexpr int kProofModeResolution = 2602;

// 1: the batch may start (a match, no answer, or the user goes on);
// 0: the run ends. Honours reaction (errorReaction as the user chose it):
// S ends, C asks, I logs. METAFONT runs in a temporary folder, removed
// after.
int CheckModeResolution(int reaction);
