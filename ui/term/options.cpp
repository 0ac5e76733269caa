#include "ui/term/options.h"

#include <strings.h>

#include "ui/log.h"

namespace {

const char* const kPriorityLabels[4] = {"特急", "急行", "普通", "徒歩"};
const char* const kPriorityWords[4] = {"realtime", "high", "normal", "idle"};

// Options that take a value, and where it goes.
std::string* ValueTarget(TermOptions& options, const std::string& name) {
  if (name == "--definition") return &options.definition;
  if (name == "--target-dir") return &options.targetDir;
  if (name == "--install") return &options.install;
  if (name == "--texmf") return &options.texmf;
  return nullptr;
}

// Options that may be given more than once.
std::vector<std::string>* ListTarget(TermOptions& options, const std::string& name) {
  if (name == "--dvi") return &options.dvi;
  if (name == "--missfont") return &options.missfont;
  return nullptr;
}

}  // namespace

std::string TexmfVariable(const std::string& text) {
  if (text == "var") return "TEXMFVAR";
  if (text == "home") return "TEXMFHOME";
  return std::string();
}

int ParsePriority(const std::string& text) {
  for (int i = 0; i < 4; ++i) {
    if (text == kPriorityLabels[i] || strcasecmp(text.c_str(), kPriorityWords[i]) == 0 ||
        text == std::to_string(i))
      return i;
  }
  return -1;
}

int ParseReaction(const std::string& text) {
  static const char* const words[3] = {"stop", "confirm", "ignore"};
  static const int codes[3] = {'S', 'C', 'I'};
  for (int i = 0; i < 3; ++i) {
    if ((text.size() == 1 && (text[0] == codes[i] || text[0] == codes[i] + 32)) ||
        strcasecmp(text.c_str(), words[i]) == 0)
      return codes[i];
  }
  return 0;
}

int ParseJobs(const std::string& text) {
  if (text.empty() || text.size() > 3) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value <= kMaxJobs ? value : -1;
}

ParseStatus ParseTermOptions(const std::vector<std::string>& args,
                             TermOptions& options, std::string& error) {
  bool help = false, version = false, optionsEnded = false;
  bool installGiven = false, definitionGiven = false, targetGiven = false;
  bool jobsGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // A negative number is a word (a resolution), not an option.
    bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-' &&
                    !(arg[1] >= '0' && arg[1] <= '9');
    if (!isOption) {
      options.words.push_back(arg);
      continue;
    }
    if (arg == "--") { optionsEnded = true; continue; }
    std::string name = arg, value;
    bool hasValue = false;
    std::size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    } else if (arg.compare(0, 2, "-j") == 0 && arg.size() > 2) {
      name = "-j";  // -j4, as make takes it
      value = arg.substr(2);
      hasValue = true;
    }
    if (name == "-j") name = "--jobs";
    bool needsValue = ValueTarget(options, name) || ListTarget(options, name) ||
                      name == "--priority" || name == "--reaction" || name == "--jobs";
    if (needsValue && !hasValue) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return ParseStatus::Usage;
      }
      value = args[++i];
      hasValue = true;
    }
    if (!needsValue && hasValue) {
      error = "option " + name + " takes no value";
      return ParseStatus::Usage;
    }
    if (std::vector<std::string>* list = ListTarget(options, name)) {
      if (value.empty()) {
        error = "option " + name + " needs a non-empty value";
        return ParseStatus::Usage;
      }
      list->push_back(value);
    } else if (std::string* target = ValueTarget(options, name)) {
      if (value.empty()) {
        error = "option " + name + " needs a non-empty value";
        return ParseStatus::Usage;
      }
      *target = value;
      if (name == "--install") installGiven = true;
      if (name == "--definition") definitionGiven = true;
      if (name == "--target-dir") targetGiven = true;
    } else if (name == "--priority") {
      options.priority = ParsePriority(value);
      if (options.priority < 0) {
        error = StringPrintf(TR("--priority takes 特急, 急行, 普通, 徒歩, 0 to 3, or realtime, "
                                "high, normal, idle; not \"%s\""),
                             value.c_str());
        return ParseStatus::Usage;
      }
    } else if (name == "--reaction") {
      options.reaction = ParseReaction(value);
      if (!options.reaction) {
        error = "--reaction takes S, C or I; not \"" + value + "\"";
        return ParseStatus::Usage;
      }
    } else if (name == "--jobs") {
      options.jobs = ParseJobs(value);
      if (options.jobs < 0) {
        error = "--jobs takes a number from 0 (one per CPU) to " +
                std::to_string(kMaxJobs) + "; not \"" + value + "\"";
        return ParseStatus::Usage;
      }
      jobsGiven = true;
    } else if (name == "--overwrite") {
      options.overwrite = true;
    } else if (name == "--debug") {
      options.debug = true;
    } else if (name == "--dry-run") {
      options.dryRun = true;
    } else if (name == "--detailed") {
      options.detailed = true;
    } else if (name == "--uninstall") {
      options.uninstall = true;
    } else if (name == "--no-wait") {
      options.noWait = true;
    } else if (name == "--help" || name == "-h") {
      help = true;
    } else if (name == "--version" || name == "-V") {
      version = true;
    } else {
      error = "unknown option " + arg;
      return ParseStatus::Usage;
    }
  }
  if (help) return ParseStatus::Help;
  if (version) return ParseStatus::Version;
  if (installGiven + options.uninstall + options.dryRun > 1) {
    error = "--install, --uninstall and --dry-run exclude one another";
    return ParseStatus::Usage;
  }
  if (targetGiven && !options.texmf.empty()) {
    error = "--target-dir and --texmf exclude one another";
    return ParseStatus::Usage;
  }
  if ((installGiven || options.uninstall) &&
      (!options.words.empty() || definitionGiven || targetGiven ||
       !options.texmf.empty() || !options.dvi.empty() || !options.missfont.empty() ||
       options.overwrite || options.debug || options.detailed || options.noWait ||
       options.priority >= 0 || options.reaction || jobsGiven)) {
    error = std::string(installGiven ? "--install" : "--uninstall") +
            " takes no other options and no RESOLUTION or FONTSET";
    return ParseStatus::Usage;
  }
  return ParseStatus::Run;
}

std::string VersionText() { return "kiln (Fontkiln) 3.10\n"; }

std::string HelpText() {
  // The priority names are Japanese words: their lines are the only part
  // that differs by language.
  return R"(Usage: kiln [OPTIONS] [RESOLUTION [FONTSET...]]

Builds the PK fonts of a TeX installation in one batch: for every font of the
chosen font sets whose PK file is missing from the target directory, kiln
runs METAFONT and gftopk, files the TFM and log files into the directories
"tfm" and "log" of the target directory, and reports the time it took.

  RESOLUTION      the printer's resolution in dots per inch (400, or 400dpi);
                  it chooses the mode line of that resolution
  FONTSET...      names of font sets of the definition file (case counts)

With a RESOLUTION and FONTSETs (or a RESOLUTION alone, which chooses every
set) that the definition file knows, and a usable TARGET_DIR, the batch
starts at once. Otherwise, on a terminal, the settings screen opens; without
a terminal kiln says why it cannot start and ends.

Options:
  --definition FILE  use FILE as the definition file for this run only
  --install FILE     record FILE as the definition file (no questions)
  --uninstall        forget the recorded definition file (asks first)
  --target-dir DIR   build the fonts in DIR instead of TARGET_DIR
  --texmf DIR        build into the TeX tree DIR instead of TARGET_DIR (see
                     below); "var" and "home" name kpathsea's TEXMFVAR and
                     TEXMFHOME (./var is a folder named var)
  --dvi FILE         build the fonts that the DVI file FILE needs (again for
                     more files); virtual fonts are followed to their fonts
  --missfont FILE    build the fonts that TeX programs asked for in FILE (a
                     missfont.log): its "mktexpk ... --bdpi B --dpi D NAME"
                     lines whose B is the chosen resolution
  --overwrite        build fonts whose PK file exists already
  --debug            debug mode: time-stamped log lines on standard error
)" + std::string(TR(
R"(  --priority P       priority of METAFONT and gftopk: 特急 (or 0, realtime),
                     急行 (1, high), 普通 (2, normal; the default),
                     徒歩 (3, idle); any but 普通 asks for confirmation
)")) + R"(  --reaction R       what a failed font does: S stop the batch, C ask
                     whether to go on, I ignore it and go on
  -j, --jobs N       run up to N fonts at once (0: one per CPU; the default
                     is 1), each in a scratch directory of the target
                     directory from which its files are moved into place
  --no-wait          refuse to start while another kiln builds in the same
                     target directory or tree (by default kiln waits until
                     the other has ended, then builds what is still missing;
                     Ctrl-C or SIGTERM end the wait)
  --detailed         show the output of METAFONT and gftopk as it comes
                     (by default it is kept, and shown when a font fails)
  --dry-run          list the jobs a run would do, one per line on standard
                     output: font name, tab, resolution, tab, METAFONT
                     command line; nothing is run, created or deleted
  -h, --help         this text
  -V, --version      the program's version

Fonts for documents: with --dvi or --missfont, RESOLUTION chooses the mode
and the jobs are the fonts the files need, each font at each resolution
once, at the resolution a DVI driver asks for; FONTSETs named as well are
built too (a RESOLUTION alone means the documents' fonts only). A font
without a METAFONT source that kpathsea finds is listed and not built. A
DVI or VF file that cannot be read whole ends the run before anything is
built. Lookups go through kpathsea's kpsewhich (the one beside the MF
command's program, else the one on PATH).

A TeX tree (--texmf DIR): each PK file goes to
DIR/fonts/pk/MODE/REL/NAME.DPIpk, REL being the folder of the font's source
below fonts/source (public/cm for cmr10), or "kiln" for a source outside
any TeX tree; a TFM file that kpathsea does not find already goes to
DIR/fonts/tfm/REL/. METAFONT works in DIR/kiln, and the log files go to
DIR/kiln/log. Every file is moved into place whole. A font that is in the
tree already, or that kpathsea finds at the mode and resolution anywhere,
is not built again (unless --overwrite). When DIR has an ls-R file, the new
files are appended to it at the end of the batch, and so is any font of the
tree it does not list yet (never one twice). TARGET_DIR is not used.
  kiln --texmf var --dvi paper.dvi 600

Before the first font of a run (not a dry run), METAFONT is asked for the
resolution of the chosen mode; when it differs from the mode line (a mode
METAFONT does not know gives 2602), the error reaction decides: S ends the
run, C asks, I writes a log line.

While a batch runs, Ctrl-C asks whether to stop; OK stops it after the font
being built (with -j, the fonts being built), which is finished and filed.
SIGTERM stops it the same way without asking. Questions are answered on the terminal (O = OK, C = Cancel);
without a terminal they take Cancel.

The definition file (plain text; "#" starts a comment; keywords in capitals):
  600 ljfour                   mode lines: resolution and METAFONT mode name
  MF mf \mode=                 how METAFONT is started (required)
  TARGET_DIR /home/me/pk       where the PK files go (an existing directory)
  ERROR_REACTION S             S, C or I, as --reaction
  FORCE                        as --overwrite
  BEGIN_SOURCE                 ends the header; the font sets follow
  cm:                          a font-set label (its name, then a colon)
  cmr 5 10 12                  font prefix and entries: cmr5 cmr10 cmr12
  cmr 10m1 10m0.5              cmr10 at magstep 1 and magstep 0.5
  cmbx 10*2                    cmbx10 magnified 2 times
The file's path is recorded per user in $XDG_CONFIG_HOME/fontkiln/kiln
(~/.config/fontkiln/kiln); on first use kiln asks for it.

Exit status: 0 when the batch ran to its end and every font was built and
its TFM and log files filed (or none was needed), 1 for any other end (a
failed font, a file that could not be filed, a stop, settings that could not
be applied), 2 for a usage error.
)";
}
