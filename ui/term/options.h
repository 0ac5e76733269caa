// The terminal program's command line:
//   kiln [OPTIONS] [RESOLUTION [FONTSET...]]
// Options preset what the settings dialog's controls would hold; the words
// are the Win32 program's command-line words.
#pragma once

#include <string>
#include <vector>

constexpr const char* kMapDefault = "default";

struct TermOptions {
  std::string definition;   // --definition FILE: this run only
  std::string targetDir;    // --target-dir DIR (the file's TEXMF is then not read)
  std::string install;      // --install FILE
  std::string texmf;        // --texmf DIR, or var / home for kpathsea's trees
  std::vector<std::string> dvi;       // --dvi FILE, repeatable
  std::vector<std::string> missfont;  // --missfont FILE, repeatable
  // --map FILE: the font map of the documents' driver; kMapDefault for the
  // driver's own (dvips's psfonts.map), "none" for bitmaps only.
  std::string mapFile = kMapDefault;
  std::string driver;       // --driver NAME; empty: dvips
  std::string mode;         // --mode MODE: the METAFONT mode for documents
  int oversample = 0;       // --oversample Q (dvipng's -Q); 0 = not given
  bool overwrite = false;
  bool debug = false;
  bool dryRun = false;
  bool detailed = false;
  bool uninstall = false;
  bool noWait = false;      // --no-wait: a busy directory is refused, not waited for
  bool listWords = false;   // --list-words (not in --help): for the completion
  int priority = -1;        // trackbar position 0..3; -1 = not given
  int reaction = 0;         // 'S', 'C', 'I'; 0 = not given
  int jobs = 1;             // -j N: jobs at once; 0 = one per CPU
  bool jobsGiven = false;   // -j was given: the definition file's JOBS is not read
  std::vector<std::string> words;  // RESOLUTION, FONTSET...
};

// --texmf words that name kpathsea's own trees, and their variables.
// Empty when text is a directory.
std::string TexmfVariable(const std::string& text);

enum class ParseStatus { Run, Help, Version, Usage };

// args: the arguments after the program name. On Usage, error says why.
ParseStatus ParseTermOptions(const std::vector<std::string>& args,
                             TermOptions& options, std::string& error);

// A priority by its label (特急 急行 普通 徒歩), its position 0..3, or the
// words realtime, high, normal, idle; -1 when none.
int ParsePriority(const std::string& text);
// S, C or I (either case), or stop, confirm, ignore; 0 when none.
int ParseReaction(const std::string& text);
// A job count 0..kMaxJobs in plain decimal digits; -1 when none.
constexpr int kMaxJobs = 256;
int ParseJobs(const std::string& text);

// --oversample: 1..kMaxOversampling in decimal digits; -1 when none.
int ParseOversample(const std::string& text);

std::string HelpText();
std::string VersionText();
