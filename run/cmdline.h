// Command-line state of the run, and the split of the Win32 command tail.
#pragma once

#include <string>
#include <vector>

constexpr int kMaxArgumentWords = 99;

// argVector[0] is always "kiln.exe"; argCount == argVector.size().
extern std::vector<std::string> argVector;
extern int argCount;
extern int autoExecErrors;  // counted by the settings initialisation
extern int execShowMode;    // show type of every child; 1 during a run

// Splits the tail at runs of spaces (only 0x20; no quoting), at most 99
// words; a tail of 100 words or more counts as empty.
void ParseCommandLine(const std::string& tail);
// Sets argVector/argCount from words already split (the POSIX argv).
void SetArgumentWords(const std::vector<std::string>& words);
