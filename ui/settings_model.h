// The settings dialog's state and rules, shared by the Win32 dialog and the
// terminal settings screen so that the two cannot drift apart: the initial
// choices, the auto-exec count, Add and Delete, and the checks of Run.
// The lists behave as the dialog's sorted controls do: entries are kept in
// case-insensitive order, and a search finds the first entry that begins
// with the text, ignoring case.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ui/dialogue.h"

extern const char* const kEmptyListText;  // "空っぽです"

struct SettingsModel {
  std::vector<std::string> modes;      // "%ddpi %s", sorted
  std::string modeText;                // the mode box's (editable) text
  std::vector<std::string> available;  // font sets not chosen, sorted
  std::string availableText;           // the available box's text
  std::vector<std::string> selected;   // chosen font sets, sorted
  int selectedIndex = -1;              // selection in the chosen list; -1 none
  bool addEnabled = false;
  bool deleteEnabled = false;
  int overwrite = 0;
  int debug = 0;
  int priorityPosition = 2;            // 0 特急, 1 急行, 2 普通, 3 徒歩
  int reaction = 'S';                  // the checked radio button
  std::string targetDir;               // the directory shown; "." when unusable
  std::string treeRoot;                // the TeX tree the fonts go into, if any
  bool fontSetsOptional = false;       // documents give jobs: no set is needed
  // The documents of the command line (documentArguments), listed among
  // the font sets under their names and chosen from the start: name, path.
  std::vector<std::pair<std::string, std::string>> documents;
  int autoExecErrors = 0;
};

// Case-insensitive comparison used for sorting, as the sorted controls sort.
int CompareListText(const std::string& a, const std::string& b);
// Inserts in sorted position (after equal entries); returns the index.
int InsertSorted(std::vector<std::string>& list, const std::string& text);
// The first entry that begins with text, ignoring case; -1 when none.
int FindListPrefix(const std::vector<std::string>& list, const std::string& text);
// A resolution word or mode text read as atoi reads it (leading white space,
// optional sign, digits up to the first non-digit; 0 without digits), with
// values beyond an int held at its limits.
int ResolutionValue(const std::string& text);

enum class InitResult { Ready, NoModes, NoFontSets };
// Fills the model from the definition file and the command line (argVector),
// counting autoExecErrors, showing the messages of a file without modes,
// without labels, or with an unusable TARGET_DIR (owned by owner). Sets
// runSettings.overwrite and runSettings.targetDir as the dialog does.
InitResult InitSettingsModel(SettingsModel& model, BoxOwner owner);

// The name a document is listed under: its file name, or its whole path
// where another document has the same file name.
std::string DocumentListName(const std::vector<std::string>& paths, std::size_t index);

// Add: moves the available entry at index into the chosen list.
void AddFontSet(SettingsModel& model, int availableIndex);
// The Add button: searches the available list for availableText.
void AddTypedFontSet(SettingsModel& model);
// The Delete button: moves the selected chosen set back.
void DeleteFontSet(SettingsModel& model);
// A click in the chosen list: selects index (-1 or out of range: none) and
// enables Delete exactly when there is a selection.
void SelectFontSet(SettingsModel& model, int index);

// Whether debug mode pauses with a box before the batch starts, the
// Windows program's moment to attach a debugger. The terminal program turns
// it off: its --debug adds log lines, and a box there is a stray line.
extern bool debugPauseBox;

enum class ApplyResult { Run, Stay, Fail };
// Run's checks and writes (mode, target directory, overwrite, font sets,
// error reaction, priority with its question, debug pause), with messages
// owned by owner. Run: the batch may start; Stay: the dialog stays open;
// Fail: end with 0.
ApplyResult ApplySettings(SettingsModel& model, BoxOwner owner);
