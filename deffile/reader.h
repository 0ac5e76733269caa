// The definition file: one shared sequential reader and the lookups over it.
// Nothing is cached: every lookup reads the file again through the reader.
// The file is read in binary and the text-mode rules are applied here, so
// that Windows and POSIX builds see exactly the same lines: CR LF reads as
// LF, a Ctrl-Z byte ends the file, and a physical line is handed out in
// pieces of at most kLinePieceBytes bytes.
//
// A file that cannot be opened is fatal (message box, exit status 1),
// wherever the read happens.
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kLinePieceBytes = 1023;

// Reads the next logical line (tabs, CR and LF made blanks, cut at "#",
// trimmed, empty lines skipped) into line. Returns false at the end of the
// file, having closed the reader.
bool ReadDefinitionLine(const std::string& path, std::string& line);
void CloseDefinitionReader();
bool DefinitionReaderIsOpen();

// The reader takes its bytes from a source: the file at the path, as the
// program always does, or a copy of data held in memory for that one path,
// so that a fuzz target or a test can feed very many files without a trip
// through the file system. The rules above apply to both byte for byte. A
// served path is read from memory until ServeDefinitionFromDisk; the open
// reader, if any, is closed by either call.
void ServeDefinitionFromMemory(const std::string& path, const char* data, std::size_t size);
void ServeDefinitionFromDisk();

// Lookups: 1 / 0 results as the reader's table gives them.
int NextMode(const std::string& path, int& resolution, std::string& modeName);
int NextFontSetLabel(const std::string& path, std::string& label);
int FindForce(const std::string& path);
int ReadTargetDir(const std::string& path, std::string& directory);
int ReadMfCommand(const std::string& path, std::string& command);
int ReadErrorReaction(const std::string& path);
// What ReadErrorReaction gives when the header holds an ERROR_REACTION line
// (valid or not), and 0 when it holds none: a caller whose default is not
// 'S' must tell "the file says S" from "the file says nothing".
int ReadErrorReactionLine(const std::string& path);
int FindFontSetLabel(const std::string& path, const std::string& name);

// Header keywords that later versions added. Lines that fit no kind are
// passed over by every lookup above, so a file that uses them still reads
// the same in an older kiln; neither can be taken for a mode line (its first
// word is no number) nor, with the checks below, for a label.
//
// JOBS N: how many fonts may be built at once (0: one per processor).
// kJobsAbsent without a JOBS line before BEGIN_SOURCE, kJobsInvalid when the
// first JOBS line holds no decimal number from 0 to kMaxJobsLine; value
// gives the text found.
constexpr int kJobsAbsent = -1;
constexpr int kJobsInvalid = -2;
constexpr int kMaxJobsLine = 256;
int ReadJobs(const std::string& path, std::string& value);
// TEXMF DIR: the TeX tree the fonts go into. 1 with directory set by the
// first TEXMF line, 0 without one. A value ending in a colon ("D:") would
// make the whole line a font-set label, so it is refused: -1, with
// directory holding the value.
int ReadTexmf(const std::string& path, std::string& directory);

// String routines. SplitFields splits text in place at separator runs:
// fields receives the field texts; the result is their count, or 0 when the
// text holds more than maximum fields (fields then holds the first maximum
// fields, the last running to the end of the text).
int SplitFields(const std::string& text, char separator,
                std::vector<std::string>& fields, int maximum);
int IsAllDigits(std::string_view text);
std::string& ReplaceChar(std::string& text, char find, char replacement);
std::string& TrimBlanks(std::string& text);
