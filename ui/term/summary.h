// The terminal program's summary at the end of a run. It says what the
// specified box says when every chosen font was built, and more where that
// box would mislead: how many fonts failed (each named, with its reason and
// its log), how many were there already, how many the run stopped before,
// and averages in tenths of a second where whole seconds would read 0.
#pragma once

#include <string>

#include "run/sequence.h"

// The text, or "" when no summary is shown: the specified rule, and always
// after a failure or a stop, which an automatic run must not pass over in
// silence, and after a run into a TeX tree, whose files are otherwise found
// nowhere on the screen.
std::string TermSummaryText(const RunSummary& run);
