// The example definition file that the program's documentation walks
// through: two modes, set cm of eleven fonts, set logo of two.
#pragma once

inline constexpr const char kExampleDefinition[] =
    "400 nexthi\n"
    "118 bitgraph\n"
    "MF mf \\mode=\n"
    "TARGET_DIR c:/usr/local/lib/texmf/pk\n"
    "ERROR_REACTION S\n"
    "FORCE\n"
    "BEGIN_SOURCE\n"
    "cm:\n"
    "cmr 5 6 7 8 9 10 12 17     # design sizes\n"
    "cmr 10m1 10m2\n"
    "cmbx 10*2\n"
    "logo:\n"
    "logo10 m0.5 *2\n";
