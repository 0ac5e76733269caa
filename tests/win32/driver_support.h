// The Wine test driver's frame: named cases with checks that count failures,
// a scratch directory per case with its definition file and target directory,
// kiln.exe started and watched with timeouts, the registry value, the files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui_probe.h"

namespace driver {

struct Options {
  std::string kiln;      // path of kiln.exe
  std::string standins;  // directory holding mf.exe and gftopk.exe
  std::string tex;       // the Windows TeX programs (bin\, web2c\) of
                         // scripts/windows-tex.sh; empty: their cases fail
  std::string reference; // the PK files the terminal program built for them
  std::string path;      // PATH as the driver was started with it
  std::string scratch;   // root of the cases' scratch directories
  std::string caseDir;   // when set, every case works here instead (a user's
                         // own directory such as C:\texmf, for screenshots)
  std::string shots;     // screenshots go here when set
  std::string only;      // comma-separated case names; empty: all
};
extern Options options;

// Thrown by REQUIRE and by waits that time out: ends the case, whose clean-up
// then kills kiln.exe if it still runs.
struct Abort {};

struct Case {
  std::string name;
  std::string dir;         // scratch directory, kiln.exe's current directory
  std::string target;      // dir\pk, the definition file's TARGET_DIR
  std::string definition;  // dir\FONTS.DAT
  std::string record;      // the stand-ins' record file
  PROCESS_INFORMATION process{};
  int failures = 0;
};

void Fail(Case& c, const char* file, int line, const char* format, ...);

#define CHECK(c, cond) \
  ((cond) ? true : (::driver::Fail((c), __FILE__, __LINE__, "%s", #cond), false))
#define REQUIRE(c, cond)                                        \
  do {                                                          \
    if (!(cond)) {                                              \
      ::driver::Fail((c), __FILE__, __LINE__, "%s", #cond);     \
      throw ::driver::Abort();                                  \
    }                                                           \
  } while (0)
// Texts compare byte for byte (both sides CP932); '#' in the expected text
// stands for a run of decimal digits.
#define CHECK_TEXT(c, expected, actual) \
  ::driver::CheckText((c), __FILE__, __LINE__, #actual, (expected), (actual))
#define CHECK_LIST(c, expected, actual) \
  ::driver::CheckList((c), __FILE__, __LINE__, #actual, (expected), (actual))
#define CHECK_INT(c, expected, actual) \
  ::driver::CheckInt((c), __FILE__, __LINE__, #actual, (expected), (actual))

bool Matches(const std::string& pattern, const std::string& text);
bool CheckText(Case& c, const char* file, int line, const char* what, const std::string& expected,
               const std::string& actual);
bool CheckList(Case& c, const char* file, int line, const char* what,
               const std::vector<std::string>& expected, const std::vector<std::string>& actual);
bool CheckInt(Case& c, const char* file, int line, const char* what, long long expected,
              long long actual);

// --- scratch files
bool FileExists(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
std::vector<std::string> ListFiles(const std::string& dir);  // plain files, sorted
void RemoveTree(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
// The whole file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& bytes);
// Stand-in record lines, without the "|directory" tail, that begin with `prefix`.
std::vector<std::string> RecordLines(Case& c, const std::string& prefix);
// The directories the stand-ins ran in.
std::vector<std::string> RecordDirectories(Case& c);

// Creates the case's directory, its target directory and the definition file
// (modes 400 nexthi, 118 bitgraph, 300 cx; "MF mf \mode="; TARGET_DIR, the
// target unless `targetDir` names another; `header` lines; then BEGIN_SOURCE
// and `sets`), records it in the registry and clears the stand-ins' controls.
void Prepare(Case& c, const std::string& header, const std::string& sets,
             const char* targetDir = nullptr);
void SetControl(const char* name, const std::string& value);
// Prepare for the real METAFONT, gftopk and kpsewhich of options.tex: mode
// line 600 ljfour, their bin folder on the PATH instead of the stand-ins,
// TEXMFCNF their web2c folder; with --case-dir, TeX's main tree read as
// C:\texlive\2022\texmf-dist when the prefix has it.
void PrepareReal(Case& c, const std::string& header, const std::string& sets,
                 const char* targetDir = nullptr);

// --- registry: HKCU\Software\Fontkiln\kiln, value DataFilePath
extern const char* const kProgramKey;
extern const char* const kVendorKey;
bool WriteDataFilePath(const std::string& path);
bool ReadDataFilePath(std::string* path);
bool KeyExists(const char* key);
void DeleteProgramKey();

// --- kiln.exe
// Starts kiln.exe with the command tail in the case's directory. Without
// `attached` it has no console, as when started from the desktop.
void Start(Case& c, const std::string& tail, bool attached = false);
bool Running(Case& c);
// Waits for a dialog of the given kind; fails the case on timeout or when
// kiln.exe ends first.
HWND WaitForAt(const char* file, int line, Case& c, probe::Kind kind, int timeoutMs = 15000);
#define WaitFor(...) WaitForAt(__FILE__, __LINE__, __VA_ARGS__)
// Waits for a message box, checks title and text (patterns), answers it with
// the button id and waits until it is gone.
HWND ExpectBoxAt(const char* file, int line, Case& c, const std::string& title,
                 const std::string& text, int answer, const char* shot = nullptr);
#define ExpectBox(...) ExpectBoxAt(__FILE__, __LINE__, __VA_ARGS__)
void Answer(Case& c, HWND box, int id);
// Waits until the window is gone (or hidden).
bool WaitGone(HWND window, int timeoutMs = 5000);
// Waits until `probe` holds, polling; false on timeout.
template <typename F>
bool WaitUntil(F condition, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) return false;
    Sleep(30);
  }
}
// Waits for kiln.exe to end with the exit code; any message box, version or
// install dialog that shows up meanwhile fails the case.
void ExpectExitAt(const char* file, int line, Case& c, DWORD code = 1, int timeoutMs = 30000);
#define ExpectExit(...) ExpectExitAt(__FILE__, __LINE__, __VA_ARGS__)
// Kills kiln.exe if it still runs (a failure) and closes its handles.
void Finish(Case& c);

// The text of kiln.exe's process console, one entry per row of its buffer
// (trailing blanks cut); empty when the driver cannot attach to it.
std::vector<std::string> ConsoleLines(Case& c);
// The subdirectories of dir, sorted.
std::vector<std::string> ListDirectories(const std::string& dir);

// Each PK file of dir named in `pk` equals its namesake in options.reference
// byte for byte, but for the preamble's comment (METAFONT's date).
void CheckPkLikeReference(Case& c, const std::string& dir, const std::vector<std::string>& pk);

// Saves a screenshot of the windows under the shots directory as NAME.bmp.
void Shot(Case& c, const char* name, const std::vector<HWND>& windows);

}  // namespace driver
