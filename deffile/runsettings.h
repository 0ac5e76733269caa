// The one record of a run's choices, and the run settings beside it.
// Single process-wide instances, alive until the program ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

// One chosen font set; the list is rebuilt each time Run is pressed.
struct FontSetNode {
  std::string name;                     // the set's name, without its colon
  std::unique_ptr<FontSetNode> next;    // null at the end
};

// A font at a resolution that a document or a font-making log asks for.
struct DocumentFont {
  std::string name;
  int resolution = 0;
};

struct RunSettings {
  std::string mfCommand;        // the MF line's value
  std::string definitionPath;   // full path of the definition file
  std::string modeName;         // chosen METAFONT mode name
  double resolution = 0;        // chosen resolution in dpi; 0 while none
  std::string targetDir;        // "*" when the file gives no usable TARGET_DIR
  // A TeX tree that the fonts go into instead (kiln --texmf); the target
  // directory is then the tree's work folder and TARGET_DIR is not read.
  std::string treeRoot;
  int overwrite = 0;            // 1 = build even when the PK file exists
  std::unique_ptr<FontSetNode> fontSets;
  // Fonts that the documents need (--dvi, --missfont), built after the sets;
  // each font and resolution once.
  std::vector<DocumentFont> documentFonts;
  // The DVI files of the command line that the settings left chosen; the
  // front end turns them into documentFonts.
  std::vector<std::string> documentFiles;
  // Outputs of the job generator for the current job.
  std::string fontPrefix;
  std::string fontName;
  int fontResolution = 0;
};

// Win32 priority class values; the terminal front end maps them to nice values.
constexpr int PRIORITY_REALTIME = 0x100;
constexpr int PRIORITY_HIGH = 0x80;
constexpr int PRIORITY_NORMAL = 0x20;
constexpr int PRIORITY_IDLE = 0x40;

// Trackbar position (0 特急 .. 3 徒歩) to priority class and back (-1 if none).
int PriorityClassForPosition(int position);
int PositionForPriorityClass(int priorityClass);

extern RunSettings runSettings;
extern int errorReaction;   // 'S' stop (default), 'C' confirm, 'I' ignore
extern int debugMode;       // 0 or 1
extern int priorityClass;   // one of the PRIORITY_* values

// Back to the program-start state (tests, and nothing else).
void ResetRunSettings();
