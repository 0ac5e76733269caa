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

// Documents on the Win32 command line: dropping a DVI file on the program
// (or on a shortcut to it) passes its path, in double quotes when it holds
// a blank. Every word of tail, or quoted stretch, whose path ends in ".dvi"
// (any case) and for which isDocument holds is taken out of tail and
// returned, in order; the rest of tail is left to ParseCommandLine. A tail
// without such a word is returned unchanged, byte for byte.
std::vector<std::string> TakeDocumentWords(std::string& tail,
                                           bool (*isDocument)(const std::string& path));
// The documents of the command line (full paths as given), set by the
// front end before the settings; they count with the font-set words.
extern std::vector<std::string> documentArguments;
